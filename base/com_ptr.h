#pragma once
// A counted interface reference: the holder owns one reference and releases it
// when the pointer is replaced or the holder goes away.
#include <windows.h>
#include <unknwn.h>

namespace devlore {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a new reference to the given pointer.
  explicit ComPtr(T* pointer) : pointer_(pointer) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
  ComPtr(ComPtr&& other) : pointer_(other.Detach()) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) {
    if (other.pointer_) other.pointer_->AddRef();
    Reset();
    pointer_ = other.pointer_;
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) {
    if (this != &other) {
      Reset();
      pointer_ = other.Detach();
    }
    return *this;
  }

  // Adopts a reference that the caller already owns (no AddRef).
  static ComPtr Adopt(T* pointer) {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Releases what is held and returns the slot for an API to store a new reference in.
  T** Receive() {
    Reset();
    return &pointer_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  T* Detach() {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

  void Reset() {
    if (pointer_) {
      T* pointer = pointer_;
      pointer_ = nullptr;
      pointer->Release();
    }
  }

  template <typename U>
  HRESULT QueryInto(REFIID iid, ComPtr<U>& target) const {
    return pointer_ ? pointer_->QueryInterface(iid, target.ReceiveVoid()) : E_POINTER;
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace devlore

#pragma once
// A counted interface reference: the holder owns one reference and releases it
// when the pointer is replaced or the holder goes away.
//
// Verbs: Get borrows (no reference changes hands); Receive frees what is held
// and hands out the slot for an API that returns a new reference; Detach gives
// the reference up to the caller; Reset releases it; CopyTo hands a caller a
// reference of its own; Adopt takes over a reference the caller already owns.
// Assigning a pointer takes a new reference to it before the old one goes, so
// that replacing a reference by itself is safe.
#include <windows.h>
#include <unknwn.h>

namespace devlore {

// What every ComPtr shares, whatever its interface, so that the library holds
// one copy of it.
class ComPtrBase {
 public:
  void Reset() {
    if (pointer_) {
      IUnknown* pointer = pointer_;
      pointer_ = nullptr;
      pointer->Release();
    }
  }

 protected:
  ComPtrBase() = default;
  ~ComPtrBase() { Reset(); }
  ComPtrBase(const ComPtrBase&) = delete;
  ComPtrBase& operator=(const ComPtrBase&) = delete;

  void Assign(IUnknown* pointer) {
    if (pointer) pointer->AddRef();
    Reset();
    pointer_ = pointer;
  }
  IUnknown* Take() {
    IUnknown* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

  IUnknown* pointer_ = nullptr;
};

// T is an interface (it derives from IUnknown alone); a class of several
// interfaces is held by ComObjectPtr.
template <typename T>
class ComPtr : public ComPtrBase {
 public:
  ComPtr() = default;
  // Takes a new reference to the given pointer.
  explicit ComPtr(T* pointer) { Assign(pointer); }
  ComPtr(const ComPtr& other) : ComPtrBase() { Assign(other.pointer_); }
  ComPtr(ComPtr&& other) : ComPtrBase() { pointer_ = other.Take(); }

  ComPtr& operator=(T* pointer) {
    Assign(pointer);
    return *this;
  }
  ComPtr& operator=(const ComPtr& other) {
    Assign(other.pointer_);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) {
    if (this != &other) {
      Reset();
      pointer_ = other.Take();
    }
    return *this;
  }

  // Adopts a reference that the caller already owns (no AddRef).
  static ComPtr Adopt(T* pointer) {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }

  // Every interface derives from IUnknown alone, so the held IUnknown pointer
  // is the interface pointer itself.
  T* Get() const { return static_cast<T*>(pointer_); }
  T* operator->() const { return Get(); }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Releases what is held and returns the slot for an API to store a new reference in.
  T** Receive() {
    Reset();
    return reinterpret_cast<T**>(&pointer_);
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

  T* Detach() { return static_cast<T*>(Take()); }

  // Stores a new reference (or null) in the caller's slot.
  void CopyTo(T** slot) const {
    if (pointer_) pointer_->AddRef();
    *slot = Get();
  }

  template <typename U>
  [[nodiscard]] HRESULT QueryInto(REFIID iid, ComPtr<U>& target) const {
    return pointer_ ? pointer_->QueryInterface(iid, target.ReceiveVoid()) : E_POINTER;
  }
};

}  // namespace devlore

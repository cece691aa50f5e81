#pragma once
// A counted reference to one of this code's own COM objects: a class that may
// implement several interfaces, and so has no single IUnknown base that ComPtr
// could hold it by. The holder owns one reference and releases it through the
// object's own Release. Verbs as in ComPtr.
namespace devlore {

template <typename T>
class ComObjectPtr {
 public:
  ComObjectPtr() = default;
  ~ComObjectPtr() { Reset(); }
  ComObjectPtr(const ComObjectPtr&) = delete;
  ComObjectPtr& operator=(const ComObjectPtr&) = delete;
  ComObjectPtr(ComObjectPtr&& other) : pointer_(other.Detach()) {}
  ComObjectPtr& operator=(ComObjectPtr&& other) {
    if (this != &other) {
      Reset();
      pointer_ = other.Detach();
    }
    return *this;
  }

  // Adopts a reference that the caller already owns (no AddRef), such as the
  // first reference of a new object.
  static ComObjectPtr Adopt(T* pointer) {
    ComObjectPtr result;
    result.pointer_ = pointer;
    return result;
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  T* Detach() {
    T* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }
  void Reset() {
    if (T* pointer = Detach()) pointer->Release();
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace devlore

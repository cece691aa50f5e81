#pragma once
// Owner of an array made with new (std::nothrow) T[n]. Allocation failure is
// reported by an empty owner; nothing throws. Verbs as in UniqueResource.
#include <stddef.h>

#include <new>

namespace devlore {

template <typename T>
class UniqueArray {
 public:
  UniqueArray() = default;
  explicit UniqueArray(T* items) : items_(items) {}
  ~UniqueArray() { delete[] items_; }

  UniqueArray(const UniqueArray&) = delete;
  UniqueArray& operator=(const UniqueArray&) = delete;
  UniqueArray(UniqueArray&& other) : items_(other.Detach()) {}
  UniqueArray& operator=(UniqueArray&& other) {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  // Value-initialised (zero-filled for plain types); empty on failure.
  static UniqueArray Allocate(size_t count) { return UniqueArray(new (std::nothrow) T[count]()); }

  T* Get() const { return items_; }
  T& operator[](size_t index) const { return items_[index]; }
  explicit operator bool() const { return items_ != nullptr; }

  T* Detach() {
    T* items = items_;
    items_ = nullptr;
    return items;
  }
  void Reset(T* items = nullptr) {
    delete[] items_;
    items_ = items;
  }

 private:
  T* items_ = nullptr;
};

}  // namespace devlore

#pragma once
// One owner template for every kind of platform handle. Each Traits type names
// the handle type, its "no handle" value and how to close it; the owner closes
// exactly once and can be moved but not copied. Its verbs are those of ComPtr:
// Get borrows, Detach gives ownership up to the caller, Reset closes (and may
// take a new handle), Receive closes and hands out the slot for an API to fill,
// Close closes now and reports the platform's answer.

namespace devlore {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() : value_(Traits::Invalid()) {}
  explicit UniqueResource(Value value) : value_(value) {}
  ~UniqueResource() { Reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) : value_(other.Detach()) {}
  UniqueResource& operator=(UniqueResource&& other) {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  Value Get() const { return value_; }
  bool IsValid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }

  // Closes what is held and returns the address for an API to store a new handle in.
  Value* Receive() {
    Reset();
    return &value_;
  }

  Value Detach() {
    Value value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  void Reset(Value value = Traits::Invalid()) {
    if (IsValid()) Traits::Close(value_);
    value_ = value;
  }

  // Closes now and reports the platform's answer, for callers that must check it.
  auto Close() {
    Value value = Detach();
    return Traits::Close(value);
  }

 private:
  Value value_;
};

}  // namespace devlore

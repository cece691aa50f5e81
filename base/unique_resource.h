#pragma once
// One owner template for every kind of platform handle. Each Traits type names
// the handle type, its "no handle" value and how to close it; the owner closes
// exactly once, can be moved but not copied, and hands the handle out by get()
// (borrowed) or release() (ownership passes to the caller).

namespace devlore {

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() : value_(Traits::Invalid()) {}
  explicit UniqueResource(Value value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) {
    if (this != &other) reset(other.release());
    return *this;
  }

  Value get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // Closes what is held and returns the address for an API to store a new handle in.
  Value* receive() {
    reset();
    return &value_;
  }

  Value release() {
    Value value = value_;
    value_ = Traits::Invalid();
    return value;
  }

  void reset(Value value = Traits::Invalid()) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }

  // Closes now and reports the platform's answer, for callers that must check it.
  auto close() {
    Value value = release();
    return Traits::Close(value);
  }

 private:
  Value value_;
};

}  // namespace devlore

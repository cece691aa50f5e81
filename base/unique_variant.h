#pragma once
// An automation value this code owns: initialised empty, cleared (releasing the
// string, object or array it holds) when replaced or when the owner goes away.
#include <windows.h>
#include <oleauto.h>

namespace devlore {

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  const VARIANT& get() const { return value_; }
  VARIANT* get() { return &value_; }

  // Clears what is held and returns the slot for an API to store a new value in.
  VARIANT* receive() {
    VariantClear(&value_);
    return &value_;
  }

  // Hands the value to the caller's slot (which must not own anything) and
  // leaves this owner empty.
  void release(VARIANT* target) {
    *target = value_;
    VariantInit(&value_);
  }

 private:
  VARIANT value_;
};

}  // namespace devlore

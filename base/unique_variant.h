#pragma once
// An automation variant this code owns: empty when made, cleared (its string,
// interface or array released) when replaced or when the owner goes away.
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
  // Clears what is held and returns the variant for a call to fill.
  VARIANT* receive() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

}  // namespace devlore

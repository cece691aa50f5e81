#pragma once
// A variant this code owns: cleared with VariantClear when it goes away.
#include <windows.h>
#include <oleauto.h>

namespace devlore {

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { VariantClear(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  VARIANT* get() { return &value_; }
  // Clears what is held and returns the variant for an API to fill.
  VARIANT* receive() {
    VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

}  // namespace devlore

#pragma once
// A VARIANT this code owns: cleared (VariantClear) when replaced or when the
// owner goes away. Receive clears and hands out the variant for an API to fill.
#include <windows.h>
#include <oleauto.h>

namespace devlore {

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&value_); }
  ~UniqueVariant() { Reset(); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  const VARIANT& Get() const { return value_; }
  VARTYPE Type() const { return V_VT(&value_); }

  VARIANT* Receive() {
    Reset();
    return &value_;
  }
  void Reset() { VariantClear(&value_); }
  // Hands the contents to the caller, who then clears them.
  VARIANT Detach() {
    VARIANT value = value_;
    VariantInit(&value_);
    return value;
  }

 private:
  VARIANT value_;
};

}  // namespace devlore

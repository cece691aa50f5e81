#include "control/script_index.h"

namespace devlore {

HRESULT ReadIndexArgument(const VARIANT* argument, LONG* index) {
  *index = 0;
  if (!argument) return E_POINTER;
  // Script engines pass variables by reference as VT_BYREF | VT_VARIANT.
  if (V_VT(argument) == (VT_BYREF | VT_VARIANT)) {
    argument = V_VARIANTREF(argument);
    if (!argument) return DISP_E_TYPEMISMATCH;
  }
  const VARTYPE type = V_VT(argument);
  if (type == VT_I4) {
    *index = V_I4(argument);
    return S_OK;
  }
  if ((type & VT_BYREF) && !V_BYREF(argument)) return DISP_E_TYPEMISMATCH;
  const VARTYPE base = type & VT_TYPEMASK;
  if ((type & (VT_ARRAY | VT_VECTOR)) || base == VT_EMPTY || base == VT_NULL || base == VT_VARIANT ||
      base == VT_DISPATCH || base == VT_UNKNOWN || base == VT_RECORD) {
    return DISP_E_TYPEMISMATCH;
  }
  VARIANT converted;
  VariantInit(&converted);
  // A fixed locale, so that a text index reads the same on every machine.
  const HRESULT hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(argument),
                                         MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT),
                                         VARIANT_NOVALUEPROP, VT_I4);
  if (FAILED(hr)) return hr;
  *index = V_I4(&converted);
  return S_OK;
}

}  // namespace devlore

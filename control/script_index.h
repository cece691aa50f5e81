#pragma once
// Index arguments of the scripting methods. An index may come as any variant
// that converts to a 32-bit integer: VT_I4 as scripts usually pass it, other
// integer and floating-point types, text holding a number, and the same by
// reference (one level, VT_BYREF | VT_VARIANT included). Empty, null, objects
// and anything that does not convert are refused.
#include <windows.h>
#include <oleauto.h>

namespace devlore {

// S_OK and the index; E_POINTER for a null variant; DISP_E_TYPEMISMATCH,
// DISP_E_OVERFLOW or DISP_E_BADVARTYPE when the variant gives no index.
[[nodiscard]] HRESULT ReadIndexArgument(const VARIANT* argument, LONG* index);

}  // namespace devlore

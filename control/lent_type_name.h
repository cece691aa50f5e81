#pragma once
// The device type text as GetDeviceTypeByIndex lends it (VT_BYREF | VT_BSTR).
#include <windows.h>
#include <oleauto.h>

namespace devlore {

// The address of a process-wide slot whose string has the same text as
// typeName, or null when no copy could be made. A script may keep the
// reference in a variable after the device list is torn down, so neither the
// slot nor its string is ever freed or changed: the reference stays readable,
// with the same text, for the life of the process.
BSTR* LendTypeName(BSTR typeName);

}  // namespace devlore

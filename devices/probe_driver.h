#pragma once
// The maker's dynamically loaded probe drivers (PROCID.VXD, VOLQ.VXD): opened by
// device name through the platform table, which loads the driver for the handle
// and unloads it when the handle is closed.
#include <windows.h>

#include "base/unique_resource.h"
#include "model/platform.h"

namespace devlore {

struct ProbeDriverHandleTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static BOOL Close(HANDLE handle) { return Platform().closeHandle(handle); }
};
// A driver handle from Platform().createFileA, closed through the same table.
using UniqueDriverHandle = UniqueResource<ProbeDriverHandleTraits>;

// Opens "\\.\<name>" the way the platform loads a dynamic driver: access 0, share
// mode 0, creation disposition 0, FILE_FLAG_DELETE_ON_CLOSE. The owner is empty
// when the driver could not be opened.
inline UniqueDriverHandle OpenProbeDriver(const char* devicePath) {
  HANDLE handle = Platform().createFileA(devicePath, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  // A null handle is no driver either; it is never closed.
  if (handle == nullptr) handle = INVALID_HANDLE_VALUE;
  return UniqueDriverHandle(handle);
}

}  // namespace devlore

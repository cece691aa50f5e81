#include "model/platform.h"

#include "devices/processor_identification.h"
#include "devices/thunk16.h"

namespace devlore {
namespace {

const PlatformApi* g_installed = nullptr;

PlatformApi BindRealPlatform() {
  PlatformApi api = {};
  api.getSystemInfo = &GetSystemInfo;
  api.globalMemoryStatus = &GlobalMemoryStatus;
  api.getLogicalDriveStringsA = &GetLogicalDriveStringsA;
  api.getDriveTypeA = &GetDriveTypeA;
  api.getDiskFreeSpaceA = &GetDiskFreeSpaceA;
  api.loadLibraryA = &LoadLibraryA;
  api.getProcAddress = &GetProcAddress;
  api.freeLibrary = &FreeLibrary;
  api.createFileA = &CreateFileA;
  api.deviceIoControl = &DeviceIoControl;
  api.closeHandle = &CloseHandle;
  api.hasCpuid = &ProcessorHasCpuid;
  api.cpuid = &ExecuteCpuid;
  api.getKernelExportByOrdinal = &GetKernelExportByOrdinal;
  api.callThunk16 = &CallThunk16;
  return api;
}

}  // namespace

const PlatformApi& RealPlatform() {
  // Bound on first use rather than by a static constructor; every caller runs
  // on the client's apartment thread and binding twice gives the same table.
  static PlatformApi real;
  static bool bound = false;
  if (!bound) {
    real = BindRealPlatform();
    bound = true;
  }
  return real;
}

const PlatformApi& Platform() { return g_installed ? *g_installed : RealPlatform(); }

void SetPlatform(const PlatformApi* table) { g_installed = table; }

}  // namespace devlore

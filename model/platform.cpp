#include "model/platform.h"

#include "devices/processor_identification.h"
#include "devices/thunk16.h"

namespace devlore {
namespace {

const PlatformApi* g_installed = nullptr;

}  // namespace

const PlatformApi& RealPlatform() {
  // Bound on first use rather than by a static constructor; every caller runs
  // on the client's apartment thread and binding twice gives the same table.
  // Entries not named here stay null, as the table starts zeroed.
  static PlatformApi real;
  static bool bound = false;
  if (!bound) {
    real.getSystemInfo = &GetSystemInfo;
    real.globalMemoryStatus = &GlobalMemoryStatus;
    real.getLogicalDriveStringsA = &GetLogicalDriveStringsA;
    real.getDriveTypeA = &GetDriveTypeA;
    real.getDiskFreeSpaceA = &GetDiskFreeSpaceA;
    real.loadLibraryA = &LoadLibraryA;
    real.getProcAddress = &GetProcAddress;
    real.freeLibrary = &FreeLibrary;
    real.createFileA = &CreateFileA;
    real.deviceIoControl = &DeviceIoControl;
    real.closeHandle = &CloseHandle;
    real.hasCpuid = &ProcessorHasCpuid;
    real.cpuid = &ExecuteCpuid;
    real.getKernelExportByOrdinal = &GetKernelExportByOrdinal;
    real.callThunk16 = &CallThunk16;
    bound = true;
  }
  return real;
}

const PlatformApi& Platform() { return g_installed ? *g_installed : RealPlatform(); }

void SetPlatform(const PlatformApi* table) { g_installed = table; }

}  // namespace devlore

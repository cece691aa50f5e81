#include "model/device_list.h"

#include <new>

#include "devices/bios_device.h"
#include "devices/display_adapter_device.h"
#include "devices/hardware_keys.h"
#include "devices/logical_disk_device.h"
#include "devices/memory_device.h"
#include "devices/monitor_device.h"
#include "devices/processor_device.h"
#include "model/drive_strings.h"
#include "model/platform.h"
#include "model/text.h"

namespace devlore {
namespace {

DeviceObject** g_devices = nullptr;
uint32_t g_deviceCount = 0;

// COM initialisations made by builds and not yet undone by a tear-down. A
// tear-down uninitialises only what a build initialised: an unmatched
// CoUninitialize would tear down the apartment of the page's own thread.
uint32_t g_comInitializations = 0;

struct DriveScan {
  int32_t fixedDrives[kMaxFixedDrives];
  uint32_t fixedCount;
  bool failed;
};

// Lists the fixed drives in the platform's order. Returns 0 when the platform
// gives no drive list at all.
int ScanFixedDrives(DriveScan& scan) {
  scan.fixedCount = 0;
  scan.failed = false;
  char drives[kLineSize] = {};
  const DWORD length = Platform().getLogicalDriveStringsA(kLineSize, drives);
  // A result of the buffer size or more means the list did not fit.
  if (length == 0 || length >= kLineSize) return 0;

  const uint32_t entries = CountDriveStrings(drives, length);
  for (uint32_t i = 0; i < entries; ++i) {
    char root[16];
    if (GetDriveString(drives, length, root, sizeof root, i) == 0) {
      scan.failed = true;
      break;
    }
    if (Platform().getDriveTypeA(root) != DRIVE_FIXED) continue;
    // Setting bit 5 folds exactly the capitals onto the small letters.
    const uint32_t index = static_cast<uint32_t>((root[0] | 0x20) - 'a');
    if (index > 25) {
      scan.failed = true;
      break;
    }
    if (scan.fixedCount == kMaxFixedDrives) {
      scan.failed = true;
      break;
    }
    scan.fixedDrives[scan.fixedCount++] = index;
  }
  return 1;
}

// Creates the devices into the array; 0 when one could not be made.
int CreateDevices(DeviceObject** devices, const DriveScan& scan, const char* systemBoardKeyPath,
                  const char* monitorKeyPath, const char* displayKeyPath) {
  uint32_t next = 0;
  for (uint32_t i = 0; i < scan.fixedCount; ++i) {
    if (!(devices[next++] = LogicalDiskDevice::Create(scan.fixedDrives[i]))) return 0;
  }
  if (!(devices[next++] = BiosDevice::Create(systemBoardKeyPath))) return 0;
  if (!(devices[next++] = ProcessorDevice::Create())) return 0;
  if (!(devices[next++] = MemoryDevice::Create())) return 0;
  if (!(devices[next++] = MonitorDevice::Create(monitorKeyPath))) return 0;
  if (!(devices[next++] = DisplayAdapterDevice::Create(displayKeyPath))) return 0;
  return 1;
}

void DestroyDevices(DeviceObject** devices, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) delete devices[i];
  delete[] devices;
}

int BuildFromKeys() {
  // A search that matches nothing leaves its path empty.
  char systemBoardKeyPath[kLineSize];
  char monitorKeyPath[kLineSize];
  char displayKeyPath[kLineSize];
  systemBoardKeyPath[0] = monitorKeyPath[0] = displayKeyPath[0] = '\0';
  if (!FindSystemBoardKey(systemBoardKeyPath) || !FindMonitorKey(monitorKeyPath) ||
      !FindDisplayKey(displayKeyPath))
    return 0;

  DriveScan scan;
  if (!ScanFixedDrives(scan)) return 0;

  const uint32_t count = scan.fixedCount + 5;
  DeviceObject** devices = new (std::nothrow) DeviceObject*[count]();
  if (!devices) return 0;
  if (!CreateDevices(devices, scan, systemBoardKeyPath, monitorKeyPath, displayKeyPath)) {
    DestroyDevices(devices, count);
    return 0;
  }
  g_devices = devices;
  g_deviceCount = count;
  return scan.failed ? 0 : 1;
}

}  // namespace

int InitializeDeviceList() {
  if (SUCCEEDED(CoInitialize(nullptr))) ++g_comInitializations;
  // A build always starts from an empty list; a list still current from an
  // earlier build is destroyed rather than leaked.
  DestroyDeviceList();
  if (!EnumerateHardwareKeys()) {
    ReleaseHardwareKeys();
    return 0;
  }
  return BuildDeviceList();
}

int TerminateDeviceList() {
  DestroyDeviceList();
  if (g_comInitializations > 0) {
    --g_comInitializations;
    CoUninitialize();
  }
  return 1;
}

int BuildDeviceList() {
  const int result = BuildFromKeys();
  ReleaseHardwareKeys();
  return result;
}

int DestroyDeviceList() {
  if (g_devices) DestroyDevices(g_devices, g_deviceCount);
  g_devices = nullptr;
  g_deviceCount = 0;
  return 1;
}

DeviceObject** DeviceListArray() { return g_devices; }
uint32_t DeviceListCount() { return g_deviceCount; }

}  // namespace devlore

extern "C" int __cdecl GetNumberOfDeviceObjects(int32_t* count) {
  if (!count) return 0;
  *count = static_cast<int32_t>(devlore::g_deviceCount);
  return 1;
}

extern "C" int __cdecl GetPointerToDeviceObjectArray(devlore::DeviceObject*** array) {
  if (!array) return 0;
  *array = devlore::g_devices;
  return 1;
}

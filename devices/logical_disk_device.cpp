#include "devices/logical_disk_device.h"

#include <new>

#include "model/text.h"

namespace devlore {

LogicalDiskDevice* LogicalDiskDevice::Create(int32_t driveIndex) {
  LogicalDiskDevice* device = new (std::nothrow) LogicalDiskDevice();
  if (!device) return nullptr;
  char typeText[kLineSize];
  FormatDriveTypeText(driveIndex, typeText);
  const uint32_t counts[] = {5};
  if (!device->InitializeBase(typeText, 1, counts, true)) {
    delete device;
    return nullptr;
  }
  device->driveIndex_ = driveIndex;
  return device;
}

// Not collected yet: the device reports failure and shows nothing.
int LogicalDiskDevice::Collect() { return 0; }

int LogicalDiskDevice::Format() {
  formatted = 1;
  return 0;
}

}  // namespace devlore

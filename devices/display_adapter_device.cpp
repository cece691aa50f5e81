#include "devices/display_adapter_device.h"

#include <new>

#include "model/text.h"

namespace devlore {

DisplayAdapterDevice* DisplayAdapterDevice::Create(const char* displayKeyPath) {
  DisplayAdapterDevice* device = new (std::nothrow) DisplayAdapterDevice();
  if (!device) return nullptr;
  // The last count becomes the number of listed resolutions + 1 in Collect.
  const uint32_t counts[] = {2, 2, 2, 1};
  if (!device->InitializeBase("Primary Video Card", 4, counts, false)) {
    delete device;
    return nullptr;
  }
  CopyText(device->displayKeyPath_, kLineSize, displayKeyPath);
  device->Collect();
  return device;
}

// Not collected yet: the device reports failure and shows nothing.
int DisplayAdapterDevice::Collect() { return 0; }

int DisplayAdapterDevice::Format() {
  formatted = 1;
  return 0;
}

}  // namespace devlore

#include "devices/bios_device.h"

#include <new>

#include "model/text.h"

namespace devlore {

BiosDevice* BiosDevice::Create(const char* systemBoardKeyPath) {
  BiosDevice* device = new (std::nothrow) BiosDevice();
  if (!device) return nullptr;
  const uint32_t counts[] = {4};
  if (!device->InitializeBase("BIOS", 1, counts, true)) {
    delete device;
    return nullptr;
  }
  CopyText(device->systemBoardKeyPath_, kLineSize, systemBoardKeyPath);
  return device;
}

// Not collected yet: the device reports failure and shows nothing.
int BiosDevice::Collect() { return 0; }

int BiosDevice::Format() {
  formatted = 1;
  return 0;
}

}  // namespace devlore

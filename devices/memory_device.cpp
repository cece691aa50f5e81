#include "devices/memory_device.h"

#include <new>

namespace devlore {

MemoryDevice* MemoryDevice::Create() {
  MemoryDevice* device = new (std::nothrow) MemoryDevice();
  if (!device) return nullptr;
  const uint32_t counts[] = {11};
  if (!device->InitializeBase("Memory", 1, counts, true)) {
    delete device;
    return nullptr;
  }
  return device;
}

// Not collected yet: the device reports failure and shows nothing.
int MemoryDevice::Collect() { return 0; }

int MemoryDevice::Format() {
  formatted = 1;
  return 0;
}

}  // namespace devlore

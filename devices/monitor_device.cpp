#include "devices/monitor_device.h"

#include <new>

#include "model/text.h"

namespace devlore {

MonitorDevice* MonitorDevice::Create(const char* monitorKeyPath) {
  MonitorDevice* device = new (std::nothrow) MonitorDevice();
  if (!device) return nullptr;
  const uint32_t counts[] = {6};
  if (!device->InitializeBase("Monitor", 1, counts, true)) {
    delete device;
    return nullptr;
  }
  CopyText(device->monitorKeyPath_, kLineSize, monitorKeyPath);
  device->Collect();
  return device;
}

// Not collected yet: the device reports failure and shows nothing.
int MonitorDevice::Collect() { return 0; }

int MonitorDevice::Format() {
  formatted = 1;
  return 0;
}

}  // namespace devlore

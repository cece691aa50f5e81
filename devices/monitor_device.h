#pragma once
#include "model/device_object.h"

namespace devlore {

// The monitor's name, manufacturer, largest resolution and refresh ranges.
class MonitorDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static MonitorDevice* Create(const char* monitorKeyPath);

  int Format() override;
  int Collect() override;

 private:
  MonitorDevice() = default;
  char monitorKeyPath_[260] = {};
};

}  // namespace devlore

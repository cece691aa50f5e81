#pragma once
#include "model/device_object.h"

namespace devlore {

// The display adapter's current mode, name and the largest colour depth of every listed resolution.
class DisplayAdapterDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static DisplayAdapterDevice* Create(const char* displayKeyPath);

  int Format() override;
  int Collect() override;

 private:
  DisplayAdapterDevice() = default;
  char displayKeyPath_[260] = {};
};

}  // namespace devlore

#pragma once
#include "model/device_object.h"

namespace devlore {

// The BIOS name, version and date recorded under the system board's key.
class BiosDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static BiosDevice* Create(const char* systemBoardKeyPath);

  int Format() override;
  int Collect() override;

 private:
  BiosDevice() = default;
  char systemBoardKeyPath_[260] = {};
};

}  // namespace devlore

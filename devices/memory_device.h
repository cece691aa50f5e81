#pragma once
#include "model/device_object.h"

namespace devlore {

// Physical, virtual and page file memory and the 16-bit free resources.
class MemoryDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static MemoryDevice* Create();

  int Format() override;
  int Collect() override;

 private:
  MemoryDevice() = default;

};

}  // namespace devlore

#pragma once
#include "model/device_object.h"

namespace devlore {

// The processor's clock, MMX support, class and vendor.
class ProcessorDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static ProcessorDevice* Create();

  int Format() override;
  int Collect() override;

 private:
  ProcessorDevice() = default;

};

}  // namespace devlore

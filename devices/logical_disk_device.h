#pragma once
#include "model/device_object.h"

namespace devlore {

// One fixed drive: total size, free space, cluster size and file system.
class LogicalDiskDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static LogicalDiskDevice* Create(int32_t driveIndex);

  int Format() override;
  int Collect() override;

 private:
  LogicalDiskDevice() = default;
  int32_t driveIndex_ = 0;
};

}  // namespace devlore

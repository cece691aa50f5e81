#pragma once
#include <windows.h>
#include <stdint.h>

#include "model/device_object.h"

namespace devlore {

// Physical, virtual and page file memory, the memory load, and the free system,
// GDI and user resources of the 16-bit window system.
class MemoryDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static MemoryDevice* Create();

  int Format() override;
  int Collect() override;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  MemoryDevice() = default;

  // The figures in the order of their lines: six byte counts, then four
  // percentages.
  enum Figure : uint32_t {
    kTotalPhysical,  // raised to an even number of megabytes
    kAvailablePhysical,
    kTotalVirtual,
    kAvailableVirtual,
    kTotalPageFile,
    kAvailablePageFile,
    kMemoryLoad,  // the first percentage
    kSystemResources,
    kGdiResources,
    kUserResources,
    kFigureCount
  };
  uint32_t figures_[kFigureCount];
  ElementLines elementText_;
};

}  // namespace devlore

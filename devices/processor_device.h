#pragma once
#include <stdint.h>

#include "model/device_object.h"

namespace devlore {

// The processor's clock, MMX support, class and vendor. The class comes from
// GetSystemInfo, vendor and MMX from CPUID, the clock from the PROCID.VXD probe
// driver (control code 1, a 4-byte clock rate in MHz).
class ProcessorDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static ProcessorDevice* Create();

  int Format() override;
  int Collect() override;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  ProcessorDevice() = default;

  // Asks the probe driver for the clock; sets speedKnown_ when it answered.
  void QuerySpeed();

  uint32_t speed_;         // MHz, as the driver answers it
  int32_t mmx_;            // the processor has MMX
  int32_t pentiumClass_;   // the platform reports a Pentium-class processor
  char vendor_[16];       // CPUID leaf 0 vendor text, NUL-terminated
  ElementLines elementText_;
  int32_t speedKnown_;     // the driver answered
  int32_t vendorKnown_;    // CPUID gave the vendor
};

}  // namespace devlore

#pragma once
#include "model/device_object.h"
#include "model/text.h"

namespace devlore {

// The monitor's name, manufacturer, largest resolution and refresh ranges, read
// from its key in the hardware tree. Collects once when made.
class MonitorDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static MonitorDevice* Create(const char* monitorKeyPath);

  int Format() override;
  int Collect() override;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  MonitorDevice() = default;

  // Reads one value of the monitor's key into the 260-byte work buffer.
  [[nodiscard]] bool ReadValue(const char* name, char* work) const;
  void CollectManufacturer(char* work);
  void CollectResolution(char* work);
  void CollectRanges(char* work);

  char horizontalRangeText_[kLineSize];  // "Horizontal Refresh Range : " + part + " kHz"
  char verticalRangeText_[kLineSize];    // "Vertical Refresh Range : " + part + " Hz"
  char resolutionText_[kLineSize];       // "Max Resolution : " + width x height
  char nameText_[kLineSize];             // "Monitor Name : " + "DeviceDesc"
  char manufacturerText_[kLineSize];     // "Manufacturer : " + "Mfg"
  char monitorKeyPath_[kLineSize];       // "Enum\" + key, below HKEY_LOCAL_MACHINE
  ElementLines elementText_;
  bool resolutionKnown_;
  bool manufacturerKnown_;
  bool rangesKnown_;
};

}  // namespace devlore

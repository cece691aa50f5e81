#pragma once
#include "model/device_object.h"
#include "model/text.h"

namespace devlore {

// The BIOS name, version and date recorded under the system board's key.
class BiosDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static BiosDevice* Create(const char* systemBoardKeyPath);

  int Format() override;
  int Collect() override;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  BiosDevice() = default;

  char versionLine_[kLineSize];  // "BIOS Version : " + value
  char dateLine_[kLineSize];     // "BIOS Date : " + value
  char nameLine_[kLineSize];     // "BIOS Name : " + value
  char systemBoardKeyPath_[kLineSize];  // "Enum\" + key, below HKEY_LOCAL_MACHINE
  ElementLines elementText_;
  // Which of the three values the last Collect read.
  bool nameKnown_;
  bool versionKnown_;
  bool dateKnown_;
};

}  // namespace devlore

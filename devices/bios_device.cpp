#include "devices/bios_device.h"

#include <new>

namespace devlore {
namespace {

constexpr uint32_t kElementCount = 4;

// Reads one value of the system board key and writes label + value into the
// line. A value too long for the line is cut at the line's end, so the line
// always starts with its label and stays within its buffer. Returns 1 when the
// value was read; the line is untouched otherwise.
bool ReadLine(const char* keyPath, const char* valueName, const char* label, char* line) {
  char value[kLineSize];
  if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, valueName, value, kLineSize, REG_SZ)) return false;
  CopyText(line, kLineSize, label);
  AppendText(line, kLineSize, value);
  return true;
}

}  // namespace

BiosDevice* BiosDevice::Create(const char* systemBoardKeyPath) {
  static const uint32_t counts[] = {kElementCount};
  auto* device = static_cast<BiosDevice*>(Initialized(new (std::nothrow) BiosDevice(), "BIOS", 1, counts, true));
  if (device) CopyText(device->systemBoardKeyPath_, kLineSize, systemBoardKeyPath);
  return device;
}

int BiosDevice::Collect() {
  nameKnown_ = ReadLine(systemBoardKeyPath_, "BIOSName", "BIOS Name : ", nameLine_);
  versionKnown_ = ReadLine(systemBoardKeyPath_, "BIOSVersion", "BIOS Version : ", versionLine_);
  dateKnown_ = ReadLine(systemBoardKeyPath_, "BIOSDate", "BIOS Date : ", dateLine_);
  collected = 1;
  return 1;
}

int BiosDevice::Format() {
  const char* const texts[kElementCount] = {
      "BIOS Summary",
      nameKnown_ ? nameLine_ : "BIOS Name Unavailable",
      versionKnown_ ? versionLine_ : "BIOS Version Unavailable",
      dateKnown_ ? dateLine_ : "BIOS Date Unavailable",
  };
  return FormatSingleCategory(*this, elementText_, texts);
}

}  // namespace devlore

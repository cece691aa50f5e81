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
  char value[kLineSize] = {};
  if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, keyPath, valueName, value, kLineSize, REG_SZ)) return false;
  CopyText(line, kLineSize, label);
  AppendText(line, kLineSize, value);
  return true;
}

}  // namespace

BiosDevice* BiosDevice::Create(const char* systemBoardKeyPath) {
  BiosDevice* device = new (std::nothrow) BiosDevice();
  if (!device) return nullptr;
  const uint32_t counts[] = {kElementCount};
  if (!device->InitializeBase("BIOS", 1, counts, true)) {
    delete device;
    return nullptr;
  }
  CopyText(device->systemBoardKeyPath_, kLineSize, systemBoardKeyPath);
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
  if (!elementText_.Allocate(kElementCount)) {
    formatted = 1;
    return 0;
  }
  CopyText(elementText_[0], kLineSize, "BIOS Summary");
  CopyText(elementText_[1], kLineSize, nameKnown_ ? nameLine_ : "BIOS Name Unavailable");
  CopyText(elementText_[2], kLineSize, versionKnown_ ? versionLine_ : "BIOS Version Unavailable");
  CopyText(elementText_[3], kLineSize, dateKnown_ ? dateLine_ : "BIOS Date Unavailable");
  return ConvertSingleCategory(*this, elementText_);
}

}  // namespace devlore

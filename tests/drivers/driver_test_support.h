#pragma once
// Shared by the probe driver tests: the prefix's driver folder, the drives the
// test fixture attaches (tests/fixtures/vxd-prefix.sh), and an owner for a
// driver handle opened through the seam.
#include <windows.h>

#include <string>

#include "model/platform.h"

namespace devlore::test {

// Drives attached by the fixture: FAT12, FAT16 and FAT32 images, and a folder
// without a raw device.
constexpr int kFat12Drive = 'M' - 'A';
constexpr int kFat16Drive = 'N' - 'A';
constexpr int kFat32Drive = 'O' - 'A';
constexpr int kBareDrive = 'P' - 'A';

// "<Windows dir>\Qarbin\Si", where the fixture installs the drivers.
inline std::string DriverFolder() {
  char windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(windows) + "\\Qarbin\\Si";
}

// Makes a folder the current directory for the life of the object.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& folder) {
    char previous[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, previous);
    if (length > 0 && length < MAX_PATH) previous_ = previous;
    changed_ = !previous_.empty() && SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentDirectory() {
    if (changed_) SetCurrentDirectoryA(previous_.c_str());
  }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;
  bool changed() const { return changed_; }

 private:
  std::string previous_;
  bool changed_ = false;
};

// A driver opened through the seam as the devices open it; closed through the
// seam when the owner ends.
class DriverHandle {
 public:
  DriverHandle(const PlatformApi& api, const char* deviceName)
      : api_(api),
        handle_(api.createFileA(deviceName, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr)) {}
  ~DriverHandle() {
    if (IsValid()) api_.closeHandle(handle_);
  }
  DriverHandle(const DriverHandle&) = delete;
  DriverHandle& operator=(const DriverHandle&) = delete;

  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  BOOL Request(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize, DWORD* returned) {
    return api_.deviceIoControl(handle_, code, input, inputSize, output, outputSize, returned, nullptr);
  }

 private:
  const PlatformApi& api_;
  HANDLE handle_;
};

}  // namespace devlore::test

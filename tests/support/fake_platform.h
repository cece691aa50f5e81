#pragma once
// A stand-in for the machine-dependent platform entry points. Construction
// installs a copy of the real table, so every entry behaves as the real one
// until a test replaces it; destruction puts the real table back.
#include <windows.h>

#include <string>
#include <vector>

#include "model/platform.h"

namespace devlore::test {

struct FakeDrive {
  std::string root;  // as the platform lists it, e.g. "C:\\"
  UINT type;         // DRIVE_FIXED, DRIVE_REMOVABLE, DRIVE_CDROM, ...
};

class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // Presents this drive list to GetLogicalDriveStringsA and GetDriveTypeA.
  void SetDrives(const std::vector<FakeDrive>& drives);
  // Makes GetLogicalDriveStringsA return this value (and fill nothing).
  void SetDriveStringsResult(DWORD result);

  PlatformApi& Api() { return api_; }

  static FakePlatform* Current() { return current_; }

  std::vector<FakeDrive> drives;
  bool forceDriveStringsResult = false;
  DWORD driveStringsResult = 0;

 private:
  PlatformApi api_;
  static FakePlatform* current_;
};

}  // namespace devlore::test

#include "tests/support/fake_platform.h"

#include <cstring>

namespace devlore::test {

FakePlatform* FakePlatform::current_ = nullptr;

namespace {

DWORD WINAPI FakeGetLogicalDriveStrings(DWORD size, LPSTR buffer) {
  FakePlatform* fake = FakePlatform::Current();
  if (fake->forceDriveStringsResult) return fake->driveStringsResult;
  std::string list;
  for (const auto& drive : fake->drives) {
    list += drive.root;
    list.push_back('\0');
  }
  if (list.empty()) return 0;
  // Like the platform: the length without the final NUL, or the size needed.
  if (list.size() + 1 > size) return static_cast<DWORD>(list.size() + 1);
  std::memcpy(buffer, list.data(), list.size());
  buffer[list.size()] = '\0';
  return static_cast<DWORD>(list.size());
}

UINT WINAPI FakeGetDriveType(LPCSTR root) {
  for (const auto& drive : FakePlatform::Current()->drives) {
    if (drive.root == root) return drive.type;
  }
  return DRIVE_NO_ROOT_DIR;
}

}  // namespace

FakePlatform::FakePlatform() : api_(RealPlatform()) {
  current_ = this;
  SetPlatform(&api_);
}

FakePlatform::~FakePlatform() {
  SetPlatform(nullptr);
  current_ = nullptr;
}

void FakePlatform::SetDrives(const std::vector<FakeDrive>& list) {
  drives = list;
  api_.getLogicalDriveStringsA = &FakeGetLogicalDriveStrings;
  api_.getDriveTypeA = &FakeGetDriveType;
}

void FakePlatform::SetDriveStringsResult(DWORD result) {
  forceDriveStringsResult = true;
  driveStringsResult = result;
  api_.getLogicalDriveStringsA = &FakeGetLogicalDriveStrings;
}

}  // namespace devlore::test

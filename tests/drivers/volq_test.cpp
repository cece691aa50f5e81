// VOLQ.VXD against FAT12, FAT16 and FAT32 disk images that the fixture attached
// as raw devices of drives M:, N: and O: (mkfs.fat, volume labels DEVLORE12,
// DEVLORE16, DEVLORE32, volume id 1234ABCD), and a drive P: without one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/drivers/driver_test_support.h"
#include "tests/support/fake_platform.h"
#include "tests/support/vxd_loader.h"

namespace devlore::test {
namespace {

constexpr DWORD kCheckTransfer = 1;
constexpr DWORD kReadSectors = 2;
constexpr DWORD kVolumeParameters = 9;
constexpr unsigned char kFill = 0xCC;

struct VolumeParameters {
  DWORD size, driveIndex, bytesPerSector, sectorsPerCluster, reservedSectors, fatCount, rootEntries,
      totalSectors, sectorsPerFat, hiddenSectors, mediaDescriptor, fatBits;
};

struct Image {
  int drive;
  int fatBits;
  const char* label;
  size_t typeOffset;  // where the FAT standard puts the type text
  size_t idOffset;    // volume id
  DWORD sectors;      // size of the image in sectors
};

const Image kImages[] = {
    {kFat12Drive, 12, "DEVLORE12  ", 54, 39, 1440 * 2},
    {kFat16Drive, 16, "DEVLORE16  ", 54, 39, 16384 * 2},
    {kFat32Drive, 32, "DEVLORE32  ", 82, 67, 40960 * 2},
};

std::string Text(const unsigned char* bytes, size_t length) {
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

class VolqTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseVxdLoader(platform_.Api());
    ASSERT_TRUE(folder_.changed()) << "driver folder " << DriverFolder()
                                   << " missing: run through ctest (fixture drivers_setup)";
    driver_.reset(new DriverHandle(platform_.Api(), "\\\\.\\VOLQ.VXD"));
    ASSERT_TRUE(driver_->IsValid()) << GetLastError();
  }
  void TearDown() override {
    driver_.reset();
    EXPECT_EQ(0, OpenVxdHandleCount());
  }

  // The request record as the disk device fills it for a read.
  void Prepare(unsigned char* buffer, ULONG_PTR sector, int drive, ULONG_PTR count = 1) {
    const ULONG_PTR words[8] = {2, reinterpret_cast<ULONG_PTR>(buffer), 0, sector, static_cast<ULONG_PTR>(drive),
                                0, 512, count};
    std::memcpy(request_, words, sizeof(words));
  }

  // Sends code 2 with the stated input size of 4 the disk device uses.
  BOOL Read(DWORD* answer = nullptr) {
    DWORD output = 0, returned = 0;
    const BOOL ok = driver_->Request(kReadSectors, request_, 4, &output, sizeof(output), &returned);
    if (answer) *answer = output;
    return ok;
  }

  static bool Untouched(const unsigned char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      if (bytes[i] != kFill) return false;
    }
    return true;
  }

  FakePlatform platform_;
  CurrentDirectory folder_{DriverFolder()};
  std::unique_ptr<DriverHandle> driver_;
  ULONG_PTR request_[8] = {};  // words as wide as an address, as the disk device sends them
  unsigned char buffer_[4096];
};

TEST_F(VolqTest, ReadsTheBootSectorOfEachImageDrive) {
  for (const Image& image : kImages) {
    SCOPED_TRACE(image.fatBits);
    std::memset(buffer_, kFill, sizeof(buffer_));
    Prepare(buffer_, 1, image.drive);
    DWORD answer = 0;
    ASSERT_TRUE(Read(&answer)) << GetLastError();
    EXPECT_EQ(512u, answer);
    EXPECT_EQ(0x55, buffer_[510]);
    EXPECT_EQ(0xAA, buffer_[511]);
    EXPECT_EQ("FAT" + std::to_string(image.fatBits) + "   ", Text(buffer_ + image.typeOffset, 8));
    EXPECT_EQ(image.label, Text(buffer_ + image.typeOffset - 11, 11));
    const unsigned char id[4] = {0xCD, 0xAB, 0x34, 0x12};
    EXPECT_EQ(0, std::memcmp(buffer_ + image.idOffset, id, 4));
    EXPECT_EQ(512, buffer_[11] | (buffer_[12] << 8));
    EXPECT_NE(0, buffer_[13]);
    // Exactly one sector is written.
    EXPECT_TRUE(Untouched(buffer_ + 512, sizeof(buffer_) - 512));
  }
}

TEST_F(VolqTest, CountsSectorsFromOneAndReadsSeveral) {
  // FAT12: sector 2 is the first sector of the first FAT, which starts with the
  // media descriptor and two bytes of all ones.
  unsigned char boot[512];
  std::memset(buffer_, kFill, sizeof(buffer_));
  Prepare(buffer_, 1, kFat12Drive);
  ASSERT_TRUE(Read());
  std::memcpy(boot, buffer_, sizeof(boot));
  std::memset(buffer_, kFill, sizeof(buffer_));
  Prepare(buffer_, 2, kFat12Drive);
  ASSERT_TRUE(Read());
  EXPECT_EQ(boot[21], buffer_[0]);
  EXPECT_EQ(0xFF, buffer_[1]);
  EXPECT_EQ(0xFF, buffer_[2]);

  // FAT32: sector 2 holds the file-system information sector.
  std::memset(buffer_, kFill, sizeof(buffer_));
  Prepare(buffer_, 2, kFat32Drive);
  ASSERT_TRUE(Read());
  EXPECT_EQ("RRaA", Text(buffer_, 4));
  EXPECT_EQ("rrAa", Text(buffer_ + 484, 4));

  // Four sectors from the boot sector on: 2048 bytes and not one more.
  std::memset(buffer_, kFill, sizeof(buffer_));
  Prepare(buffer_, 1, kFat12Drive, 4);
  DWORD answer = 0;
  ASSERT_TRUE(Read(&answer));
  EXPECT_EQ(2048u, answer);
  EXPECT_EQ(0, std::memcmp(buffer_, boot, sizeof(boot)));
  EXPECT_EQ(boot[21], buffer_[512]);
  EXPECT_TRUE(Untouched(buffer_ + 2048, sizeof(buffer_) - 2048));

  // The last sector of the volume can be read; the one after it does not exist.
  Prepare(buffer_, kImages[0].sectors, kFat12Drive);
  EXPECT_TRUE(Read());
  std::memset(buffer_, kFill, sizeof(buffer_));
  Prepare(buffer_, kImages[0].sectors + 1, kFat12Drive);
  EXPECT_FALSE(Read());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SECTOR_NOT_FOUND), GetLastError());
  // A transfer running past the end fails as a whole.
  Prepare(buffer_, kImages[0].sectors - 1, kFat12Drive, 4);
  EXPECT_FALSE(Read());
  EXPECT_TRUE(Untouched(buffer_, sizeof(buffer_)));
}

TEST_F(VolqTest, FailedReadsLeaveTheBufferAsItWas) {
  std::memset(buffer_, kFill, sizeof(buffer_));
  // A drive without a raw device.
  Prepare(buffer_, 1, kBareDrive);
  EXPECT_FALSE(Read());
  EXPECT_TRUE(Untouched(buffer_, sizeof(buffer_)));
  // Bad records: no sector 0, drive numbers past Z, sizes the driver refuses.
  Prepare(buffer_, 0, kFat12Drive);
  EXPECT_FALSE(Read());
  Prepare(buffer_, 1, 26);
  EXPECT_FALSE(Read());
  Prepare(buffer_, 1, kFat12Drive, 5);
  EXPECT_FALSE(Read());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  Prepare(buffer_, 1, kFat12Drive, 0);
  EXPECT_FALSE(Read());
  Prepare(buffer_, 1, kFat12Drive);
  request_[6] = 1024;
  EXPECT_FALSE(Read());
  request_[6] = 0x80000000u;
  request_[7] = 2;  // a product that wraps around in 32 bits
  EXPECT_FALSE(Read());
  request_[6] = 512;
  request_[7] = 1;
  request_[3] = static_cast<ULONG_PTR>(-1);  // the last sector a word can name
  EXPECT_FALSE(Read());
  EXPECT_TRUE(Untouched(buffer_, sizeof(buffer_)));
  // No buffer, or a buffer that is not writable memory.
  Prepare(nullptr, 1, kFat12Drive);
  EXPECT_FALSE(Read());
  static const unsigned char kReadOnly[512] = {1};
  Prepare(const_cast<unsigned char*>(kReadOnly), 1, kFat12Drive);
  EXPECT_FALSE(Read());
  EXPECT_EQ(1, kReadOnly[0]);
  // No record at all.
  DWORD output = 0, returned = 0;
  EXPECT_FALSE(driver_->Request(kReadSectors, nullptr, 0, &output, sizeof(output), &returned));
}

TEST_F(VolqTest, ChecksTransfersAndAnswersVolumeParameters) {
  ULONG_PTR transfer[2] = {512, 1};
  DWORD answer = 0, returned = 0;
  ASSERT_TRUE(driver_->Request(kCheckTransfer, transfer, 4, &answer, sizeof(answer), &returned));
  EXPECT_EQ(512u, answer);
  transfer[1] = 4;
  ASSERT_TRUE(driver_->Request(kCheckTransfer, transfer, 4, &answer, sizeof(answer), &returned));
  EXPECT_EQ(2048u, answer);
  transfer[1] = 5;
  EXPECT_FALSE(driver_->Request(kCheckTransfer, transfer, 4, &answer, sizeof(answer), &returned));
  EXPECT_FALSE(driver_->Request(kCheckTransfer, nullptr, 0, &answer, sizeof(answer), &returned));

  for (const Image& image : kImages) {
    SCOPED_TRACE(image.fatBits);
    DWORD drive = static_cast<DWORD>(image.drive);
    VolumeParameters parameters = {};
    ASSERT_TRUE(driver_->Request(kVolumeParameters, &drive, 4, &parameters, 80, &returned)) << GetLastError();
    EXPECT_EQ(sizeof(parameters), returned);
    EXPECT_EQ(sizeof(parameters), parameters.size);
    EXPECT_EQ(drive, parameters.driveIndex);
    EXPECT_EQ(512u, parameters.bytesPerSector);
    EXPECT_EQ(image.sectors, parameters.totalSectors);
    EXPECT_EQ(static_cast<DWORD>(image.fatBits), parameters.fatBits);
    EXPECT_EQ(2u, parameters.fatCount);
  }
  DWORD bare = kBareDrive;
  unsigned char parameters[80];
  std::memset(parameters, kFill, sizeof(parameters));
  EXPECT_FALSE(driver_->Request(kVolumeParameters, &bare, 4, parameters, sizeof(parameters), &returned));
  DWORD fat12 = kFat12Drive;
  EXPECT_FALSE(driver_->Request(kVolumeParameters, &fat12, 4, parameters, 47, &returned));
  EXPECT_TRUE(Untouched(parameters, sizeof(parameters)));

  for (DWORD code : {0u, 3u, 8u, 10u, 0xFFFFu}) {
    EXPECT_FALSE(driver_->Request(code, transfer, 4, &answer, sizeof(answer), &returned)) << code;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError()) << code;
  }
}

}  // namespace
}  // namespace devlore::test

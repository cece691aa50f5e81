#pragma once
#include <stdint.h>

#include "model/device_object.h"

namespace devlore {

// One fixed drive: total size, free space, cluster size and file system. The
// drive's boot sector is read once, at construction, through the VOLQ.VXD probe
// driver; the sizes come from the kernel's free-space services on every Collect.
class LogicalDiskDevice final : public DeviceObject {
 public:
  // The record handed to the probe driver for a sector read. Word 1 carries the
  // address of the receiving buffer, so the words are as wide as an address:
  // eight 32-bit words in the shipped 32-bit library.
  //   0: request (1 first read, 2 second read)  1: buffer address
  //   2: 0   3: 0 first read, 1 second read (fill the buffer)
  //   4: drive index   5: 0   6: bytes per sector (512)   7: sector count (1)
  // Words 6 and 7 are also the record of control code 1.
  using SectorWord = uintptr_t;
  static constexpr uint32_t kSectorRequestWords = 8;

  static constexpr uint32_t kBootSectorSize = 1024;
  static constexpr uint32_t kScannedBytes = 512;  // the boot sector proper
  static constexpr uint32_t kFileSystemNameLength = 5;

  // Null when the device could not be allocated.
  static LogicalDiskDevice* Create(int32_t driveIndex);

  int Format() override;
  int Collect() override;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  LogicalDiskDevice() = default;

  // Reads the boot sector through the probe driver (five requests).
  void ProbeDriver();
  // Takes the five bytes at the first "FAT" of the scanned boot sector.
  bool FindFileSystemName();

  char fileSystemName_[8];  // five bytes from the boot sector, then NUL
  int32_t driveIndex_;
  uint32_t bytesPerCluster_;
  uint64_t freeBytes_;
  uint64_t totalBytes_;
  uint8_t bootSector_[kBootSectorSize];
  uint8_t scratchSector_[512];
  uint8_t driveParameters_[80];
  SectorWord sectorRequest_[kSectorRequestWords];
  ElementLines elementText_;
};

}  // namespace devlore

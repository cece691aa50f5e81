#include "devices/logical_disk_device.h"

#include <new>

#include "devices/probe_driver.h"
#include "model/platform.h"
#include "model/text.h"

namespace devlore {
namespace {

constexpr uint32_t kElementCount = 5;
constexpr DWORD kVolqSectorSize = 1;      // input: words 6 and 7 of the request
constexpr DWORD kVolqReadSector = 2;      // input: the whole request record
constexpr DWORD kVolqDriveParameters = 9;  // input: the drive index
constexpr DWORD kStatedInputSize = 4;     // the driver reads the records through the pointer

using GetDiskFreeSpaceExProc = BOOL(WINAPI*)(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                                             PULARGE_INTEGER totalFree);

// "<label>: <grouped decimal> bytes. (<size text or nothing>)". The longest
// grouped 64-bit number has 26 characters, the size text at most 12: far below
// the 260-byte line.
void FormatSizeLine(char* line, const char* label, uint64_t value) {
  char digits[32];
  GroupThousands(value, digits);
  char size[32];
  size[0] = '\0';  // each line makes its own size text
  FormatByteSize(value, size);
  wsprintfA(line, "%hs: %hs bytes. (%hs)", label, digits, size);
}

}  // namespace

LogicalDiskDevice* LogicalDiskDevice::Create(int32_t driveIndex) {
  if (driveIndex < 0 || driveIndex > 25) return nullptr;
  char typeText[kLineSize];
  FormatDriveTypeText(driveIndex, typeText);
  static const uint32_t counts[] = {kElementCount};
  auto* device =
      static_cast<LogicalDiskDevice*>(Initialized(new (std::nothrow) LogicalDiskDevice(), typeText, 1, counts, true));
  if (!device) return nullptr;
  device->driveIndex_ = driveIndex;
  device->ProbeDriver();
  return device;
}

void LogicalDiskDevice::ProbeDriver() {
  UniqueDriverHandle driver = OpenProbeDriver("\\\\.\\VOLQ.VXD");
  if (!driver) return;

  const auto send = [&](DWORD code, void* input, void* output, DWORD outputSize) {
    DWORD returned = 0;
    Platform().deviceIoControl(driver.Get(), code, input, kStatedInputSize, output, outputSize, &returned,
                               nullptr);
  };
  uint32_t answer = 0;

  // First read: into the scratch sector.
  sectorRequest_[0] = 1;
  sectorRequest_[1] = reinterpret_cast<SectorWord>(scratchSector_);
  sectorRequest_[2] = 0;
  sectorRequest_[3] = 0;
  sectorRequest_[4] = static_cast<SectorWord>(driveIndex_);
  sectorRequest_[5] = 0;
  sectorRequest_[6] = 512;
  sectorRequest_[7] = 1;
  send(kVolqSectorSize, &sectorRequest_[6], &answer, sizeof answer);
  send(kVolqReadSector, sectorRequest_, &answer, sizeof answer);

  // Second read: the boot sector itself.
  sectorRequest_[0] = 2;
  sectorRequest_[1] = reinterpret_cast<SectorWord>(bootSector_);
  sectorRequest_[3] = 1;
  send(kVolqSectorSize, &sectorRequest_[6], &answer, sizeof answer);
  send(kVolqReadSector, sectorRequest_, &answer, sizeof answer);

  int32_t drive = driveIndex_;
  send(kVolqDriveParameters, &drive, driveParameters_, sizeof driveParameters_);
}

bool LogicalDiskDevice::FindFileSystemName() {
  // The three letters must lie within the scanned bytes; of the five bytes
  // taken, any beyond them read as NUL, so a "FAT" at the very end of the
  // sector gives a shorter name rather than bytes the sector never held.
  for (uint32_t i = 0; i + 2 < kScannedBytes; ++i) {
    if (bootSector_[i] != 'F' || bootSector_[i + 1] != 'A' || bootSector_[i + 2] != 'T') continue;
    for (uint32_t k = 0; k < kFileSystemNameLength; ++k)
      fileSystemName_[k] = i + k < kScannedBytes ? static_cast<char>(bootSector_[i + k]) : '\0';
    return true;
  }
  return false;
}

int LogicalDiskDevice::Collect() {
  const char root[4] = {static_cast<char>('A' + driveIndex_), ':', '\\', '\0'};

  char modulePath[kLineSize];
  const UINT length = GetWindowsDirectoryA(modulePath, kLineSize);
  if (length == 0 || length >= kLineSize) return 0;
  if (!AppendText(modulePath, kLineSize, "\\System\\kernel32.dll")) return 0;
  UniquePlatformModule kernel(Platform().loadLibraryA(modulePath));
  if (!kernel) return 0;

  const auto getDiskFreeSpaceEx =
      reinterpret_cast<GetDiskFreeSpaceExProc>(Platform().getProcAddress(kernel.Get(), "GetDiskFreeSpaceExA"));
  if (getDiskFreeSpaceEx) {
    ULARGE_INTEGER freeToCaller, total, totalFree;
    if (getDiskFreeSpaceEx(root, &freeToCaller, &total, &totalFree)) {
      totalBytes_ = total.QuadPart;
      freeBytes_ = totalFree.QuadPart;
      bytesPerCluster_ = static_cast<uint32_t>(bootSector_[13]) * 512;
    }
  } else {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (Platform().getDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
      bytesPerCluster_ = static_cast<uint32_t>(bytesPerSector * sectorsPerCluster);
      freeBytes_ = static_cast<uint32_t>(bytesPerCluster_ * freeClusters);
      totalBytes_ = static_cast<uint32_t>(bytesPerCluster_ * totalClusters);
    }
  }
  return FindFileSystemName();
}

int LogicalDiskDevice::Format() {
  if (!StartSingleCategory(*this, elementText_)) return 0;
  CopyText(elementText_[0], kLineSize, "Logical Disk Information");
  FormatSizeLine(elementText_[1], "Total Size", totalBytes_);
  FormatSizeLine(elementText_[2], "Free Space", freeBytes_);
  FormatSizeLine(elementText_[3], "Bytes Per Cluster", bytesPerCluster_);
  fileSystemName_[kFileSystemNameLength] = '\0';
  wsprintfA(elementText_[4], "File System: %hS", fileSystemName_);
  return ConvertSingleCategory(*this, elementText_);
}

}  // namespace devlore

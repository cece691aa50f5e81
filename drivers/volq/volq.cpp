// VOLQ: the volume probe driver. It reads sectors of a logical drive from the
// drive's raw volume and answers three control requests.
//
// Sector request record (code 2): eight words as wide as an address (32 bits in
// the 32-bit driver, 64 bits in the 64-bit one used by 64-bit test programs).
//   word 0  the caller's own tag (the disk device numbers its reads 1 and 2);
//           not interpreted
//   word 1  address of the caller's buffer
//   word 2  reserved, not interpreted
//   word 3  first sector to read, counted from 1: sector 1 is the first sector
//           of the volume, its boot sector; 0 names no sector and is refused
//   word 4  drive number, 0 = A ... 25 = Z
//   word 5  reserved, not interpreted
//   word 6  bytes per sector; must be 512
//   word 7  number of sectors, 1 to kMaxSectors
// Words 6 and 7 on their own form the transfer record of code 1.
//
// Requests:
//   code 1  input: transfer record (2 words)  output: 4 bytes
//           Checks a transfer before it is requested: answers the transfer's
//           length in bytes (word 6 times word 7) when code 2 would accept it,
//           and fails with ERROR_INVALID_PARAMETER otherwise.
//   code 2  input: sector request record      output: 4 bytes (optional)
//           Reads word 7 sectors from sector word 3 of drive word 4 into the
//           buffer of word 1 and answers the number of bytes read. The
//           whole transfer is read first and copied to the caller's buffer only
//           when it is complete: a request that fails leaves the buffer as it
//           was. Never more than word 6 times word 7 bytes are written there,
//           and only when that range is committed, writable memory.
//   code 9  input: drive number (32 bits)     output: VolumeParameters, 48 bytes
//           Reads the drive's boot sector and answers the geometry its BIOS
//           parameter block gives, with the FAT width worked out from the
//           cluster count as the FAT standard does. Fails with ERROR_NOT_DOS_DISK
//           when the boot sector holds no valid parameter block.
// Input records are read through the pointer at their full length; the stated
// input size is not relied on, because the disk device states 4 bytes for every
// record. A null input or output pointer where one is needed is refused. Any
// other code fails with ERROR_INVALID_FUNCTION. The driver keeps no state
// between requests and uses no heap.
//
// A drive is reached through its raw device "\\.\X:". A drive that has none (or
// that the process may not read) makes codes 2 and 9 fail with the platform's
// error from opening it.
#include <windows.h>
#include <stdint.h>

#include "base/handles.h"
#include "drivers/common/driver_api.h"

namespace {

constexpr DWORD kCheckTransfer = 1;
constexpr DWORD kReadSectors = 2;
constexpr DWORD kVolumeParameters = 9;

constexpr DWORD kSectorSize = 512;
constexpr DWORD kMaxSectors = 4;
constexpr DWORD kMaxTransfer = kSectorSize * kMaxSectors;
constexpr DWORD kDriveCount = 26;

// One word of the sector request and transfer records.
typedef ULONG_PTR RequestWord;

struct VolumeParameters {
  DWORD size;               // size of this record, 48
  DWORD driveIndex;         // 0 = A ... 25 = Z
  DWORD bytesPerSector;
  DWORD sectorsPerCluster;
  DWORD reservedSectors;
  DWORD fatCount;
  DWORD rootEntries;
  DWORD totalSectors;
  DWORD sectorsPerFat;
  DWORD hiddenSectors;
  DWORD mediaDescriptor;
  DWORD fatBits;            // 12, 16 or 32
};
static_assert(sizeof(VolumeParameters) == 48, "record layout");

void CopyBytes(void* destination, const void* source, DWORD count) {
  unsigned char* d = static_cast<unsigned char*>(destination);
  const unsigned char* s = static_cast<const unsigned char*>(source);
  while (count--) *d++ = *s++;
}

uint32_t Word16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t Word32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool AcceptableTransfer(RequestWord bytesPerSector, RequestWord sectorCount) {
  return bytesPerSector == kSectorSize && sectorCount >= 1 && sectorCount <= kMaxSectors;
}

// True when [address, address + length) lies in committed pages that this
// process may write.
bool WritableRange(void* address, DWORD length) {
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  if (at == 0 || at + length < at) return false;
  const uintptr_t end = at + length;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof(info)) != sizeof(info)) return false;
    if (info.State != MEM_COMMIT) return false;
    const DWORD protect = info.Protect;
    if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
    if (!(protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY))) {
      return false;
    }
    const uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (regionEnd <= at) return false;
    at = regionEnd;
  }
  return true;
}

// Reads `count` sectors from one-based sector `sector` of the drive's raw
// volume into `data` (at least kMaxTransfer bytes). Returns a platform error.
DWORD ReadVolume(DWORD driveIndex, DWORD sector, DWORD count, unsigned char* data) {
  if (driveIndex >= kDriveCount) return ERROR_INVALID_DRIVE;
  if (sector == 0) return ERROR_SECTOR_NOT_FOUND;
  if (count == 0 || count > kMaxSectors) return ERROR_INVALID_PARAMETER;
  char path[] = "\\\\.\\?:";
  path[4] = static_cast<char>('A' + driveIndex);
  devlore::UniqueFileHandle volume(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
  if (!volume) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_INVALID_DRIVE;
  }
  const uint64_t offset = static_cast<uint64_t>(sector - 1) * kSectorSize;
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(ERROR_SUCCESS);
  const DWORD low = SetFilePointer(volume.Get(), static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return GetLastError();
  const DWORD length = count * kSectorSize;
  DWORD read = 0;
  if (!ReadFile(volume.Get(), data, length, &read, nullptr)) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_READ_FAULT;
  }
  // Past the end of the volume: the sectors do not exist.
  if (read != length) return ERROR_SECTOR_NOT_FOUND;
  return ERROR_SUCCESS;
}

BOOL CheckTransfer(const RequestWord* record, LPVOID output, DWORD outputSize, LPDWORD returned) {
  if (!record) return FailRequest(ERROR_INVALID_PARAMETER, returned);
  if (!output || outputSize < sizeof(DWORD)) return FailRequest(ERROR_INSUFFICIENT_BUFFER, returned);
  if (!AcceptableTransfer(record[0], record[1])) return FailRequest(ERROR_INVALID_PARAMETER, returned);
  *static_cast<DWORD*>(output) = static_cast<DWORD>(record[0] * record[1]);
  if (returned) *returned = sizeof(DWORD);
  return TRUE;
}

BOOL ReadSectors(const RequestWord* request, LPVOID output, DWORD outputSize, LPDWORD returned) {
  if (!request) return FailRequest(ERROR_INVALID_PARAMETER, returned);
  if (!AcceptableTransfer(request[6], request[7])) return FailRequest(ERROR_INVALID_PARAMETER, returned);
  // Sector numbers are 32-bit; a 64-bit word must not carry more.
  if ((static_cast<uint64_t>(request[3]) >> 32) != 0 || request[4] >= kDriveCount) {
    return FailRequest(ERROR_INVALID_PARAMETER, returned);
  }
  void* buffer = reinterpret_cast<void*>(request[1]);
  const DWORD length = static_cast<DWORD>(request[6] * request[7]);
  if (!WritableRange(buffer, length)) return FailRequest(ERROR_INVALID_PARAMETER, returned);

  unsigned char data[kMaxTransfer];
  const DWORD error =
      ReadVolume(static_cast<DWORD>(request[4]), static_cast<DWORD>(request[3]), static_cast<DWORD>(request[7]), data);
  if (error != ERROR_SUCCESS) return FailRequest(error, returned);
  CopyBytes(buffer, data, length);
  if (output && outputSize >= sizeof(DWORD)) {
    *static_cast<DWORD*>(output) = length;
    if (returned) *returned = sizeof(DWORD);
  } else if (returned) {
    *returned = 0;
  }
  return TRUE;
}

// Fills `parameters` from a boot sector; false when it holds no usable BIOS
// parameter block.
bool ParseBootSector(const unsigned char* boot, VolumeParameters* parameters) {
  if (boot[510] != 0x55 || boot[511] != 0xAA) return false;
  const uint32_t bytesPerSector = Word16(boot + 11);
  const uint32_t sectorsPerCluster = boot[13];
  const uint32_t reserved = Word16(boot + 14);
  const uint32_t fats = boot[16];
  const uint32_t rootEntries = Word16(boot + 17);
  uint32_t total = Word16(boot + 19);
  if (total == 0) total = Word32(boot + 32);
  uint32_t perFat = Word16(boot + 22);
  if (perFat == 0) perFat = Word32(boot + 36);
  if (bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096) {
    return false;
  }
  if (sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1)) != 0) return false;
  if (reserved == 0 || fats == 0 || perFat == 0 || total == 0) return false;
  const uint64_t rootSectors = (static_cast<uint64_t>(rootEntries) * 32 + bytesPerSector - 1) / bytesPerSector;
  const uint64_t overhead = reserved + static_cast<uint64_t>(fats) * perFat + rootSectors;
  if (overhead >= total) return false;
  const uint64_t clusters = (total - overhead) / sectorsPerCluster;

  parameters->size = sizeof(VolumeParameters);
  parameters->bytesPerSector = bytesPerSector;
  parameters->sectorsPerCluster = sectorsPerCluster;
  parameters->reservedSectors = reserved;
  parameters->fatCount = fats;
  parameters->rootEntries = rootEntries;
  parameters->totalSectors = total;
  parameters->sectorsPerFat = perFat;
  parameters->hiddenSectors = Word32(boot + 28);
  parameters->mediaDescriptor = boot[21];
  parameters->fatBits = clusters < 4085 ? 12 : clusters < 65525 ? 16 : 32;
  return true;
}

BOOL GetVolumeParameters(const DWORD* driveIndex, LPVOID output, DWORD outputSize, LPDWORD returned) {
  if (!driveIndex) return FailRequest(ERROR_INVALID_PARAMETER, returned);
  if (!output || outputSize < sizeof(VolumeParameters)) return FailRequest(ERROR_INSUFFICIENT_BUFFER, returned);
  unsigned char boot[kMaxTransfer];
  const DWORD error = ReadVolume(*driveIndex, 1, 1, boot);
  if (error != ERROR_SUCCESS) return FailRequest(error, returned);
  VolumeParameters parameters;
  if (!ParseBootSector(boot, &parameters)) return FailRequest(ERROR_NOT_DOS_DISK, returned);
  parameters.driveIndex = *driveIndex;
  CopyBytes(output, &parameters, sizeof(parameters));
  if (returned) *returned = sizeof(parameters);
  return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI ProbeDeviceIoControl(DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                            DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  switch (code) {
    case kCheckTransfer:
      return CheckTransfer(static_cast<const RequestWord*>(input), output, outputSize, returned);
    case kReadSectors:
      return ReadSectors(static_cast<const RequestWord*>(input), output, outputSize, returned);
    case kVolumeParameters:
      return GetVolumeParameters(static_cast<const DWORD*>(input), output, outputSize, returned);
    default:
      return FailRequest(ERROR_INVALID_FUNCTION, returned);
  }
}

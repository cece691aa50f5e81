#pragma once
// The platform entry points whose answers depend on the machine rather than on
// the registry: processor type and identification, memory status, the drive
// list, drive types and free space, the probe drivers and the 16-bit thunk.
// The library calls them only through this table; the shipped library binds it
// to the real functions, and tests may install a table of their own to present
// other machines. Everything else (registry, COM, OLE) is called directly.
#include <windows.h>
#include <stdint.h>

#include "base/unique_resource.h"

namespace devlore {

struct CpuidResult {
  uint32_t eax, ebx, ecx, edx;
};

struct PlatformApi {
  // Kernel services.
  void(WINAPI* getSystemInfo)(LPSYSTEM_INFO info);
  void(WINAPI* globalMemoryStatus)(LPMEMORYSTATUS status);
  DWORD(WINAPI* getLogicalDriveStringsA)(DWORD size, LPSTR buffer);
  UINT(WINAPI* getDriveTypeA)(LPCSTR root);
  BOOL(WINAPI* getDiskFreeSpaceA)(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                  LPDWORD freeClusters, LPDWORD totalClusters);
  // Module and procedure look-up, used where the library finds optional entry
  // points at run time (GetDiskFreeSpaceExA under the Windows directory).
  HMODULE(WINAPI* loadLibraryA)(LPCSTR name);
  FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR name);
  BOOL(WINAPI* freeLibrary)(HMODULE module);

  // The probe drivers, opened by device name.
  HANDLE(WINAPI* createFileA)(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile);
  BOOL(WINAPI* deviceIoControl)(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped);
  BOOL(WINAPI* closeHandle)(HANDLE handle);

  // Processor identification: whether the ID bit of the flags register can be
  // flipped, and one CPUID leaf.
  int (*hasCpuid)();
  void (*cpuid)(uint32_t leaf, CpuidResult* result);

  // The 16-bit side: the kernel's export look-up by ordinal and the thunk call.
  FARPROC (*getKernelExportByOrdinal)(uint32_t ordinal);
  uint32_t (*callThunk16)(FARPROC qtThunk, uint32_t procedure16, uint16_t argument);
};

// The table in force: the real platform unless a test installed its own.
const PlatformApi& Platform();

// The table bound to the real functions.
const PlatformApi& RealPlatform();

// Installs a table (which must outlive its use); null goes back to the real one.
void SetPlatform(const PlatformApi* table);

struct PlatformModuleTraits {
  using Value = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static BOOL Close(HMODULE module) { return Platform().freeLibrary(module); }
};
// A module reference from Platform().loadLibraryA, released through the same table.
using UniquePlatformModule = UniqueResource<PlatformModuleTraits>;

}  // namespace devlore

#pragma once
#include <windows.h>
#include <stdint.h>

#include "model/device_object.h"

namespace devlore {

// Physical, virtual and page file memory, the memory load, and the free system,
// GDI and user resources of the 16-bit window system.
class MemoryDevice final : public DeviceObject {
 public:
  // Null when the device could not be allocated.
  static MemoryDevice* Create();

  int Format() override;
  int Collect() override;

 private:
  // Made only by Create, whose value-initialisation zero-fills every field.
  MemoryDevice() = default;

  // The figures in the order of their lines: six byte counts, then four
  // percentages.
  enum Figure : uint32_t {
    kTotalPhysical,  // raised to an even number of megabytes
    kAvailablePhysical,
    kTotalVirtual,
    kAvailableVirtual,
    kTotalPageFile,
    kAvailablePageFile,
    kMemoryLoad,  // the first percentage
    kSystemResources,
    kGdiResources,
    kUserResources,
    kFigureCount
  };
  uint32_t figures_[kFigureCount];
  ElementLines elementText_;
};

// The 16-bit loader entry points of the kernel (exports 35, 36, 37) and
// QT_Thunk, as the free-resource query needs them.
struct ThunkEntryPoints {
  FARPROC loadLibrary16;     // ordinal 35: HINSTANCE16 WINAPI (LPCSTR)
  FARPROC freeLibrary16;     // ordinal 36: void WINAPI (HINSTANCE16)
  FARPROC getProcAddress16;  // ordinal 37: SEGPTR WINAPI (HMODULE16, LPCSTR)
  FARPROC qtThunk;
};

// Looks the four entry points up afresh; 1 when all were found.
int ResolveThunkEntryPoints(ThunkEntryPoints* entryPoints);

// Asks the 16-bit USER.EXE for its GetFreeSystemResources answers (selectors 0
// system, 1 GDI, 2 user). Returns 1 with the three percentages, or 0.
int GetFreeResourcePercentages(uint32_t* system, uint32_t* gdi, uint32_t* user);

// The physical memory size as shown: the truncated megabyte count raised to the
// next even count above it, in bytes; sizes from 4 GB up show 0xFFFFFFFF.
uint32_t RoundPhysicalMemory(SIZE_T reported);

}  // namespace devlore

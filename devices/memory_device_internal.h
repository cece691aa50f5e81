#pragma once
// The memory device's steps, apart from the device so that tests can drive
// them one by one. Nothing outside the device and its tests uses them.
#include <windows.h>
#include <stdint.h>

namespace devlore {

// The 16-bit loader entry points of the kernel (exports 35, 36, 37) and
// QT_Thunk, as the free-resource query needs them.
struct ThunkEntryPoints {
  FARPROC loadLibrary16;     // ordinal 35: HINSTANCE16 WINAPI (LPCSTR)
  FARPROC freeLibrary16;     // ordinal 36: void WINAPI (HINSTANCE16)
  FARPROC getProcAddress16;  // ordinal 37: SEGPTR WINAPI (HMODULE16, LPCSTR)
  FARPROC qtThunk;
};

// Looks the four entry points up afresh; true when all were found.
bool ResolveThunkEntryPoints(ThunkEntryPoints* entryPoints);

// Asks the 16-bit USER.EXE for its GetFreeSystemResources answers (selectors 0
// system, 1 GDI, 2 user). True with the three percentages, else false.
bool GetFreeResourcePercentages(uint32_t* system, uint32_t* gdi, uint32_t* user);

// The physical memory size as shown: the truncated megabyte count raised to the
// next even count above it, in bytes; sizes from 4 GB up show 0xFFFFFFFF.
uint32_t RoundPhysicalMemory(SIZE_T reported);

}  // namespace devlore

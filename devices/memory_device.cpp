#include "devices/memory_device.h"
#include "devices/memory_device_internal.h"

#include <new>

#include "model/platform.h"
#include "model/text.h"

namespace devlore {
namespace {

constexpr uint32_t kElementCount = 11;

using LoadLibrary16Proc = WORD(WINAPI*)(LPCSTR name);
using FreeLibrary16Proc = void(WINAPI*)(WORD instance);
using GetProcAddress16Proc = DWORD(WINAPI*)(WORD module, LPCSTR name);

// The memory status fields are 32-bit here; a larger figure (64-bit builds only)
// shows as the largest 32-bit value rather than wrapping round.
uint32_t Clamp32(SIZE_T value) {
#if defined(_WIN64)
  return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
#else
  return value;
#endif
}

// "<label> : <grouped decimal> Bytes (<size text or nothing>)".
void FormatByteLine(char* line, const char* label, uint32_t value) {
  char digits[32];
  GroupThousands(value, digits);
  char size[32];
  size[0] = '\0';
  FormatByteSize(value, size);
  // The label, 13 grouped digits and a size text of at most 10 bytes stay far
  // below the 260-byte line.
  wsprintfA(line, "%hS : %hS Bytes (%hS)", label, digits, size);
}

void FormatPercentLine(char* line, const char* label, uint32_t percent) {
  wsprintfA(line, "%hS : %lu%%", label, static_cast<unsigned long>(percent));
}

// The labels of the figure lines in their order, each ended by its NUL.
const char kFigureLabels[] =
    "Total Physical Memory\0"
    "Available Physical Memory\0"
    "Total Virtual Memory\0"
    "Available Virtual Memory\0"
    "Total Page File Memory\0"
    "Available Page File Memory\0"
    "Current Memory Load\0"
    "Remaining System Resources\0"
    "Remaining GDI Resources\0"
    "Remaining User Resources";

}  // namespace

uint32_t RoundPhysicalMemory(SIZE_T reported) {
  uint64_t megabytes = (static_cast<uint64_t>(reported) >> 20) + 1;
  if (megabytes & 1) ++megabytes;
  const uint64_t bytes = megabytes << 20;
  return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
}

bool ResolveThunkEntryPoints(ThunkEntryPoints* entryPoints) {
  *entryPoints = ThunkEntryPoints{};
  const HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  entryPoints->loadLibrary16 = Platform().getKernelExportByOrdinal(35);
  entryPoints->freeLibrary16 = Platform().getKernelExportByOrdinal(36);
  entryPoints->getProcAddress16 = Platform().getKernelExportByOrdinal(37);
  if (kernel) entryPoints->qtThunk = Platform().getProcAddress(kernel, "QT_Thunk");
  return entryPoints->loadLibrary16 && entryPoints->freeLibrary16 && entryPoints->getProcAddress16 &&
         entryPoints->qtThunk;
}

bool GetFreeResourcePercentages(uint32_t* system, uint32_t* gdi, uint32_t* user) {
  ThunkEntryPoints entry;
  if (!ResolveThunkEntryPoints(&entry)) return false;
  const auto loadLibrary16 = reinterpret_cast<LoadLibrary16Proc>(entry.loadLibrary16);
  const auto freeLibrary16 = reinterpret_cast<FreeLibrary16Proc>(entry.freeLibrary16);
  const auto getProcAddress16 = reinterpret_cast<GetProcAddress16Proc>(entry.getProcAddress16);

  const WORD userModule = loadLibrary16("USER.EXE");
  // Values below 32 are the 16-bit loader's error codes.
  if (userModule < 32) return false;
  const DWORD procedure = getProcAddress16(userModule, "GetFreeSystemResources");
  if (!procedure) {
    freeLibrary16(userModule);
    return false;
  }
  *system = Platform().callThunk16(entry.qtThunk, procedure, 0);
  *gdi = Platform().callThunk16(entry.qtThunk, procedure, 1);
  *user = Platform().callThunk16(entry.qtThunk, procedure, 2);
  freeLibrary16(userModule);
  return true;
}

MemoryDevice* MemoryDevice::Create() {
  static const uint32_t counts[] = {kElementCount};
  return static_cast<MemoryDevice*>(Initialized(new (std::nothrow) MemoryDevice(), "Memory", 1, counts, true));
}

int MemoryDevice::Collect() {
  MEMORYSTATUS status = {};
  status.dwLength = sizeof status;
  Platform().globalMemoryStatus(&status);
  figures_[kTotalPhysical] = RoundPhysicalMemory(status.dwTotalPhys);

  // The memory figures are final now; a missing 16-bit side must not make every
  // later request gather them again.
  collected = 1;

  figures_[kAvailablePhysical] = Clamp32(status.dwAvailPhys);
  figures_[kTotalPageFile] = Clamp32(status.dwTotalPageFile);
  figures_[kAvailablePageFile] = Clamp32(status.dwAvailPageFile);
  figures_[kTotalVirtual] = Clamp32(status.dwTotalVirtual);
  figures_[kAvailableVirtual] = Clamp32(status.dwAvailVirtual);
  figures_[kMemoryLoad] = status.dwMemoryLoad;

  // The percentages are stored only when all three were had.
  return GetFreeResourcePercentages(&figures_[kSystemResources], &figures_[kGdiResources],
                                    &figures_[kUserResources]);
}

int MemoryDevice::Format() {
  if (!StartSingleCategory(*this, elementText_)) return 0;
  CopyText(elementText_[0], kLineSize, "Memory Summary");
  const char* label = kFigureLabels;
  for (uint32_t i = 0; i < kFigureCount; ++i) {
    char* line = elementText_[i + 1];
    if (i < kMemoryLoad) {
      FormatByteLine(line, label, figures_[i]);
    } else {
      FormatPercentLine(line, label, figures_[i]);
    }
    label += lstrlenA(label) + 1;
  }
  return ConvertSingleCategory(*this, elementText_);
}

}  // namespace devlore

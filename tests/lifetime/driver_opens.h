#pragma once
// The probe-driver opens of the shipped library, watched through its import
// table. 32-bit Wine's Windows 9x driver loader keeps one block of the process
// heap for every driver it opens, even after the handle is closed (measured:
// 46 bytes for PROCID.VXD, 42 for VOLQ.VXD, every time). That block is the
// platform's, not the library's: the watcher counts the library's opens and
// measures the loader's cost of each driver, so that a lifetime check can
// allow exactly that much; and it keeps track of the driver handles not yet
// closed, so that one the library fails to close is seen.
#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "tests/lifetime/heap_census.h"

namespace devlore::test {

namespace driver_opens_detail {

typedef HANDLE(WINAPI* CreateFileAFunction)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
typedef BOOL(WINAPI* CloseHandleFunction)(HANDLE);

// Each driver's opens and what the loader keeps for one.
struct DriverRecord {
  size_t opens = 0;
  HeapCensus costPerOpen;
};

struct WatchState {
  CreateFileAFunction createFileA = nullptr;
  CloseHandleFunction closeHandle = nullptr;
  std::map<std::string, DriverRecord> drivers;  // by device name, upper case
  std::set<HANDLE> openHandles;
};

inline WatchState& State() {
  static WatchState state;
  return state;
}

// "\\.\NAME.VXD" in upper case, or empty for any other file name.
inline std::string DriverName(const char* name) {
  std::string text(name ? name : "");
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const bool device = text.compare(0, 4, "\\\\.\\") == 0;
  const bool vxd = text.size() > 8 && text.compare(text.size() - 4, 4, ".VXD") == 0;
  return device && vxd ? text : std::string();
}

inline void OpenAndClose(LPCSTR name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  HANDLE handle = State().createFileA(name, access, share, nullptr, disposition, flags, nullptr);
  if (handle != INVALID_HANDLE_VALUE && handle) State().closeHandle(handle);
}

// The growth of the process heap over a few opens and closes of the driver,
// per open, rounded up.
inline HeapCensus MeasureOpens(LPCSTR name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  constexpr size_t kSamples = 16;
  const HeapCensus before = TakeCensus(GetProcessHeap());
  for (size_t i = 0; i < kSamples; ++i) OpenAndClose(name, access, share, disposition, flags);
  const HeapCensus after = TakeCensus(GetProcessHeap());
  HeapCensus cost;
  if (after.blocks > before.blocks) cost.blocks = (after.blocks - before.blocks + kSamples - 1) / kSamples;
  if (after.bytes > before.bytes) cost.bytes = (after.bytes - before.bytes + kSamples - 1) / kSamples;
  return cost;
}

// The loader's cost of one open of the driver, measured in the library's own
// conditions (its arguments, its current directory): after one open for what
// the loader keeps only the first time, the smaller of two measurements, so
// that a block the heap adds of its own in one of them does not count.
inline HeapCensus MeasureCostPerOpen(LPCSTR name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  OpenAndClose(name, access, share, disposition, flags);
  const HeapCensus first = MeasureOpens(name, access, share, disposition, flags);
  const HeapCensus second = MeasureOpens(name, access, share, disposition, flags);
  HeapCensus cost;
  cost.blocks = first.blocks < second.blocks ? first.blocks : second.blocks;
  cost.bytes = first.bytes < second.bytes ? first.bytes : second.bytes;
  return cost;
}

inline HANDLE WINAPI WatchedCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                        DWORD disposition, DWORD flags, HANDLE templateFile) {
  const std::string driver = DriverName(name);
  if (!driver.empty() && State().drivers.find(driver) == State().drivers.end())
    State().drivers[driver].costPerOpen = MeasureCostPerOpen(name, access, share, disposition, flags);
  HANDLE handle = State().createFileA(name, access, share, security, disposition, flags, templateFile);
  if (!driver.empty() && handle != INVALID_HANDLE_VALUE && handle) {
    ++State().drivers[driver].opens;
    State().openHandles.insert(handle);
  }
  return handle;
}

inline BOOL WINAPI WatchedCloseHandle(HANDLE handle) {
  State().openHandles.erase(handle);
  return State().closeHandle(handle);
}

// Points every import slot of the module that holds `original` at
// `replacement`; returns how many it changed.
inline int RedirectImport(HMODULE module, void* original, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!directory.VirtualAddress || !original) return 0;
  int changed = 0;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->FirstThunk; ++import) {
    for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk); slot->u1.Function; ++slot) {
      if (reinterpret_cast<void*>(slot->u1.Function) != original) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection)) continue;
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
      ++changed;
    }
  }
  return changed;
}

}  // namespace driver_opens_detail

class DriverOpens {
 public:
  // Redirects the module's imports of CreateFileA and CloseHandle, before the
  // module first calls them. Returns false unless both were found.
  static bool Watch(HMODULE module) {
    using namespace driver_opens_detail;
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    State().createFileA = reinterpret_cast<CreateFileAFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CreateFileA")));
    State().closeHandle = reinterpret_cast<CloseHandleFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CloseHandle")));
    const int opens = RedirectImport(module, reinterpret_cast<void*>(State().createFileA),
                                     reinterpret_cast<void*>(&WatchedCreateFileA));
    const int closes = RedirectImport(module, reinterpret_cast<void*>(State().closeHandle),
                                      reinterpret_cast<void*>(&WatchedCloseHandle));
    return opens > 0 && closes > 0;
  }

  // What the platform's loader keeps on the process heap for the driver
  // opens counted so far.
  static HeapCensus LoaderCost() {
    HeapCensus total;
    for (const auto& [name, record] : driver_opens_detail::State().drivers) {
      total.blocks += record.opens * record.costPerOpen.blocks;
      total.bytes += record.opens * record.costPerOpen.bytes;
    }
    return total;
  }

  // Driver handles the module opened and has not closed.
  static size_t OpenHandles() { return driver_opens_detail::State().openHandles.size(); }

  // Driver opens counted so far, of every driver.
  static size_t Opens() {
    size_t total = 0;
    for (const auto& [name, record] : driver_opens_detail::State().drivers) total += record.opens;
    return total;
  }
};

}  // namespace devlore::test

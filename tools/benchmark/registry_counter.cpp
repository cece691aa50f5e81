#include <windows.h>

#include "model/same_text.h"
#include "tools/benchmark/registry_counter.h"

namespace bench {
namespace {

bool g_counting = false;
RegistryCounts g_counts;

void Count(int RegistryCounts::*kind) {
  if (!g_counting) return;
  ++g_counts.total;
  ++(g_counts.*kind);
}

decltype(&RegOpenKeyExA) g_openKeyEx;
decltype(&RegOpenKeyA) g_openKey;
decltype(&RegQueryValueExA) g_queryValueEx;
decltype(&RegQueryInfoKeyA) g_queryInfoKey;
decltype(&RegEnumKeyA) g_enumKey;
decltype(&RegEnumKeyExA) g_enumKeyEx;
decltype(&RegEnumValueA) g_enumValue;
decltype(&RegCloseKey) g_closeKey;

LONG WINAPI CountOpenKeyEx(HKEY key, LPCSTR name, DWORD options, REGSAM access, PHKEY result) {
  Count(&RegistryCounts::open);
  return g_openKeyEx(key, name, options, access, result);
}
LONG WINAPI CountOpenKey(HKEY key, LPCSTR name, PHKEY result) {
  Count(&RegistryCounts::open);
  return g_openKey(key, name, result);
}
LONG WINAPI CountQueryValueEx(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
  Count(&RegistryCounts::query);
  return g_queryValueEx(key, name, reserved, type, data, size);
}
LONG WINAPI CountQueryInfoKey(HKEY key, LPSTR cls, LPDWORD clsSize, LPDWORD reserved, LPDWORD subKeys,
                              LPDWORD maxSubKey, LPDWORD maxClass, LPDWORD values, LPDWORD maxValueName,
                              LPDWORD maxValue, LPDWORD security, PFILETIME written) {
  Count(&RegistryCounts::query);
  return g_queryInfoKey(key, cls, clsSize, reserved, subKeys, maxSubKey, maxClass, values, maxValueName, maxValue,
                        security, written);
}
LONG WINAPI CountEnumKey(HKEY key, DWORD index, LPSTR name, DWORD size) {
  Count(&RegistryCounts::enumerate);
  return g_enumKey(key, index, name, size);
}
LONG WINAPI CountEnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD size, LPDWORD reserved, LPSTR cls,
                           LPDWORD clsSize, PFILETIME written) {
  Count(&RegistryCounts::enumerate);
  return g_enumKeyEx(key, index, name, size, reserved, cls, clsSize, written);
}
LONG WINAPI CountEnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved, LPDWORD type,
                           LPBYTE data, LPDWORD dataSize) {
  Count(&RegistryCounts::enumerate);
  return g_enumValue(key, index, name, nameSize, reserved, type, data, dataSize);
}
LONG WINAPI CountCloseKey(HKEY key) {
  Count(&RegistryCounts::close);
  return g_closeKey(key);
}

struct Redirect {
  const char* name;
  void** original;
  void* wrapper;
};

const Redirect kRedirects[] = {
    {"RegOpenKeyExA", reinterpret_cast<void**>(&g_openKeyEx), reinterpret_cast<void*>(&CountOpenKeyEx)},
    {"RegOpenKeyA", reinterpret_cast<void**>(&g_openKey), reinterpret_cast<void*>(&CountOpenKey)},
    {"RegQueryValueExA", reinterpret_cast<void**>(&g_queryValueEx), reinterpret_cast<void*>(&CountQueryValueEx)},
    {"RegQueryInfoKeyA", reinterpret_cast<void**>(&g_queryInfoKey), reinterpret_cast<void*>(&CountQueryInfoKey)},
    {"RegEnumKeyA", reinterpret_cast<void**>(&g_enumKey), reinterpret_cast<void*>(&CountEnumKey)},
    {"RegEnumKeyExA", reinterpret_cast<void**>(&g_enumKeyEx), reinterpret_cast<void*>(&CountEnumKeyEx)},
    {"RegEnumValueA", reinterpret_cast<void**>(&g_enumValue), reinterpret_cast<void*>(&CountEnumValue)},
    {"RegCloseKey", reinterpret_cast<void**>(&g_closeKey), reinterpret_cast<void*>(&CountCloseKey)},
};

bool Patch(void** slot, void* value) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
  return true;
}

bool RedirectImports() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return false;
  bool found = false;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (!devlore::SameText(reinterpret_cast<const char*>(base + d->Name), "advapi32.dll", true)) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = reinterpret_cast<const char*>(
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      if (name[0] != 'R' || name[1] != 'e' || name[2] != 'g') continue;
      bool known = false;
      for (const Redirect& r : kRedirects) {
        if (!devlore::SameText(name, r.name)) continue;
        void** slot = reinterpret_cast<void**>(&slots->u1.Function);
        *r.original = *slot;
        if (!Patch(slot, r.wrapper)) return false;
        known = found = true;
      }
      if (!known) g_counts.uncounted += std::string(g_counts.uncounted.empty() ? "" : " ") + name;
    }
  }
  return found;
}

}  // namespace

bool StartRegistryCount() {
  static const std::string* uncounted = nullptr;
  static bool redirected = false;
  if (!uncounted) {
    redirected = RedirectImports();
    uncounted = new std::string(g_counts.uncounted);
  }
  g_counts = RegistryCounts{};
  g_counts.uncounted = *uncounted;
  g_counting = redirected;
  return redirected;
}

RegistryCounts StopRegistryCount() {
  g_counting = false;
  return g_counts;
}

}  // namespace bench

#include "devices/hardware_keys.h"

#include <windows.h>

#include <new>

#include "base/handles.h"
#include "model/same_text.h"
#include "model/text.h"

namespace devlore {
namespace {

HardwareKeyList g_keys = {nullptr, 0, 0};

constexpr uint32_t kSpareEntries = 16;
const char kDynamicEnumPath[] = "Config Manager\\Enum";
const char kEnumPrefix[] = "Enum\\";

uint32_t CountSubkeys(HKEY key) {
  char name[kLineSize];
  uint32_t count = 0;
  while (RegEnumKeyA(key, count, name, kLineSize) == ERROR_SUCCESS) ++count;
  return count;
}

// Reads the "HardWareKey" of one dynamic node and appends it. Returns 0 only
// when the walk must stop (the node could not be opened, or no memory).
int AddNodeKey(HKEY dynamicEnum, const char* nodeName) {
  UniqueRegistryKey node;
  if (RegOpenKeyExA(dynamicEnum, nodeName, 0, KEY_READ, node.Receive()) != ERROR_SUCCESS) return 0;

  char value[kLineSize];
  DWORD size = kLineSize;
  DWORD type = REG_SZ;
  if (RegQueryValueExA(node.Get(), "HardWareKey", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    return 1;  // no value, or too long for 260 bytes: skipped
  // A value that fills the buffer without a terminator cannot be used as a key name.
  if (size >= kLineSize && value[kLineSize - 1] != '\0') return 1;
  value[size < kLineSize ? size : kLineSize - 1] = '\0';

  char* entry = new (std::nothrow) char[kLineSize]();
  if (!entry) return 0;
  CopyText(entry, kLineSize, value);
  g_keys.entries[g_keys.count++] = entry;
  return 1;
}

// The procedure shared by the three searches.
int FindKey(const char* valueName, const char* firstText, const char* secondText, const char* prefix,
            char* path) {
  UniqueRegistryKey enumKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_READ, enumKey.Receive()) != ERROR_SUCCESS) return 0;

  int result = 1;
  for (uint32_t i = 0; i < g_keys.count; ++i) {
    const char* entry = g_keys.entries[i];
    char value[kLineSize];
    if (!ReadRegistryValue(enumKey.Get(), entry, valueName, value, kLineSize, REG_SZ)) {
      result = 0;
      continue;
    }
    if (!SameText(value, firstText) && !SameText(value, secondText)) continue;
    // A key too long to be addressed with its prefix cannot be used; it counts
    // like an entry whose value could not be read.
    char candidate[kLineSize];
    if (!CopyText(candidate, kLineSize, prefix) || !AppendText(candidate, kLineSize, entry)) {
      result = 0;
      continue;
    }
    CopyText(path, kLineSize, candidate);
    result = 1;
    break;
  }
  return result;
}

}  // namespace

const HardwareKeyList& HardwareKeys() { return g_keys; }

bool EnumerateHardwareKeys() {
  ReleaseHardwareKeys();

  UniqueRegistryKey dynamicEnum;
  if (RegOpenKeyExA(HKEY_DYN_DATA, kDynamicEnumPath, 0, KEY_READ, dynamicEnum.Receive()) != ERROR_SUCCESS)
    return false;

  const uint32_t counted = CountSubkeys(dynamicEnum.Get());
  if (counted == 0) return false;
  g_keys.entries = new (std::nothrow) char*[counted + kSpareEntries]();
  if (!g_keys.entries) return false;
  g_keys.capacity = counted + kSpareEntries;

  char name[kLineSize];
  for (uint32_t index = 0; RegEnumKeyA(dynamicEnum.Get(), index, name, kLineSize) == ERROR_SUCCESS; ++index) {
    // Nodes that appeared since the count beyond the spare room are left out.
    if (g_keys.count == g_keys.capacity) break;
    if (!AddNodeKey(dynamicEnum.Get(), name)) return false;
  }
  return true;
}

void ReleaseHardwareKeys() {
  if (g_keys.entries) {
    for (uint32_t i = 0; i < g_keys.count; ++i) delete[] g_keys.entries[i];
    delete[] g_keys.entries;
  }
  g_keys.entries = nullptr;
  g_keys.count = 0;
  g_keys.capacity = 0;
}

bool FindSystemBoardKey(char* path) { return FindKey("DeviceDesc", "System Board", "System board", kEnumPrefix, path); }

bool FindMonitorKey(char* path) { return FindKey("Class", "MONITOR", "Monitor", kEnumPrefix, path); }

bool FindDisplayKey(char* path) { return FindKey("Class", "DISPLAY", "Display", "", path); }

}  // namespace devlore

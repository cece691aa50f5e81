#pragma once
// The search of the hardware registry: the present device nodes listed under
// HKEY_DYN_DATA "Config Manager\Enum" name their keys in the static tree under
// HKEY_LOCAL_MACHINE "Enum"; from those the system board, monitor and display
// adapter keys are found.
#include <stdint.h>

namespace devlore {

// The "HardWareKey" texts of the present device nodes, in enumeration order.
// Process-wide; lives only while the device list is being built.
struct HardwareKeyList {
  char** entries;     // each a 260-byte buffer
  uint32_t count;     // entries stored
  uint32_t capacity;  // room in the array: subkeys counted + 16
};

const HardwareKeyList& HardwareKeys();

// Fills the list from the dynamic device nodes. True on success.
bool EnumerateHardwareKeys();
// Releases every entry, then the array; the count returns to 0.
void ReleaseHardwareKeys();

// Each writes its key path into a 260-byte buffer on a match and returns true on
// success; the path stays untouched when nothing matches.
bool FindSystemBoardKey(char* path);  // "Enum\" + key, relative to HKEY_LOCAL_MACHINE
bool FindMonitorKey(char* path);      // "Enum\" + key, relative to HKEY_LOCAL_MACHINE
bool FindDisplayKey(char* path);      // the bare key, relative to HKEY_LOCAL_MACHINE "Enum"

}  // namespace devlore

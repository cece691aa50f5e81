#include "model/drive_strings.h"

namespace devlore {

uint32_t CountDriveStrings(const char* list, uint32_t length) {
  if (!list || list[0] == '\0') return 0;
  uint32_t count = 1;
  // The byte at `length` is the list's final NUL, so i + 1 stays inside it.
  for (uint32_t i = 0; i < length; ++i) {
    if (list[i] == '\0') {
      if (list[i + 1] == '\0') break;
      ++count;
    }
  }
  return count;
}

uint32_t GetDriveString(const char* list, uint32_t length, char* out, uint32_t outSize, uint32_t n) {
  if (!list || !out || length == 0) return 0;
  uint32_t start = 0;
  for (uint32_t entry = 0; entry < n; ++entry) {
    while (start < length && list[start] != '\0') ++start;
    ++start;  // past this entry's NUL
    if (start >= length || list[start] == '\0') return 0;
  }
  if (list[start] == '\0') return 0;
  uint32_t size = 0;
  while (start + size < length && list[start + size] != '\0') ++size;
  ++size;  // the terminator
  if (size > outSize) return 0;
  for (uint32_t i = 0; i + 1 < size; ++i) out[i] = list[start + i];
  out[size - 1] = '\0';
  return size;
}

}  // namespace devlore

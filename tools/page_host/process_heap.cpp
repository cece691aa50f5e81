#include "tools/page_host/process_heap.h"

#include <vector>

namespace devlore::page_host {

bool HeapBytesInUse(unsigned long long& bytes) {
  bytes = 0;
  std::vector<HANDLE> heaps(64);
  DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) {
    heaps.resize(count + 16);
    count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  }
  if (count == 0 || count > heaps.size()) return false;
  // The list itself lives in a heap: its block is counted alike in every call.
  for (DWORD i = 0; i < count; ++i) {
    if (!HeapLock(heaps[i])) return false;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    const bool complete = GetLastError() == ERROR_NO_MORE_ITEMS;
    HeapUnlock(heaps[i]);
    if (!complete) return false;
  }
  return true;
}

}  // namespace devlore::page_host

#pragma once
// Counts of the busy blocks of a heap, taken under its lock.
#include <windows.h>

#include <ostream>

namespace devlore::test {

// The busy blocks of a heap and their bytes.
struct HeapCensus {
  size_t blocks = 0;
  size_t bytes = 0;
  bool operator==(const HeapCensus& other) const { return blocks == other.blocks && bytes == other.bytes; }
};

inline HeapCensus TakeCensus(HANDLE heap) {
  HeapCensus census;
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry)) {
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
      ++census.blocks;
      census.bytes += entry.cbData;
    }
  }
  HeapUnlock(heap);
  return census;
}

inline std::ostream& operator<<(std::ostream& out, const HeapCensus& census) {
  return out << census.blocks << " blocks, " << census.bytes << " bytes";
}

}  // namespace devlore::test

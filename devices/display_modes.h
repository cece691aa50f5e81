#pragma once
// The display driver's list of modes as the adapter reads it from the driver's
// "MODES" key: one row per colour-depth subkey, each naming the resolutions
// listed below it, and the procedures that reduce the rows to the distinct
// resolutions in ascending order. No registry access here: the adapter fills the
// table, these routines only work on it.
#include <stdint.h>

#include "model/text.h"

namespace devlore {

constexpr uint32_t kMaxModeRows = 32;
constexpr uint32_t kMaxResolutionsPerRow = 32;

// One colour-depth subkey of "MODES".
struct ModeEntry {
  uint32_t depth;            // the subkey name read as a decimal number
  uint32_t resolutionCount;  // resolution subkeys stored below it
  char* resolutions[kMaxResolutionsPerRow];  // 260-byte names, owned by the row
};

// Working record of the distinct-resolution procedures: a name stored in a row
// of the table, which stays unchanged while the record is in use.
struct ListedResolution {
  const char* name;
  int32_t resolutionSortKey;
};

// The table is an array of kMaxModeRows rows of which `count` are in use, in
// registry enumeration order.

// Releases the names of the rows in use; count becomes 0.
void ClearModeTable(ModeEntry* rows, uint32_t& count);

// Takes the next row for the depth subkey name. Returns the row, or null when
// all rows are in use (further depths are not listed).
ModeEntry* AddModeRow(ModeEntry* rows, uint32_t& count, const char* depthName);

// Stores a copy of a resolution name in the row. False when the row is full
// or no memory was left; the name is then not listed.
bool AddResolution(ModeEntry& row, const char* name);

// Leading blanks skipped, then the digits up to the first non-digit; 0 without
// digits. A number beyond 32 bits gives the largest unsigned value.
uint32_t ParseDepth(const char* name);

// The decimal value of the name with its first comma removed: "800,600" gives
// 800600. Digits are read up to the first other character, so a name without a
// comma is keyed by its leading digits ("1024x768" gives 1024) and a name
// without leading digits by 0. Values beyond the signed 32-bit range give its
// largest value, which keeps every key below the duplicate mark.
int32_t ResolutionSortKey(const char* name);

// Number of distinct listed resolutions over all rows in use.
uint32_t CountDistinctResolutions(const ModeEntry* rows, uint32_t count);

// Copies the distinct names, in ascending key order, into the caller's 260-byte
// buffers (at most capacity of them). Returns the number written.
uint32_t ListDistinctResolutions(const ModeEntry* rows, uint32_t count, char* const* names,
                                 uint32_t capacity);

// The largest depth of the rows that list this exact name; 0 if none does.
uint32_t LargestListedDepth(const ModeEntry* rows, uint32_t count, const char* name);

// Turns the first comma of the text into the letter x.
void CommaToX(char* text);

}  // namespace devlore

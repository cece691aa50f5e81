#pragma once
// Reading the platform's drive string list: entries such as C:\ each ended by
// a NUL, the whole list ended by a second NUL.
#include <stdint.h>

namespace devlore {

// Number of entries in the list (length as GetLogicalDriveStringsA returned it).
// 0 for a null or empty list.
uint32_t CountDriveStrings(const char* list, uint32_t length);

// Copies entry n (from 0), with its NUL, into out and returns the bytes copied.
// Returns 0 (and copies nothing) for a null list or out, a zero length, a
// missing entry, or an entry that does not fit out with its terminator.
uint32_t GetDriveString(const char* list, uint32_t length, char* out, uint32_t outSize, uint32_t n);

}  // namespace devlore

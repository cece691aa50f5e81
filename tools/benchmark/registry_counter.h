#pragma once
// Counts the registry calls the report makes, at this program's own import
// table: the library's objects are linked into this program, so every registry
// call of theirs goes through its ADVAPI32 entries (calls Wine's DLLs make
// inside, e.g. from COM, are not the library's and are not counted).
#include <string>

namespace bench {

struct RegistryCounts {
  int total = 0;
  int open = 0, query = 0, enumerate = 0, close = 0, other = 0;
  std::string uncounted;  // ADVAPI32 Reg* imports this program has no counter for
};

// Redirects the counted imports to counting wrappers (once) and starts from 0.
// Returns false when the import table could not be found or changed.
bool StartRegistryCount();
// The counts since StartRegistryCount; counting stops.
RegistryCounts StopRegistryCount();

}  // namespace bench

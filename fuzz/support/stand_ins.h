#pragma once
// What the fuzz targets ask of the stand-ins beside the platform calls.
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

namespace standin {
long OpenKeyCount();
void ResetRegistry();
bool KeyExists(HKEY root, const char* path);
// Every key and value of every root, one per line in key order; the same text
// for the same registry.
std::string Snapshot();
// Every key below a root, as its root and the names on its path.
std::vector<std::pair<HKEY, std::vector<std::string>>> Keys();
// No root holds a key or a value.
bool Empty();
long LiveTaskBlocks();
long LiveBstrs();
// References LoadLibraryA holds on the module "LOADABLE".
long LoadableReferences();
// The procedure a forwarder to module names (by name, or by ordinal when name
// is null); null when the module does not export it.
FARPROC ForwardedProcedure(const char* module, const char* name, unsigned ordinal);
}  // namespace standin

// Reports a broken invariant the way libFuzzer reports a crash.
#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      abort();                                                                             \
    }                                                                                      \
  } while (0)

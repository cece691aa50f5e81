#include "control/lent_type_name.h"

#include <string.h>

namespace devlore {
namespace {

// One slot per distinct type text, each made once per process: at most the 26
// drives ("Drive A:" to "Drive Z:") and the five other kinds. They are kept on
// purpose, a bounded set and not a leak: freeing one would let a page make its
// browser read freed memory. Filled without a lock on the callers' thread, as
// the device list itself is.
BSTR g_slots[26 + 5];

}  // namespace

BSTR* LendTypeName(BSTR typeName) {
  const UINT length = SysStringLen(typeName);
  for (BSTR& slot : g_slots) {
    if (!slot) {
      slot = SysAllocStringLen(typeName, length);
      return slot ? &slot : nullptr;
    }
    if (SysStringLen(slot) == length && memcmp(slot, typeName, length * sizeof(OLECHAR)) == 0) return &slot;
  }
  return nullptr;
}

}  // namespace devlore

#include "model/same_text.h"

namespace devlore {

bool SameText(const char* a, const char* b, bool foldAsciiCase) {
  if (!a || !b) return false;
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (foldAsciiCase) {
      if (x - 'A' < 26u) x |= 0x20;
      if (y - 'A' < 26u) y |= 0x20;
    }
    if (x != y) return false;
    if (x == 0) return true;
  }
}

}  // namespace devlore

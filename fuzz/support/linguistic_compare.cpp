// lstrcmpA/lstrcmpiA as Wine compares them: linguistically, so that the soft
// hyphen (0xAD) counts as absent. Kept in this one file so that it can go once
// the library compares names by their bytes everywhere. Ordering beyond
// equality follows the bytes (ASCII case folded for the "i" form).
#include <windows.h>

namespace {
int Compare(const char* a, const char* b, bool fold) {
  for (;;) {
    while (static_cast<unsigned char>(*a) == 0xAD) ++a;
    while (static_cast<unsigned char>(*b) == 0xAD) ++b;
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (fold && x >= 'a' && x <= 'z') x -= 32;
    if (fold && y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
    ++a;
    ++b;
  }
}
}  // namespace

extern "C" int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) { return Compare(a, b, false); }
extern "C" int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) { return Compare(a, b, true); }

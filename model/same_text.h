#pragma once
// Equality of names that must be identical. lstrcmpA and lstrcmpiA compare
// linguistically: they skip characters they take for ignorable (the soft hyphen
// 0xAD under Wine, more on Windows), so "MONI\xADTOR" would pass for "MONITOR".
// These compare bytes and call no platform function.

namespace devlore {

// True when both texts hold the same bytes. With foldAsciiCase, the letters
// A-Z equal a-z and nothing else is folded: the registry of both platforms
// folds ASCII case, and what else it folds differs (NT upcases Unicode, the
// Windows 9x registry its own ANSI table), so only ASCII is folded everywhere.
// A null text equals nothing.
[[nodiscard]] bool SameText(const char* a, const char* b, bool foldAsciiCase = false);

}  // namespace devlore

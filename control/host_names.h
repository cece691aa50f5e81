#pragma once
// The text side of the hosting page check: a pattern found by whole characters,
// a backslash inside an address's authority, and the allowed-domain rule on a
// host name. Nothing here touches COM or the URL parser; characters are
// stepped through with CharNextA, so double-byte text is walked correctly.
#include <windows.h>

namespace devlore {

// Multibyte-aware search (character steps by CharNextA) for pattern in text;
// the first match, or null.
const char* FindText(const char* text, const char* pattern);

// A backslash before the end of the host: the URL parser takes "evil.com\@"
// for user information and gives the host after it, while a browser ends the
// host at the backslash. The authority runs from the "//" to the next "/".
[[nodiscard]] bool BackslashInAuthority(const char* url);

// The last two dot-separated labels of host equal an allowed domain exactly.
[[nodiscard]] bool IsAllowedDomain(const char* host);

}  // namespace devlore

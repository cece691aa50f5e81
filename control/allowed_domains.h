#pragma once
// The two domains whose pages may read the hardware summary. The names are not
// kept as text in the library's data: each one is spelled out, byte by byte,
// into a small scratch buffer right before it is compared and wiped right after.
#include "model/same_text.h"

namespace devlore {

// Room for the longer name (10 characters) and its terminator, zero-padded.
constexpr int kAllowedDomainBufferSize = 12;

// True when domain (a name.tld part of a host name, ANSI) equals one of the
// allowed domains exactly (case-sensitive). The comparison runs in a local
// buffer that is cleared after each comparison, whatever its result.
[[nodiscard]] bool MatchesAllowedDomain(const char* domain);

// The same comparison with a caller-provided scratch buffer of
// kAllowedDomainBufferSize bytes, so that its clearing can be observed.
[[nodiscard]] bool MatchesAllowedDomainIn(const char* domain, volatile char* scratch);

}  // namespace devlore

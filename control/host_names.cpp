#include "control/host_names.h"

#include <windows.h>

#include "control/allowed_domains.h"

namespace devlore {

const char* FindText(const char* text, const char* pattern) {
  if (!text || !pattern || !*pattern) return nullptr;
  for (const char* start = text; *start; start = CharNextA(start)) {
    int i = 0;
    while (pattern[i] && start[i] == pattern[i]) ++i;
    if (!pattern[i]) return start;
  }
  return nullptr;
}

bool BackslashInAuthority(const char* url) {
  const char* p = FindText(url, "//");
  if (!p) return false;
  for (p += 2; *p && *p != '/'; ++p) {
    if (*p == '\\') return true;
  }
  return false;
}

bool IsAllowedDomain(const char* host) {
  if (!host) return false;
  const char* lastDot = nullptr;
  const char* previousDot = nullptr;
  for (const char* p = host; *p; p = CharNextA(p)) {
    if (*p == '.') {
      previousDot = lastDot;
      lastDot = p;
    }
  }
  if (!lastDot) return false;
  const char* domain = previousDot ? previousDot + 1 : host;
  return MatchesAllowedDomain(domain);
}

}  // namespace devlore

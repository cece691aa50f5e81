// The text side of the hosting page check against a plain reference of the
// rule: a host is allowed when its last two dot-separated labels are exactly
// "devlore.io" or "meadow.io"; an address is refused when a backslash lies
// between its "//" and the next "/"; a pattern is found where it first occurs.
// The domain comparison leaves its scratch buffer wiped.
// Input: a host or address, then optionally "\n" and a pattern.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control/allowed_domains.h"
#include "control/host_names.h"
#include "support/stand_ins.h"

namespace {

bool AllowedReference(const std::string& host) {
  const size_t last = host.rfind('.');
  if (last == std::string::npos) return false;
  const size_t previous = last == 0 ? std::string::npos : host.rfind('.', last - 1);
  const std::string domain = previous == std::string::npos ? host : host.substr(previous + 1);
  return domain == "devlore.io" || domain == "meadow.io";
}

bool BackslashReference(const std::string& url) {
  const size_t start = url.find("//");
  if (start == std::string::npos) return false;
  const size_t end = url.find('/', start + 2);
  return url.substr(start + 2, end == std::string::npos ? std::string::npos : end - start - 2).find('\\') !=
         std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text, pattern;
  bool inPattern = false;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) continue;  // the library sees zero-terminated texts
    if (data[i] == '\n' && !inPattern) {
      inPattern = true;
      continue;
    }
    (inPattern ? pattern : text) += static_cast<char>(data[i]);
  }

  FUZZ_CHECK(devlore::IsAllowedDomain(text.c_str()) == AllowedReference(text));
  FUZZ_CHECK(devlore::BackslashInAuthority(text.c_str()) == BackslashReference(text));

  volatile char scratch[devlore::kAllowedDomainBufferSize];
  memset(const_cast<char*>(scratch), 0x5A, sizeof scratch);
  FUZZ_CHECK(devlore::MatchesAllowedDomainIn(text.c_str(), scratch) == (text == "devlore.io" || text == "meadow.io"));
  for (size_t i = 0; i < sizeof scratch; ++i) FUZZ_CHECK(scratch[i] == 0);

  const char* found = devlore::FindText(text.c_str(), pattern.c_str());
  const size_t at = pattern.empty() ? std::string::npos : text.find(pattern);
  FUZZ_CHECK(found == (at == std::string::npos ? nullptr : text.c_str() + at));
  return 0;
}

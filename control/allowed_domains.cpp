#include "control/allowed_domains.h"

#include <windows.h>

namespace devlore {
namespace {

// Every store goes through a volatile pointer: the compiler may neither merge
// the single-byte stores into wide immediates (which would put the names back
// into the code as readable runs) nor drop the wiping stores after the last use.
void Wipe(volatile char* buffer) {
  for (int i = 0; i < kAllowedDomainBufferSize; ++i) buffer[i] = 0;
}

// "devlore.io": 10 characters.
void SpellFirst(volatile char* b) {
  b[0] = 'd';
  b[1] = 'e';
  b[2] = 'v';
  b[3] = 'l';
  b[4] = 'o';
  b[5] = 'r';
  b[6] = 'e';
  b[7] = '.';
  b[8] = 'i';
  b[9] = 'o';
}

// "meadow.io": 9 characters.
void SpellSecond(volatile char* b) {
  b[0] = 'm';
  b[1] = 'e';
  b[2] = 'a';
  b[3] = 'd';
  b[4] = 'o';
  b[5] = 'w';
  b[6] = '.';
  b[7] = 'i';
  b[8] = 'o';
}

bool CompareOne(const char* domain, volatile char* scratch, void (*spell)(volatile char*)) {
  Wipe(scratch);
  spell(scratch);
  // The buffer is zero-padded, so the name is terminated within its 12 bytes.
  const bool equal = SameText(domain, const_cast<const char*>(scratch));
  Wipe(scratch);
  return equal;
}

}  // namespace

bool MatchesAllowedDomainIn(const char* domain, volatile char* scratch) {
  if (!domain || !scratch) return false;
  if (CompareOne(domain, scratch, SpellFirst)) return true;
  return CompareOne(domain, scratch, SpellSecond);
}

bool MatchesAllowedDomain(const char* domain) {
  volatile char scratch[kAllowedDomainBufferSize];
  return MatchesAllowedDomainIn(domain, scratch);
}

}  // namespace devlore

#pragma once
// A long, plain measurement of the time-stamp counter's rate against the
// platform's high-resolution counter, used as the yardstick for PROCID's short
// one. Both ends are taken as the tightest of many (time-stamp, counter,
// time-stamp) brackets; the interval is waited out with Sleep, which does not
// matter for the result because only the two ends are read. Not for the driver:
// it takes as long as it is asked to.
#include <windows.h>
#include <stdint.h>

namespace devlore::reference {

inline uint64_t ReadTimeStampCounter() {
  uint32_t low, high;
  __asm__ __volatile__("rdtsc" : "=a"(low), "=d"(high));
  return (static_cast<uint64_t>(high) << 32) | low;
}

struct Bracket {
  double stamp;
  int64_t counter;
};

inline Bracket TightestBracket(int tries) {
  Bracket best = {0, 0};
  uint64_t bestSpread = ~0ull;
  for (int i = 0; i < tries; ++i) {
    LARGE_INTEGER counter;
    const uint64_t before = ReadTimeStampCounter();
    QueryPerformanceCounter(&counter);
    const uint64_t after = ReadTimeStampCounter();
    if (after - before < bestSpread) {
      bestSpread = after - before;
      best.stamp = static_cast<double>(before) + static_cast<double>(after - before) / 2;
      best.counter = counter.QuadPart;
    }
  }
  return best;
}

// The time-stamp counter's rate in MHz over about `milliseconds`; 0 if the
// platform has no high-resolution counter.
inline double MeasureTscMegahertz(DWORD milliseconds) {
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return 0;
  const Bracket start = TightestBracket(200);
  Sleep(milliseconds);
  const Bracket end = TightestBracket(200);
  if (end.counter <= start.counter) return 0;
  const double seconds = static_cast<double>(end.counter - start.counter) / static_cast<double>(frequency.QuadPart);
  return (end.stamp - start.stamp) / seconds / 1e6;
}

}  // namespace devlore::reference

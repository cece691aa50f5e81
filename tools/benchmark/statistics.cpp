#include "tools/benchmark/statistics.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace bench {
namespace {

double NearestRank(const std::vector<double>& sorted, double fraction) {
  const size_t n = sorted.size();
  size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(n)));
  if (rank < 1) rank = 1;
  if (rank > n) rank = n;
  return sorted[rank - 1];
}

}  // namespace

Summary Summarize(std::vector<double> samples) {
  Summary s;
  s.count = samples.size();
  if (samples.empty()) return s;
  std::sort(samples.begin(), samples.end());
  const size_t n = samples.size();
  s.minimum = samples.front();
  s.maximum = samples.back();
  s.median = (n % 2) ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  s.p10 = NearestRank(samples, 0.10);
  s.p90 = NearestRank(samples, 0.90);
  s.p99 = NearestRank(samples, 0.99);
  s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(n);
  return s;
}

Stopwatch::Stopwatch() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ticksPerMs_ = static_cast<double>(frequency.QuadPart) / 1000.0;
}

void Stopwatch::Start() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  start_ = now.QuadPart;
}

double Stopwatch::ElapsedMs() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start_) / ticksPerMs_;
}

}  // namespace bench

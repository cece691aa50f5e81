#pragma once
// Order statistics of a set of timings, in milliseconds.
#include <string>
#include <vector>

namespace bench {

struct Summary {
  size_t count = 0;
  double minimum = 0, p10 = 0, median = 0, p90 = 0, p99 = 0, maximum = 0, mean = 0;
};

// Percentiles by nearest rank on the sorted samples; the median of an even
// count is the mean of the two middle samples. An empty set gives all zeros.
Summary Summarize(std::vector<double> samples);

// A high-resolution stopwatch over QueryPerformanceCounter.
class Stopwatch {
 public:
  Stopwatch();
  void Start();
  // Milliseconds since Start.
  double ElapsedMs() const;

 private:
  long long start_ = 0;
  double ticksPerMs_ = 0;
};

}  // namespace bench

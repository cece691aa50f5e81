#pragma once
// Processor time spent by this process and by the Wine processes that serve it
// (the Wine server, the device host with the mount manager, the services). On
// a busy shared machine the wall-clock time of a run is mostly waiting for a
// processor; the processor time consumed is a steadier measure of cost.
// Linux accounts processor time in clock ticks (10 ms), so only sums over many
// runs are meaningful; the benchmark reports the mean per run.
#include <string>
#include <vector>

namespace bench {

class CpuMeter {
 public:
  // pids: the Unix process ids of the Wine processes to include, read through
  // "Z:\proc\<pid>\stat" (Z: is the root of the Unix file system in Wine).
  explicit CpuMeter(const std::vector<unsigned>& pids);

  struct Reading {
    double ownMs = 0;
    double wineMs = 0;
  };
  Reading Read() const;
  // How many of the given processes could be read.
  int ReadableProcesses() const;

 private:
  std::vector<std::string> statPaths_;
};

}  // namespace bench

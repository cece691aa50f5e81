#include "tools/benchmark/cpu_meter.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

// Linux reports utime and stime in USER_HZ ticks, which is 100 on x86.
constexpr double kMsPerTick = 10.0;

// utime + stime (fields 14 and 15 of /proc/PID/stat) in ms; -1 if unreadable.
double ReadStat(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  char text[1024] = {};
  DWORD read = 0;
  const BOOL ok = ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  if (!ok || read == 0) return -1;
  text[read] = '\0';
  // The command name (field 2) is in parentheses and may hold blanks.
  const char* p = std::strrchr(text, ')');
  if (!p) return -1;
  ++p;
  // Fields from 3 on; utime is field 14, stime field 15.
  unsigned long long values[13] = {};
  for (int field = 3; field <= 15; ++field) {
    while (*p == ' ') ++p;
    if (!*p) return -1;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(p, &end, 10);
    if (field >= 14) values[field - 3] = value;
    while (*p && *p != ' ') ++p;
  }
  return static_cast<double>(values[11] + values[12]) * kMsPerTick;
}

}  // namespace

CpuMeter::CpuMeter(const std::vector<unsigned>& pids) {
  // Wine's own name space for Unix paths: the benchmark's prefix, like the main
  // job's, has no drive for the host's file system.
  for (unsigned pid : pids) statPaths_.push_back("\\\\?\\unix\\proc\\" + std::to_string(pid) + "\\stat");
}

CpuMeter::Reading CpuMeter::Read() const {
  Reading reading;
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    const auto ms = [](const FILETIME& t) {
      return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    reading.ownMs = ms(kernel) + ms(user);
  }
  for (const std::string& path : statPaths_) {
    const double ms = ReadStat(path);
    if (ms > 0) reading.wineMs += ms;
  }
  return reading;
}

int CpuMeter::ReadableProcesses() const {
  int count = 0;
  for (const std::string& path : statPaths_)
    if (ReadStat(path) >= 0) ++count;
  return count;
}

}  // namespace bench

// Measures how well PROCID's clock request does: it sends the request many times
// straight to the driver module's "DeviceIoControl" export and compares every
// answer with a long reference measurement taken before and after the run.
// Usage: procid_bench [PATH\PROCID.VXD] [REQUESTS] [REFERENCE_MS]
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "drivers/common/tsc_reference.h"

namespace {

typedef BOOL(WINAPI* DriverEntry)(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "PROCID.VXD";
  const int requests = argc > 2 ? std::atoi(argv[2]) : 200;
  const int referenceMs = argc > 3 ? std::atoi(argv[3]) : 2000;
  if (requests <= 0 || referenceMs <= 0) {
    std::fprintf(stderr, "usage: procid_bench [PROCID.VXD] [requests > 0] [reference ms > 0]\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(path);
  if (!module) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", path, GetLastError());
    return 1;
  }
  DriverEntry entry = reinterpret_cast<DriverEntry>(GetProcAddress(module, "DeviceIoControl"));
  if (!entry) {
    std::fprintf(stderr, "%s exports no DeviceIoControl\n", path);
    FreeLibrary(module);
    return 1;
  }

  const double before = devlore::reference::MeasureTscMegahertz(static_cast<DWORD>(referenceMs));
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  double sumError = 0, maxError = 0, slowest = 0;
  int failures = 0;
  DWORD minimum = 0xFFFFFFFFu, maximum = 0;
  double totalSeconds = 0;
  DWORD* answers = new DWORD[requests];
  double* costs = new double[requests];
  for (int i = 0; i < requests; ++i) {
    DWORD megahertz = 0, returned = 0;
    QueryPerformanceCounter(&start);
    const BOOL ok = entry(1, nullptr, 0, &megahertz, sizeof(megahertz), &returned, nullptr);
    QueryPerformanceCounter(&end);
    const double seconds = Seconds(start, end, frequency);
    totalSeconds += seconds;
    costs[i] = seconds;
    if (seconds > slowest) slowest = seconds;
    if (!ok) {
      ++failures;
      answers[i] = 0;
      continue;
    }
    answers[i] = megahertz;
    if (megahertz < minimum) minimum = megahertz;
    if (megahertz > maximum) maximum = megahertz;
  }
  const double after = devlore::reference::MeasureTscMegahertz(static_cast<DWORD>(referenceMs));
  const double reference = (before + after) / 2;
  int answered = 0;
  for (int i = 0; i < requests; ++i) {
    if (!answers[i]) continue;
    const double error = std::fabs(answers[i] - reference);
    sumError += error;
    if (error > maxError) maxError = error;
    ++answered;
  }
  delete[] answers;
  FreeLibrary(module);

  std::printf("reference: %.3f MHz (before %.3f, after %.3f, %d ms each)\n", reference, before, after, referenceMs);
  std::printf("requests: %d, failed: %d\n", requests, failures);
  if (answered) {
    std::printf("answers: %lu .. %lu MHz\n", minimum, maximum);
    std::printf("error: mean %.3f MHz, max %.3f MHz\n", sumError / answered, maxError);
  }
  // On a shared machine preemption stretches single requests: the median and
  // the tenth percentile show what the measurement itself costs.
  std::sort(costs, costs + requests);
  std::printf("cost: median %.3f ms (p10 %.3f, p90 %.3f), mean %.3f ms, max %.3f ms per request\n",
              costs[requests / 2] * 1000, costs[requests / 10] * 1000, costs[requests * 9 / 10] * 1000,
              totalSeconds * 1000 / requests, slowest * 1000);
  delete[] costs;
  return failures || maxError > 1.0 ? 1 : 0;
}

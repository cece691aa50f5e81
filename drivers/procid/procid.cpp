// PROCID: the processor probe driver. It answers one control request:
//
//   code 1  input: none (ignored)   output: 4 bytes, the processor clock in MHz,
//                                           unsigned 32-bit, little-endian
//
// The clock is measured, not looked up: the processor's time-stamp counter is
// read at the start and at the end of a short interval that the platform's
// high-resolution counter times, and the counter's advance per microsecond is
// the clock rate. Each end of the interval is taken as the counter value in the
// middle of the tightest of a few (time-stamp, performance counter, time-stamp)
// brackets, so a preemption between the two reads cannot skew the result.
// One request costs kWindowMicroseconds of busy waiting (1 ms) plus the two
// sets of brackets.
//
// A processor without a time-stamp counter (the 80486 and earlier) or a machine
// without a high-resolution counter cannot be measured: the request then fails
// with ERROR_NOT_SUPPORTED. Any other control code fails with
// ERROR_INVALID_FUNCTION; an output buffer shorter than 4 bytes (or none) with
// ERROR_INSUFFICIENT_BUFFER, and the buffer is left as it was.
#include <windows.h>
#include <cpuid.h>
#include <stdint.h>

#include "drivers/common/driver_api.h"

namespace {

constexpr DWORD kClockRequest = 1;
// Length of the timed interval. Each end is a counter reading, so the span is
// known to within one counter tick plus half of each bracket's width. On the
// 1.193 MHz timer of Windows 9x a tick is 0.84 us, 840 parts per million of
// 1 ms: with the rounding to whole MHz the answer stays within 1 MHz up to
// about 600 MHz (drivers/README.md). Wine's 10 MHz counter: 100 per million.
constexpr uint32_t kWindowMicroseconds = 1000;
// Brackets taken for each end of the interval; the tightest one is used.
constexpr int kBracketTries = 5;

uint64_t ReadTimeStampCounter() {
  uint32_t low, high;
  __asm__ __volatile__("rdtsc" : "=a"(low), "=d"(high));
  return (static_cast<uint64_t>(high) << 32) | low;
}

// CPUID leaf 1, bit 4 of the standard feature flags. __get_cpuid tests for the
// instruction itself (the ID bit of the flags register) before using it.
bool HasTimeStampCounter() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (edx & (1u << 4)) != 0;
}

struct ClockSample {
  uint64_t stamp;    // time-stamp counter in the middle of the bracket
  int64_t counter;   // performance counter read inside the bracket
  uint64_t spread;   // width of the bracket in time-stamp ticks
};

bool TakeSample(ClockSample* sample) {
  bool taken = false;
  for (int i = 0; i < kBracketTries; ++i) {
    LARGE_INTEGER counter;
    const uint64_t before = ReadTimeStampCounter();
    if (!QueryPerformanceCounter(&counter)) return false;
    const uint64_t after = ReadTimeStampCounter();
    const uint64_t spread = after - before;
    if (!taken || spread < sample->spread) {
      sample->stamp = before + spread / 2;
      sample->counter = counter.QuadPart;
      sample->spread = spread;
      taken = true;
    }
  }
  return taken;
}

// Rounds ticks * frequency / counts / 1e6 to the nearest whole number without
// overflowing 64 bits: the quotient and remainder by the counter span are
// scaled separately, and rates whose MHz would not fit 32 bits are refused
// before anything is added.
bool ComputeMegahertz(uint64_t ticks, uint64_t counts, uint64_t frequency, uint32_t* megahertz) {
  constexpr uint64_t kMaxHertz = 0xFFFFFFFFull * 1000000;
  if (counts == 0 || frequency == 0) return false;
  if (counts > UINT64_MAX / frequency) return false;
  const uint64_t whole = ticks / counts;
  const uint64_t rest = ticks % counts;
  if (whole > kMaxHertz / frequency) return false;
  // whole * frequency <= kMaxHertz and the remainder term is below frequency.
  const uint64_t hertz = whole * frequency + (rest * frequency + counts / 2) / counts;
  const uint64_t rounded = (hertz + 500000) / 1000000;
  if (rounded == 0 || rounded > 0xFFFFFFFFu) return false;
  *megahertz = static_cast<uint32_t>(rounded);
  return true;
}

DWORD MeasureClock(uint32_t* megahertz) {
  if (!HasTimeStampCounter()) return ERROR_NOT_SUPPORTED;
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return ERROR_NOT_SUPPORTED;
  const uint64_t window = static_cast<uint64_t>(frequency.QuadPart) * kWindowMicroseconds / 1000000;
  if (window == 0) return ERROR_NOT_SUPPORTED;

  ClockSample start, end;
  if (!TakeSample(&start)) return ERROR_NOT_SUPPORTED;
  // Busy wait: a sleep could last a whole 55 ms timer tick on Windows 9x.
  LARGE_INTEGER now;
  do {
    if (!QueryPerformanceCounter(&now)) return ERROR_NOT_SUPPORTED;
  } while (now.QuadPart >= start.counter &&
           static_cast<uint64_t>(now.QuadPart - start.counter) < window);
  if (!TakeSample(&end)) return ERROR_NOT_SUPPORTED;
  if (end.counter <= start.counter || end.stamp <= start.stamp) return ERROR_GEN_FAILURE;

  if (!ComputeMegahertz(end.stamp - start.stamp, static_cast<uint64_t>(end.counter - start.counter),
                        static_cast<uint64_t>(frequency.QuadPart), megahertz)) {
    return ERROR_GEN_FAILURE;
  }
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI ProbeDeviceIoControl(DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                            DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  if (code != kClockRequest) return FailRequest(ERROR_INVALID_FUNCTION, returned);
  if (!output || outputSize < sizeof(DWORD)) return FailRequest(ERROR_INSUFFICIENT_BUFFER, returned);
  uint32_t megahertz = 0;
  const DWORD error = MeasureClock(&megahertz);
  if (error != ERROR_SUCCESS) return FailRequest(error, returned);
  *static_cast<DWORD*>(output) = megahertz;
  if (returned) *returned = sizeof(DWORD);
  return TRUE;
}

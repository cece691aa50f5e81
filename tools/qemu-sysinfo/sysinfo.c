// sysinfo() for 32-bit programs under qemu's i386 user-mode emulator on a
// 64-bit host, preloaded into 32-bit Wine (tools/wine-env.sh).
//
// The emulator answers a 32-bit guest's sysinfo with the host's byte counts
// copied into the guest's 32-bit fields and a unit of 1 byte, so on a host with
// more than 4 GB every memory figure is the true one modulo 2^32. Wine takes
// its physical total from sysinfo and its free figures from /proc/meminfo,
// which the guest reads unchanged: the two disagree. This sysinfo keeps the
// system call's uptime, loads and process count and fills the memory figures
// from /proc/meminfo in kilobytes (a larger unit where even that does not fit),
// as the kernel itself does for a 32-bit caller.
//
// No C library: raw system calls only, so the object depends on nothing and
// is built by the host's compiler without 32-bit development files.

typedef unsigned int u32;
typedef unsigned long long u64;

// The kernel's struct sysinfo for i386 (64 bytes).
struct guest_sysinfo {
  int uptime;
  u32 loads[3];
  u32 totalram, freeram, sharedram, bufferram, totalswap, freeswap;
  unsigned short procs, pad;
  u32 totalhigh, freehigh;
  u32 mem_unit;
  char reserved[8];
};
_Static_assert(sizeof(struct guest_sysinfo) == 64, "i386 struct sysinfo");

enum { kSysRead = 3, kSysOpen = 5, kSysClose = 6, kSysSysinfo = 116 };
enum { kOpenReadOnlyCloseOnExec = 0x80000 };

static long syscall3(long number, long a, long b, long c) {
  long result;
  __asm__ volatile("int $0x80" : "=a"(result) : "0"(number), "b"(a), "c"(b), "d"(c) : "memory");
  return result;
}

// /proc/meminfo's figures that struct sysinfo carries, in kilobytes, in the
// order of the fields they fill.
enum { kTotal, kFree, kShared, kBuffers, kSwapTotal, kSwapFree, kHighTotal, kHighFree, kFigures };
static const char* const kKeys[kFigures] = {"MemTotal",  "MemFree",  "Shmem",     "Buffers",
                                            "SwapTotal", "SwapFree", "HighTotal", "HighFree"};

// Whether the line at p starts with key followed by a colon; *p moves past it.
static int TakeKey(const char** p, const char* end, const char* key) {
  const char* q = *p;
  for (; *key; ++key, ++q)
    if (q >= end || *q != *key) return 0;
  if (q >= end || *q != ':') return 0;
  *p = q + 1;
  return 1;
}

// Reads the figures; returns whether MemTotal was among them (the others are 0
// when absent, as HighTotal is on a 64-bit kernel).
static int ReadMeminfo(u64 figures[kFigures]) {
  char text[4096];
  long length = 0;
  long file = syscall3(kSysOpen, (long)"/proc/meminfo", kOpenReadOnlyCloseOnExec, 0);
  if (file < 0) return 0;
  for (;;) {
    long got = syscall3(kSysRead, file, (long)(text + length), (long)sizeof text - length);
    if (got <= 0) break;
    length += got;
    if (length == (long)sizeof text) break;  // the figures wanted are in the first lines
  }
  syscall3(kSysClose, file, 0, 0);

  int haveTotal = 0;
  for (int i = 0; i < kFigures; ++i) figures[i] = 0;
  const char* end = text + length;
  for (const char* p = text; p < end;) {
    for (int i = 0; i < kFigures; ++i) {
      if (!TakeKey(&p, end, kKeys[i])) continue;
      while (p < end && *p == ' ') ++p;
      u64 value = 0;
      for (; p < end && *p >= '0' && *p <= '9'; ++p) value = value * 10 + (u64)(*p - '0');
      figures[i] = value;
      if (i == kTotal) haveTotal = 1;
      break;
    }
    while (p < end && *p != '\n') ++p;
    if (p < end) ++p;
  }
  return haveTotal;
}

int sysinfo(struct guest_sysinfo* info) {
  long result = syscall3(kSysSysinfo, (long)info, 0, 0);
  if (result < 0) return -1;

  u64 figures[kFigures];
  if (!ReadMeminfo(figures)) return 0;  // keep the system call's answer
  u32 unit = 1024;
  u64 largest = 0;
  for (int i = 0; i < kFigures; ++i)
    if (figures[i] > largest) largest = figures[i];
  for (; largest > 0xFFFFFFFFull; largest >>= 1) {
    unit <<= 1;
    for (int i = 0; i < kFigures; ++i) figures[i] >>= 1;
  }
  info->totalram = (u32)figures[kTotal];
  info->freeram = (u32)figures[kFree];
  info->sharedram = (u32)figures[kShared];
  info->bufferram = (u32)figures[kBuffers];
  info->totalswap = (u32)figures[kSwapTotal];
  info->freeswap = (u32)figures[kSwapFree];
  info->totalhigh = (u32)figures[kHighTotal];
  info->freehigh = (u32)figures[kHighFree];
  info->mem_unit = unit;
  return 0;
}

// The memory figures of 32-bit Wine under qemu's i386 user-mode emulator,
// preloaded into every emulated Wine process (tools/wine-env.sh).
//
// Two faults meet on a large host. qemu answers a 32-bit guest's sysinfo()
// with the host's byte counts cut to 32 bits (in units of one byte), while
// /proc/meminfo reaches the guest unchanged; Wine takes its physical total
// from the first and its free figures from the second, so the total falls
// below the free memory. And Wine's Windows 9x GlobalMemoryStatus caps its
// figures at different limits (physical memory at 2 GB - 1 for a program that
// is not large-address aware, the page file's total at 4 GB - 512 KB and its
// free part at 4 GB - 1), so a machine with more memory than a Windows 9x
// answer can carry reads back with as much free memory as total at any load,
// and with more free page file than total.
//
// So the emulated machine is the host scaled down by a power of two until its
// memory and swap together stay below 2 GB: every kB figure of /proc/meminfo,
// as Wine's ntdll opens it, is divided alike (the load and every proportion
// stay the host's), and sysinfo() answers from the same figures in kilobytes.
// A host that fits is seen as it is.
//
// The file is read with raw system calls; the C library only provides the
// stream Wine reads and the real fopen64. The host's compiler builds it
// without 32-bit development files (tools/qemu-sysinfo/build).

typedef unsigned int u32;
typedef unsigned long long u64;
typedef struct _IO_FILE FILE;
FILE* fmemopen(void* buffer, u32 size, const char* mode);
u32 fwrite(const void* data, u32 size, u32 count, FILE* file);
void rewind(FILE* file);
int fclose(FILE* file);
void* dlsym(void* module, const char* name);
#define RTLD_NEXT ((void*)-1l)

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
enum { kTextSize = 8192 };  // /proc/meminfo is about 1.5 KB
// Memory and swap of the emulated machine stay below this (2 GB).
static const u64 kMachineLimitKb = 2ull * 1024 * 1024;
static const char kMeminfo[] = "/proc/meminfo";

static long syscall3(long number, long a, long b, long c) {
  long result;
  __asm__ volatile("int $0x80" : "=a"(result) : "0"(number), "b"(a), "c"(b), "d"(c) : "memory");
  return result;
}

static int IsDigit(char c) { return c >= '0' && c <= '9'; }

// The kB figure of the line "key: N kB", or 0 when there is none.
static u64 Figure(const char* text, long length, const char* key) {
  const char* end = text + length;
  for (const char* p = text; p < end;) {
    const char* k = key;
    while (*k && p < end && *p == *k) ++p, ++k;
    if (!*k && p < end && *p == ':') {
      for (++p; p < end && *p == ' '; ++p) {
      }
      u64 value = 0;
      for (; p < end && IsDigit(*p); ++p) value = value * 10 + (u64)(*p - '0');
      return value;
    }
    while (p < end && *p != '\n') ++p;
    if (p < end) ++p;
  }
  return 0;
}

// Writes value in decimal; returns the number of digits. (No division: the
// 64-bit divide of a 32-bit target lives in libgcc, which is not linked.)
static long PutDecimal(char* out, u64 value) {
  u64 powers[20];
  int count = 1;
  powers[0] = 1;
  while (count < 20 && powers[count - 1] * 10 <= value) {
    powers[count] = powers[count - 1] * 10;
    ++count;
  }
  long written = 0;
  for (int i = count - 1; i >= 0; --i) {
    char digit = '0';
    for (; value >= powers[i]; value -= powers[i]) ++digit;
    out[written++] = digit;
  }
  return written;
}

// Fills text with the emulated machine's /proc/meminfo: the host's, every kB
// figure shifted right alike. Returns the length, or -1 when the host's file
// cannot be read or has no MemTotal.
static long MachineMeminfo(char* text, long size) {
  const long file = syscall3(kSysOpen, (long)kMeminfo, kOpenReadOnlyCloseOnExec, 0);
  if (file < 0) return -1;
  long length = 0;
  for (long got; length < size && (got = syscall3(kSysRead, file, (long)(text + length), size - length)) > 0;)
    length += got;
  syscall3(kSysClose, file, 0, 0);

  const u64 host = Figure(text, length, "MemTotal") + Figure(text, length, "SwapTotal");
  if (host == 0) return -1;
  int shift = 0;
  while ((host >> shift) >= kMachineLimitKb) ++shift;

  // Rewritten in place: a shifted figure never has more digits than the
  // host's, so the copy never overtakes what is still to be read.
  long in = 0, out = 0;
  int inFigure = 0;  // after the line's colon, before its number
  while (in < length) {
    const char c = text[in];
    if (inFigure && IsDigit(c)) {
      u64 value = 0;
      for (; in < length && IsDigit(text[in]); ++in) value = value * 10 + (u64)(text[in] - '0');
      const int kilobytes = length - in >= 3 && text[in] == ' ' && text[in + 1] == 'k' && text[in + 2] == 'B';
      out += PutDecimal(text + out, kilobytes ? value >> shift : value);
      inFigure = 0;
      continue;
    }
    if (c == ':') inFigure = 1;
    if (c == '\n') inFigure = 0;
    text[out++] = c;
    ++in;
  }
  return out;
}

int sysinfo(struct guest_sysinfo* info) {
  if (syscall3(kSysSysinfo, (long)info, 0, 0) < 0) return -1;
  char text[kTextSize];
  const long length = MachineMeminfo(text, sizeof text);
  if (length < 0) return 0;  // keep the system call's answer
  // Below 2 GB in kilobytes: every figure fits its 32-bit field.
  info->totalram = (u32)Figure(text, length, "MemTotal");
  info->freeram = (u32)Figure(text, length, "MemFree");
  info->sharedram = (u32)Figure(text, length, "Shmem");
  info->bufferram = (u32)Figure(text, length, "Buffers");
  info->totalswap = (u32)Figure(text, length, "SwapTotal");
  info->freeswap = (u32)Figure(text, length, "SwapFree");
  info->totalhigh = (u32)Figure(text, length, "HighTotal");
  info->freehigh = (u32)Figure(text, length, "HighFree");
  info->mem_unit = 1024;
  return 0;
}

typedef FILE* (*FopenFunction)(const char* path, const char* mode);

// Wine's ntdll reads /proc/meminfo through fopen64 and fgets: a read-only open
// of it gets a stream over the emulated machine's figures.
FILE* fopen64(const char* path, const char* mode) {
  static FopenFunction next;
  if (!next) next = (FopenFunction)dlsym(RTLD_NEXT, "fopen64");
  const char* p = path;
  const char* k = kMeminfo;
  while (*k && *p == *k) ++p, ++k;
  int readOnly = mode[0] == 'r';
  for (const char* m = mode; *m; ++m) readOnly &= *m != '+';
  if (!*k && !*p && readOnly) {
    char text[kTextSize];
    const long length = MachineMeminfo(text, sizeof text);
    FILE* file = length > 0 ? fmemopen(0, (u32)length, "w+") : 0;
    if (file) {
      if (fwrite(text, 1, (u32)length, file) == (u32)length) {
        rewind(file);
        return file;
      }
      fclose(file);
    }
  }
  return next ? next(path, mode) : 0;
}

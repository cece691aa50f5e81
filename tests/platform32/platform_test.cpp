// The ground every other test program stands on: the programs run under Wine in
// Windows 98 mode. The i686 build, the one that ships, runs under 32-bit Wine in
// a pure 32-bit prefix, as on a Windows 98 machine; the x86_64 build runs the same
// sources under 64-bit Wine. A prefix in the wrong mode or of the wrong kind
// fails here first, with a plain message, instead of deep inside a device test.
#include <windows.h>

#include <cpuid.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/handles.h"
#include "devices/processor_identification.h"

namespace {

TEST(Platform, ReportsWindows98) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId)
      << "the Wine prefix is not in Windows 98 mode";
  EXPECT_EQ(4u, info.dwMajorVersion);
  EXPECT_EQ(10u, info.dwMinorVersion);
  // The Windows 9x family sets the top bit of GetVersion's answer.
  EXPECT_NE(0u, GetVersion() & 0x80000000u);
}

TEST(Platform, AnsiCodePageIsWestern) {
  EXPECT_EQ(1252u, GetACP());
}

TEST(Platform, DynamicRegistryRootHoldsKeys) {
  // Windows 9x keeps the present device nodes under HKEY_DYN_DATA.
  const char* path = "Config Manager\\DevloreSmoke";
  devlore::UniqueRegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_DYN_DATA, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, key.Receive(), nullptr));
  const char text[] = "present";
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "Status", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text), sizeof text));
  key.Reset();

  char read[32] = {};
  DWORD size = sizeof read;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_DYN_DATA, path, 0, KEY_READ, key.Receive()));
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.Get(), "Status", nullptr, &type,
                                            reinterpret_cast<BYTE*>(read), &size));
  key.Reset();
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_STREQ("present", read);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_DYN_DATA, path));
}

// MemTotal of the host kernel's /proc/meminfo in bytes (Wine's "\\?\unix\"
// names reach the host's files), or 0 when it cannot be read.
uint64_t HostMemoryBytes() {
  devlore::UniqueFileHandle file(CreateFileA("\\\\?\\unix\\proc\\meminfo", GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  char text[4096];
  DWORD length = 0, got = 0;
  while (length < sizeof text - 1 &&
         ReadFile(file.Get(), text + length, sizeof text - 1 - length, &got, nullptr) && got)
    length += got;
  text[length] = '\0';
  const char* line = std::strstr(text, "MemTotal:");
  return line ? std::strtoull(line + 9, nullptr, 10) * 1024 : 0;
}

TEST(Platform, MemoryStatusIsTheMachinesAndAgreesWithItself) {
  // Wine's physical total and its free figures come from two sources (sysinfo()
  // and /proc/meminfo), which qemu's i386 emulation set apart on a large host,
  // and its Windows 9x answer caps them at different limits: under qemu the
  // machine is the host scaled into what that answer carries (tools/qemu-sysinfo).
  MEMORYSTATUSEX ex = {};
  ex.dwLength = sizeof ex;
  ASSERT_TRUE(GlobalMemoryStatusEx(&ex));
  const uint64_t host = HostMemoryBytes();
  ASSERT_NE(0u, host) << "host's /proc/meminfo not read";
  // The host's memory or a power-of-two part of it, in whole pages less the first.
  bool hostsOrAPart = false;
  for (int shift = 0; shift < 16; ++shift)
    hostsOrAPart |= ex.ullTotalPhys <= host >> shift && ex.ullTotalPhys + (1u << 20) >= host >> shift;
  EXPECT_TRUE(hostsOrAPart) << ex.ullTotalPhys << " of the host's " << host;
  EXPECT_LE(ex.dwMemoryLoad, 100u);
  EXPECT_LE(ex.ullAvailPhys, ex.ullTotalPhys);
  EXPECT_GE(ex.ullTotalPageFile, ex.ullTotalPhys) << "the commit limit includes the memory";
  EXPECT_LE(ex.ullAvailPageFile, ex.ullTotalPageFile);
  EXPECT_LE(ex.ullAvailVirtual, ex.ullTotalVirtual);

  // The Windows 9x answer the memory device shows: nothing capped, each free
  // figure within its total.
  MEMORYSTATUS status = {};
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  EXPECT_EQ(ex.ullTotalPhys, status.dwTotalPhys);
  EXPECT_LE(status.dwMemoryLoad, 100u);
  EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
  EXPECT_LE(status.dwAvailPageFile, status.dwTotalPageFile);
  EXPECT_LE(status.dwAvailVirtual, status.dwTotalVirtual);
}

#if defined(__i386__)

TEST(Platform32, IsAPentiumClassIntelMachine) {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  EXPECT_EQ(PROCESSOR_ARCHITECTURE_INTEL, info.wProcessorArchitecture);
  EXPECT_EQ(static_cast<DWORD>(PROCESSOR_INTEL_PENTIUM), info.dwProcessorType);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
}

TEST(Platform32, RunsInAPure32BitPrefix) {
  // Under WoW64 (a 64-bit prefix) the process would not look like Windows 98's.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  if (!isWow64) return;  // Windows 98 itself has no such function: nothing to ask.
  BOOL wow64 = TRUE;
  ASSERT_TRUE(isWow64(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
}

TEST(Platform32, ProcessorIdentifiesItself) {
  // The library's own ID-flag test: the emulated processor has CPUID.
  ASSERT_EQ(1, devlore::ProcessorHasCpuid());
  unsigned int maxLeaf = 0, ebx = 0, ecx = 0, edx = 0;
  ASSERT_EQ(1, __get_cpuid(0, &maxLeaf, &ebx, &ecx, &edx));
  EXPECT_GE(maxLeaf, 1u);
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  EXPECT_EQ(12u, std::strlen(vendor)) << vendor;

  unsigned int signature = 0;
  ASSERT_EQ(1, __get_cpuid(1, &signature, &ebx, &ecx, &edx));
  EXPECT_GE((signature >> 8) & 0xf, 5u) << "family of signature " << std::hex << signature;
}

#else

TEST(Platform64, IsAnX64Machine) {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  EXPECT_EQ(PROCESSOR_ARCHITECTURE_AMD64, info.wProcessorArchitecture);
  EXPECT_EQ(static_cast<DWORD>(PROCESSOR_AMD_X8664), info.dwProcessorType);
}

#endif

}  // namespace

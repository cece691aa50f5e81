// The ground every other test program stands on: the programs run under Wine in
// Windows 98 mode. The i686 build, the one that ships, runs under 32-bit Wine in
// a pure 32-bit prefix, as on a Windows 98 machine; the x86_64 build runs the same
// sources under 64-bit Wine. A prefix in the wrong mode or of the wrong kind
// fails here first, with a plain message, instead of deep inside a device test.
#include <windows.h>

#include <cpuid.h>
#include <gtest/gtest.h>

#include <cstring>

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
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_DYN_DATA, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  const char text[] = "present";
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Status", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text), sizeof text));
  RegCloseKey(key);

  char read[32] = {};
  DWORD size = sizeof read;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_DYN_DATA, path, 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Status", nullptr, &type,
                                            reinterpret_cast<BYTE*>(read), &size));
  RegCloseKey(key);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_STREQ("present", read);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_DYN_DATA, path));
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

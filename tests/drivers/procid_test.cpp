// PROCID.VXD, loaded from the prefix's driver folder through the 9x loader
// stand-in, the way the processor device opens it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <string>

#include "devices/processor_device.h"
#include "drivers/common/tsc_reference.h"
#include "tests/drivers/driver_test_support.h"
#include "tests/support/fake_platform.h"
#include "tests/support/vxd_loader.h"

namespace devlore::test {
namespace {

constexpr DWORD kClockRequest = 1;
constexpr DWORD kUntouched = 0xA5A5A5A5u;
// 64-bit Wine has no driver loader, so the stand-in serves the drivers; 32-bit
// Wine's own loader serves them before the stand-in is asked, and keeps a
// driver module loaded once it has loaded it.
constexpr bool kStandInServes = sizeof(void*) == 8;

class ProcidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseVxdLoader(platform_.Api());
    ASSERT_TRUE(folder_.changed()) << "driver folder " << DriverFolder()
                                   << " missing: run through ctest (fixture drivers_setup)";
  }
  void TearDown() override { EXPECT_EQ(0, OpenVxdHandleCount()); }

  FakePlatform platform_;
  CurrentDirectory folder_{DriverFolder()};
};

TEST_F(ProcidTest, ClockAgreesWithALongReferenceMeasurement) {
  DriverHandle driver(platform_.Api(), "\\\\.\\PROCID.VXD");
  ASSERT_TRUE(driver.IsValid()) << GetLastError();
  const double before = reference::MeasureTscMegahertz(300);
  ASSERT_GT(before, 0.0);
  DWORD answers[5];
  for (DWORD& megahertz : answers) {
    megahertz = kUntouched;
    DWORD returned = 0;
    ASSERT_TRUE(driver.Request(kClockRequest, nullptr, 0, &megahertz, sizeof(megahertz), &returned))
        << GetLastError();
    EXPECT_EQ(sizeof(DWORD), returned);
  }
  const double after = reference::MeasureTscMegahertz(300);
  const double reference = (before + after) / 2;
  // The reference itself must be steady, or the comparison says nothing.
  ASSERT_LT(std::fabs(before - after), 0.5) << before << " vs " << after;
  for (DWORD megahertz : answers) {
    EXPECT_GT(megahertz, 0u);
    // A whole number of MHz: up to half a MHz of rounding plus half of error.
    EXPECT_LE(std::fabs(static_cast<double>(megahertz) - reference), 1.0)
        << megahertz << " MHz against " << reference << " MHz";
  }
}

TEST_F(ProcidTest, RefusesOtherCodesAndShortBuffers) {
  DriverHandle driver(platform_.Api(), "\\\\.\\PROCID.VXD");
  ASSERT_TRUE(driver.IsValid());
  for (DWORD code : {0u, 2u, 9u, 0x100u, 0xFFFFu}) {
    DWORD output = kUntouched, returned = 7;
    SetLastError(0);
    EXPECT_FALSE(driver.Request(code, nullptr, 0, &output, sizeof(output), &returned)) << code;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError()) << code;
    EXPECT_EQ(kUntouched, output) << code;
    EXPECT_EQ(0u, returned) << code;
  }
  unsigned char small[3] = {1, 2, 3};
  DWORD returned = 7;
  EXPECT_FALSE(driver.Request(kClockRequest, nullptr, 0, small, sizeof(small), &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(1, small[0]);
  EXPECT_EQ(3, small[2]);
  EXPECT_FALSE(driver.Request(kClockRequest, nullptr, 0, nullptr, sizeof(DWORD), &returned));
  // A null byte count is allowed.
  DWORD megahertz = 0;
  EXPECT_TRUE(driver.Request(kClockRequest, nullptr, 0, &megahertz, sizeof(megahertz), nullptr));
  EXPECT_GT(megahertz, 0u);
}

// The stand-in behaves as the platform's loader does in Windows 9x mode (and
// under 32-bit Wine, the platform's loader answers the same way).
TEST_F(ProcidTest, LoaderFindsDriversInTheCurrentDirectoryOnly) {
  {
    // Without an extension the name means PROCID.VXD; any case is accepted.
    DriverHandle bare(platform_.Api(), "\\\\.\\procid");
    ASSERT_TRUE(bare.IsValid());
    DWORD megahertz = 0, returned = 0;
    EXPECT_TRUE(bare.Request(kClockRequest, nullptr, 0, &megahertz, sizeof(megahertz), &returned));
    EXPECT_EQ(kStandInServes ? 1 : 0, OpenVxdHandleCount());
    // Codes with a high word are not driver requests.
    megahertz = kUntouched;
    EXPECT_FALSE(bare.Request(0x00220000u | kClockRequest, nullptr, 0, &megahertz, sizeof(megahertz), &returned));
    EXPECT_EQ(kUntouched, megahertz);
  }
  EXPECT_EQ(0, OpenVxdHandleCount());
  // Closing with delete-on-close requested must not remove the driver file.
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((DriverFolder() + "\\PROCID.VXD").c_str()));

  DriverHandle missing(platform_.Api(), "\\\\.\\NOSUCH.VXD");
  EXPECT_FALSE(missing.IsValid());
  DriverHandle withFolder(platform_.Api(), "\\\\.\\Si\\PROCID.VXD");
  EXPECT_FALSE(withFolder.IsValid());
  DriverHandle wrongExtension(platform_.Api(), "\\\\.\\PROCID.DLL");
  EXPECT_FALSE(wrongExtension.IsValid());

  // Names the platform can open itself stay with the platform: here the raw
  // device of the fixture's FAT12 drive.
  HANDLE raw = platform_.Api().createFileA("\\\\.\\M:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, raw) << GetLastError();
  EXPECT_EQ(0, OpenVxdHandleCount());
  unsigned char sector[512] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(raw, sector, sizeof(sector), &read, nullptr));
  EXPECT_EQ(0x55, sector[510]);
  EXPECT_TRUE(platform_.Api().closeHandle(raw));

  if (kStandInServes) {
    CurrentDirectory elsewhere(DriverFolder() + "\\..");
    ASSERT_TRUE(elsewhere.changed());
    DriverHandle notHere(platform_.Api(), "\\\\.\\PROCID.VXD");
    EXPECT_FALSE(notHere.IsValid());
  }
}

// A Pentium-class machine whose processor names itself GenuineIntel, so that
// the processor device shows the clock the driver measured.
void WINAPI PentiumSystemInfo(LPSYSTEM_INFO info) {
  GetSystemInfo(info);
  info->dwProcessorType = PROCESSOR_INTEL_PENTIUM;
}
int WithCpuid() { return 1; }
void IntelCpuid(uint32_t leaf, CpuidResult* result) {
  *result = {};
  if (leaf == 0) {
    result->eax = 1;
    std::memcpy(&result->ebx, "Genu", 4);
    std::memcpy(&result->edx, "ineI", 4);
    std::memcpy(&result->ecx, "ntel", 4);
  }
}

TEST_F(ProcidTest, ProcessorDeviceShowsTheMeasuredClock) {
  platform_.Api().getSystemInfo = &PentiumSystemInfo;
  platform_.Api().hasCpuid = &WithCpuid;
  platform_.Api().cpuid = &IntelCpuid;
  std::unique_ptr<ProcessorDevice> device(ProcessorDevice::Create());
  ASSERT_NE(nullptr, device);
  BSTR* table = nullptr;
  ASSERT_EQ(1, device->GetCategory(0, &table));
  const std::wstring line(table[1], SysStringLen(table[1]));
  const size_t suffix = line.find(L" MHz (\xB1 3MHz)");
  ASSERT_NE(std::wstring::npos, suffix) << std::string(line.begin(), line.end());
  EXPECT_EQ(line.size(), suffix + 13);
  const long megahertz = std::wcstol(line.c_str(), nullptr, 10);
  EXPECT_LE(std::fabs(megahertz - reference::MeasureTscMegahertz(300)), 1.0);
  EXPECT_EQ(L"GenuineIntel", std::wstring(table[4], SysStringLen(table[4])));
}

}  // namespace
}  // namespace devlore::test

#include "devices/processor_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "tests/devices_platform/device_lines.h"
#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

// The fake machine and what the device did with it.
struct Machine {
  DWORD type = PROCESSOR_INTEL_PENTIUM;
  int hasCpuid = 1;
  uint32_t highestLeaf = 1, features = 1u << 23;
  char vendor[13] = "GenuineIntel";
  bool driverPresent = true, driverAnswers = true;
  uint32_t speed = 233;
  int infoCalls = 0, leaf1Calls = 0, requests = 0, closes = 0;
  std::string opened;
  DWORD openArguments[4] = {9, 9, 9, 9};  // access, share, disposition, flags
} * g;
const HANDLE kDriver = reinterpret_cast<HANDLE>(0x5150);

void WINAPI SystemInfo(LPSYSTEM_INFO info) {
  ++g->infoCalls;
  *info = SYSTEM_INFO{};
  info->dwProcessorType = g->type;
}
int HasCpuid() { return g->hasCpuid; }
void Cpuid(uint32_t leaf, CpuidResult* r) {
  *r = CpuidResult{};
  if (leaf == 0) {
    r->eax = g->highestLeaf;
    std::memcpy(&r->ebx, g->vendor, 4);
    std::memcpy(&r->edx, g->vendor + 4, 4);
    std::memcpy(&r->ecx, g->vendor + 8, 4);
  } else if (leaf == 1) {
    ++g->leaf1Calls;
    r->edx = g->features;
  }
}
HANDLE WINAPI Open(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  g->opened = name;
  const DWORD arguments[4] = {access, share, disposition, flags};
  std::memcpy(g->openArguments, arguments, sizeof arguments);
  return g->driverPresent ? kDriver : INVALID_HANDLE_VALUE;
}
BOOL WINAPI Control(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                    LPDWORD, LPOVERLAPPED) {
  ++g->requests;
  EXPECT_TRUE(device == kDriver && code == 1 && !input && inputSize == 0 && outputSize == 4);
  EXPECT_EQ(0u, *static_cast<uint32_t*>(output));  // cleared before the request
  if (g->driverAnswers) *static_cast<uint32_t*>(output) = g->speed;
  return g->driverAnswers;
}
BOOL WINAPI Close(HANDLE handle) {
  EXPECT_EQ(kDriver, handle);
  ++g->closes;
  return TRUE;
}

class ProcessorDeviceTest : public ::testing::Test {
 protected:
  ProcessorDeviceTest() {
    g = &machine;
    auto& api = fake.Api();
    api.getSystemInfo = &SystemInfo;
    api.hasCpuid = &HasCpuid;
    api.cpuid = &Cpuid;
    api.createFileA = &Open;
    api.deviceIoControl = &Control;
    api.closeHandle = &Close;
  }
  std::vector<std::wstring> Lines(int* ok = nullptr) {
    device.reset(ProcessorDevice::Create());
    return test::CategoryLines(*device, ok);
  }
  Machine machine;
  test::FakePlatform fake;
  std::unique_ptr<ProcessorDevice> device;
};

const wchar_t kMmx[] = L"This CPU supports the MMX instruction set.";
const wchar_t kNoMmx[] = L"This CPU does not support the MMX instruction set.";

TEST_F(ProcessorDeviceTest, PentiumWithMmxAndTheProbeDriver) {
  int ok = 0;
  // The sign is the byte 0xB1 of code page 1252 and reaches the client as U+00B1.
  EXPECT_EQ((std::vector<std::wstring>{L"CPU Summary", L"233 MHz (\u00B1 3MHz)", kMmx, L"Pentium Class CPU",
                                       L"GenuineIntel"}),
            Lines(&ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ("\\\\.\\PROCID.VXD", machine.opened);
  const DWORD expectedOpen[4] = {0, 0, 0, FILE_FLAG_DELETE_ON_CLOSE};
  EXPECT_EQ(0, std::memcmp(expectedOpen, machine.openArguments, sizeof expectedOpen));
  EXPECT_EQ(1, machine.requests);
  EXPECT_EQ(1, machine.closes);
}

TEST_F(ProcessorDeviceTest, SpeedIsShownForTheIntelVendorTextInAnyCaseOnly) {
  std::strcpy(machine.vendor, "AuthenticAMD");
  auto lines = Lines();
  EXPECT_EQ(L"Unknown Speed", lines[1]);
  EXPECT_EQ(L"AuthenticAMD", lines[4]);
  std::strcpy(machine.vendor, "genuineintel");
  machine.speed = 350;
  EXPECT_EQ(L"350 MHz (\u00B1 3MHz)", Lines()[1]);
}

TEST_F(ProcessorDeviceTest, A486HasNoVendorMmxOrCpuid) {
  machine.type = PROCESSOR_INTEL_486;
  machine.speed = 66;
  EXPECT_EQ((std::vector<std::wstring>{L"CPU Summary", L"Unknown Speed", kNoMmx, L"80486 Class CPU", L""}), Lines());
  EXPECT_EQ(0, machine.leaf1Calls);
}

TEST_F(ProcessorDeviceTest, SpeedLineIsEmptyWithoutAnAnswerFromTheDriver) {
  machine.driverPresent = false;
  EXPECT_EQ((std::vector<std::wstring>{L"CPU Summary", L"", kMmx, L"Pentium Class CPU", L"GenuineIntel"}), Lines());
  EXPECT_EQ(0, machine.requests + machine.closes);  // nothing opened, nothing closed
  machine.driverPresent = true;
  machine.driverAnswers = false;
  EXPECT_EQ(L"", Lines()[1]);
  EXPECT_EQ(1, machine.closes);  // closed after a refused request too
}

TEST_F(ProcessorDeviceTest, NoMmxWithoutCpuidOrWithoutLeafOne) {
  machine.hasCpuid = 0;
  EXPECT_EQ((std::vector<std::wstring>{L"CPU Summary", L"Unknown Speed", kNoMmx, L"Pentium Class CPU", L""}),
            Lines());
  machine.hasCpuid = 1;
  machine.highestLeaf = 0;  // leaf 1 would report MMX, but does not exist
  EXPECT_EQ(kNoMmx, Lines()[2]);
  EXPECT_EQ(0, machine.leaf1Calls);
}

TEST_F(ProcessorDeviceTest, UnsupportedProcessorFailsEveryRequestButFormatsOnce) {
  machine.type = PROCESSOR_INTEL_386;
  device.reset(ProcessorDevice::Create());
  BSTR* first = nullptr;
  EXPECT_EQ(0, device->GetCategory(0, &first));
  for (int call = 2; call <= 3; ++call) {
    BSTR* table = nullptr;
    EXPECT_EQ(0, device->GetCategory(0, &table));
    EXPECT_EQ(first, table);  // the first strings stay: Format did not run again
    EXPECT_EQ(call, machine.infoCalls);
  }
}

}  // namespace
}  // namespace devlore

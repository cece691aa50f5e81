#include "devices/processor_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

// What the fake machine answers.
struct Machine {
  DWORD processorType = PROCESSOR_INTEL_PENTIUM;
  int hasCpuid = 1;
  uint32_t highestLeaf = 1;
  std::string vendor = "GenuineIntel";
  uint32_t features = 1u << 23;  // leaf 1 EDX
  bool driverPresent = true;
  bool driverAnswers = true;
  uint32_t speed = 233;

  // What the device did.
  int systemInfoCalls = 0;
  int leaf1Calls = 0;
  std::vector<std::string> opened;
  DWORD access = 99, share = 99, disposition = 99, flags = 99;
  int requests = 0;
  int closes = 0;
};
Machine* g_machine = nullptr;
const HANDLE kProcidHandle = reinterpret_cast<HANDLE>(0x5150);

void WINAPI FakeGetSystemInfo(LPSYSTEM_INFO info) {
  ++g_machine->systemInfoCalls;
  *info = SYSTEM_INFO{};
  info->dwProcessorType = g_machine->processorType;
}

int FakeHasCpuid() { return g_machine->hasCpuid; }

void FakeCpuid(uint32_t leaf, CpuidResult* result) {
  *result = CpuidResult{};
  if (leaf == 0) {
    char bytes[12] = {};
    for (size_t i = 0; i < 12 && i < g_machine->vendor.size(); ++i) bytes[i] = g_machine->vendor[i];
    auto word = [&](int at) {
      return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
             static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
             static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
             static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
    };
    result->eax = g_machine->highestLeaf;
    result->ebx = word(0);
    result->edx = word(4);
    result->ecx = word(8);
  } else if (leaf == 1) {
    ++g_machine->leaf1Calls;
    result->edx = g_machine->features;
  }
}

HANDLE WINAPI FakeCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                             DWORD flags, HANDLE) {
  g_machine->opened.push_back(name);
  g_machine->access = access;
  g_machine->share = share;
  g_machine->disposition = disposition;
  g_machine->flags = flags;
  return g_machine->driverPresent ? kProcidHandle : INVALID_HANDLE_VALUE;
}

BOOL WINAPI FakeDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  ++g_machine->requests;
  EXPECT_EQ(kProcidHandle, device);
  EXPECT_EQ(1u, code);
  EXPECT_EQ(nullptr, input);
  EXPECT_EQ(0u, inputSize);
  EXPECT_EQ(4u, outputSize);
  EXPECT_EQ(nullptr, overlapped);
  // The device clears the buffer before asking.
  EXPECT_EQ(0u, *static_cast<uint32_t*>(output));
  if (!g_machine->driverAnswers) return FALSE;
  *static_cast<uint32_t*>(output) = g_machine->speed;
  if (returned) *returned = 4;
  return TRUE;
}

BOOL WINAPI FakeCloseHandle(HANDLE handle) {
  EXPECT_EQ(kProcidHandle, handle);
  ++g_machine->closes;
  return TRUE;
}

class ProcessorDeviceTest : public ::testing::Test {
 protected:
  ProcessorDeviceTest() {
    g_machine = &machine;
    auto& api = fake.Api();
    api.getSystemInfo = &FakeGetSystemInfo;
    api.hasCpuid = &FakeHasCpuid;
    api.cpuid = &FakeCpuid;
    api.createFileA = &FakeCreateFile;
    api.deviceIoControl = &FakeDeviceIoControl;
    api.closeHandle = &FakeCloseHandle;
  }
  ~ProcessorDeviceTest() override { g_machine = nullptr; }

  // The five lines as a client receives them, after one GetCategory.
  std::vector<std::wstring> Lines(int* ok = nullptr) {
    device.reset(ProcessorDevice::Create());
    EXPECT_NE(nullptr, device);
    BSTR* table = nullptr;
    const int result = device->GetCategory(0, &table);
    if (ok) *ok = result;
    std::vector<std::wstring> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(table && table[i] ? table[i] : L"");
    return lines;
  }

  Machine machine;
  test::FakePlatform fake;
  std::unique_ptr<ProcessorDevice> device;
};

TEST_F(ProcessorDeviceTest, PentiumWithMmxShowsEveryLine) {
  int ok = 0;
  const auto lines = Lines(&ok);
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"CPU Summary", lines[0]);
  // The plus-minus sign is the byte 0xB1 of code page 1252 and reaches the client as U+00B1.
  EXPECT_EQ(L"233 MHz (\u00B1 3MHz)", lines[1]);
  EXPECT_EQ(L"This CPU supports the MMX instruction set.", lines[2]);
  EXPECT_EQ(L"Pentium Class CPU", lines[3]);
  EXPECT_EQ(L"GenuineIntel", lines[4]);

  // The driver is opened as a dynamic driver, asked once and closed once.
  ASSERT_EQ(1u, machine.opened.size());
  EXPECT_EQ("\\\\.\\PROCID.VXD", machine.opened[0]);
  EXPECT_EQ(0u, machine.access);
  EXPECT_EQ(0u, machine.share);
  EXPECT_EQ(0u, machine.disposition);
  EXPECT_EQ(static_cast<DWORD>(FILE_FLAG_DELETE_ON_CLOSE), machine.flags);
  EXPECT_EQ(1, machine.requests);
  EXPECT_EQ(1, machine.closes);
}

TEST_F(ProcessorDeviceTest, SpeedIsShownOnlyForTheIntelVendorTextInAnyCase) {
  machine.vendor = "AuthenticAMD";
  machine.speed = 350;
  auto lines = Lines();
  EXPECT_EQ(L"Unknown Speed", lines[1]);
  EXPECT_EQ(L"AuthenticAMD", lines[4]);

  machine.vendor = "genuineintel";
  lines = Lines();
  EXPECT_EQ(L"350 MHz (\u00B1 3MHz)", lines[1]);
  EXPECT_EQ(L"genuineintel", lines[4]);
}

TEST_F(ProcessorDeviceTest, A486UsesNeitherCpuidNorVendor) {
  machine.processorType = PROCESSOR_INTEL_486;
  machine.speed = 66;
  const auto lines = Lines();
  EXPECT_EQ(L"Unknown Speed", lines[1]);
  EXPECT_EQ(L"This CPU does not support the MMX instruction set.", lines[2]);
  EXPECT_EQ(L"80486 Class CPU", lines[3]);
  EXPECT_EQ(L"", lines[4]);
  EXPECT_EQ(0, machine.leaf1Calls);
}

TEST_F(ProcessorDeviceTest, SpeedLineIsEmptyWhenTheDriverIsAbsentOrRefuses) {
  machine.driverPresent = false;
  auto lines = Lines();
  EXPECT_EQ(L"", lines[1]);
  EXPECT_EQ(L"This CPU supports the MMX instruction set.", lines[2]);
  EXPECT_EQ(L"Pentium Class CPU", lines[3]);
  EXPECT_EQ(L"GenuineIntel", lines[4]);
  EXPECT_EQ(0, machine.requests);
  EXPECT_EQ(0, machine.closes);  // nothing was opened, nothing is closed

  machine.driverPresent = true;
  machine.driverAnswers = false;
  lines = Lines();
  EXPECT_EQ(L"", lines[1]);
  EXPECT_EQ(1, machine.requests);
  EXPECT_EQ(1, machine.closes);  // closed after a refused request too
}

TEST_F(ProcessorDeviceTest, PentiumWithoutCpuidOrWithoutLeafOneHasNoMmx) {
  machine.hasCpuid = 0;
  auto lines = Lines();
  EXPECT_EQ(L"Unknown Speed", lines[1]);  // no vendor text to compare
  EXPECT_EQ(L"This CPU does not support the MMX instruction set.", lines[2]);
  EXPECT_EQ(L"Pentium Class CPU", lines[3]);
  EXPECT_EQ(L"", lines[4]);

  machine.hasCpuid = 1;
  machine.highestLeaf = 0;  // leaf 1 would report MMX, but it does not exist
  lines = Lines();
  EXPECT_EQ(L"This CPU does not support the MMX instruction set.", lines[2]);
  EXPECT_EQ(L"GenuineIntel", lines[4]);
  EXPECT_EQ(0, machine.leaf1Calls);
}

TEST_F(ProcessorDeviceTest, UnsupportedProcessorFailsEveryRequestAndFormatsOnce) {
  machine.processorType = PROCESSOR_INTEL_386;
  device.reset(ProcessorDevice::Create());
  BSTR* first = nullptr;
  EXPECT_EQ(0, device->GetCategory(0, &first));
  ASSERT_NE(nullptr, first);
  const std::wstring lineAfterFirst = first[3] ? first[3] : L"";
  for (int call = 2; call <= 3; ++call) {
    BSTR* table = nullptr;
    EXPECT_EQ(0, device->GetCategory(0, &table));
    EXPECT_EQ(first, table);  // the same strings: Format did not run again
    EXPECT_EQ(call, machine.systemInfoCalls);  // Collect ran again
  }
  EXPECT_EQ(0, machine.requests);
  EXPECT_EQ(L"80486 Class CPU", lineAfterFirst);
}

}  // namespace
}  // namespace devlore

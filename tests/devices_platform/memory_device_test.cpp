#include "devices/memory_device.h"
#include "devices/memory_device_internal.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/devices_platform/device_lines.h"
#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

// The fake memory status and 16-bit side, and what the device asked of them.
struct Machine {
  MEMORYSTATUS status = {sizeof(MEMORYSTATUS), 42, 65011712, 12345678, 2147483648u, 1048575, 2143289344, 1023};
  bool exports = true, qtThunk = true;
  WORD userModule = 0x1F07;      // LoadLibrary16's answer (below 32: an error)
  DWORD procedure = 0x01170042;  // GetProcAddress16's answer
  int statusCalls = 0;
  std::string calls;  // "L<name> P<name> F<module> T<selector>" in order
} * g;
const FARPROC kQtThunk = reinterpret_cast<FARPROC>(static_cast<ULONG_PTR>(0x51A7));

void WINAPI Status(LPMEMORYSTATUS status) {
  ++g->statusCalls;
  *status = g->status;
}
WORD WINAPI LoadLibrary16(LPCSTR name) {
  g->calls += std::string("L") + name + " ";
  return g->userModule;
}
void WINAPI FreeLibrary16(WORD module) { g->calls += "F" + std::to_string(module) + " "; }
DWORD WINAPI GetProcAddress16(WORD module, LPCSTR name) {
  EXPECT_EQ(g->userModule, module);
  g->calls += std::string("P") + name + " ";
  return g->procedure;
}
FARPROC KernelExport(uint32_t ordinal) {
  if (!g->exports) return nullptr;
  if (ordinal == 35) return reinterpret_cast<FARPROC>(&LoadLibrary16);
  if (ordinal == 36) return reinterpret_cast<FARPROC>(&FreeLibrary16);
  if (ordinal == 37) return reinterpret_cast<FARPROC>(&GetProcAddress16);
  return nullptr;
}
FARPROC WINAPI ProcAddress(HMODULE module, LPCSTR name) {
  EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), module);
  EXPECT_STREQ("QT_Thunk", name);
  return g->qtThunk ? kQtThunk : nullptr;
}
uint32_t Thunk(FARPROC qtThunk, uint32_t procedure16, uint16_t selector) {
  EXPECT_TRUE(qtThunk == kQtThunk && procedure16 == g->procedure);
  g->calls += "T" + std::to_string(selector) + " ";
  const uint32_t percentages[] = {78, 64, 91};
  return selector < 3 ? percentages[selector] : 0;
}

class MemoryDeviceTest : public ::testing::Test {
 protected:
  MemoryDeviceTest() {
    g = &machine;
    auto& api = fake.Api();
    api.globalMemoryStatus = &Status;
    api.getKernelExportByOrdinal = &KernelExport;
    api.getProcAddress = &ProcAddress;
    api.callThunk16 = &Thunk;
  }
  std::vector<std::wstring> Lines(int* ok = nullptr) {
    device.reset(MemoryDevice::Create());
    return test::CategoryLines(*device, ok);
  }
  Machine machine;
  test::FakePlatform fake;
  std::unique_ptr<MemoryDevice> device;
};

TEST_F(MemoryDeviceTest, EveryLineWithGroupedBytesSizesAndPercentages) {
  int ok = 0;
  EXPECT_EQ((std::vector<std::wstring>{
                L"Memory Summary",
                L"Total Physical Memory : 67,108,864 Bytes (64.0 MB)",
                L"Available Physical Memory : 12,345,678 Bytes (11.7 MB)",
                L"Total Virtual Memory : 2,143,289,344 Bytes (1.9 GB)",
                L"Available Virtual Memory : 1,023 Bytes ()",
                L"Total Page File Memory : 2,147,483,648 Bytes (2.0 GB)",
                L"Available Page File Memory : 1,048,575 Bytes (1023.9 KB)",
                L"Current Memory Load : 42%",
                L"Remaining System Resources : 78%",
                L"Remaining GDI Resources : 64%",
                L"Remaining User Resources : 91%",
            }),
            Lines(&ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ("LUSER.EXE PGetFreeSystemResources T0 T1 T2 F7943 ", machine.calls);
}

TEST_F(MemoryDeviceTest, PhysicalMemoryIsRaisedToTheNextEvenMegabyteCount) {
  const std::pair<SIZE_T, const wchar_t*> cases[] = {
      {67108864, L"69,206,016 Bytes (66.0 MB)"},    // exactly 64 MB
      {133693440, L"134,217,728 Bytes (128.0 MB)"},  // 127.5 MB
      {66480128, L"67,108,864 Bytes (64.0 MB)"},     // 63.4 MB
      {0, L"2,097,152 Bytes (2.0 MB)"},
      // 4 GB less one byte would wrap to 0 in 32 bits; it stays at the largest value.
      {0xFFFFFFFFu, L"4,294,967,295 Bytes (3.9 GB)"},
  };
  for (const auto& c : cases) {
    machine.status.dwTotalPhys = c.first;
    EXPECT_EQ(std::wstring(L"Total Physical Memory : ") + c.second, Lines()[1]);
  }
  machine.status.dwAvailPageFile = 0;
  EXPECT_EQ(L"Available Page File Memory : 0 Bytes ()", Lines()[6]);
}

TEST_F(MemoryDeviceTest, MissingThunkFailsOnlyTheFirstRequest) {
  machine.qtThunk = false;
  int ok = 1;
  auto lines = Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ(L"Total Physical Memory : 67,108,864 Bytes (64.0 MB)", lines[1]);
  EXPECT_EQ(L"Remaining System Resources : 0%", lines[8]);
  machine.qtThunk = true;  // the memory figures were final: no second Collect
  for (int request = 0; request < 2; ++request) {
    EXPECT_EQ(L"Remaining User Resources : 0%", test::CategoryLines(*device, &ok)[10]);
    EXPECT_EQ(1, ok);
  }
  EXPECT_EQ(1, machine.statusCalls);
  EXPECT_EQ("", machine.calls);
}

TEST_F(MemoryDeviceTest, Missing16BitPiecesReleaseWhatWasLoaded) {
  int ok = 1;
  machine.exports = false;
  Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ("", machine.calls);

  machine.exports = true;
  machine.userModule = 2;  // USER.EXE not loadable: nothing to release
  Lines(&ok);
  EXPECT_EQ("LUSER.EXE ", machine.calls);

  machine.calls.clear();
  machine.userModule = 0x2A17;
  machine.procedure = 0;  // no GetFreeSystemResources: released, nothing called
  Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ("LUSER.EXE PGetFreeSystemResources F10775 ", machine.calls);
}

}  // namespace
}  // namespace devlore

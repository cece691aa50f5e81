#include "devices/memory_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

// The fake machine's memory status and 16-bit side.
struct Machine {
  MEMORYSTATUS status = {};
  bool kernelExports = true;  // ordinals 35, 36, 37
  bool qtThunk = true;
  WORD userModule = 0x1F07;   // what LoadLibrary16 answers (below 32: an error)
  DWORD procedure = 0x01170042;  // what GetProcAddress16 answers
  uint32_t percentages[3] = {78, 64, 91};

  int statusCalls = 0;
  std::vector<std::string> loaded, looked;
  std::vector<WORD> freed;
  std::vector<uint16_t> selectors;
};
Machine* g_machine = nullptr;
const FARPROC kQtThunk = reinterpret_cast<FARPROC>(static_cast<ULONG_PTR>(0x51A7));

void WINAPI FakeGlobalMemoryStatus(LPMEMORYSTATUS status) {
  ++g_machine->statusCalls;
  *status = g_machine->status;
}

WORD WINAPI FakeLoadLibrary16(LPCSTR name) {
  g_machine->loaded.push_back(name);
  return g_machine->userModule;
}
void WINAPI FakeFreeLibrary16(WORD module) { g_machine->freed.push_back(module); }
DWORD WINAPI FakeGetProcAddress16(WORD module, LPCSTR name) {
  EXPECT_EQ(g_machine->userModule, module);
  g_machine->looked.push_back(name);
  return g_machine->procedure;
}

FARPROC FakeKernelExport(uint32_t ordinal) {
  if (!g_machine->kernelExports) return nullptr;
  switch (ordinal) {
    case 35: return reinterpret_cast<FARPROC>(&FakeLoadLibrary16);
    case 36: return reinterpret_cast<FARPROC>(&FakeFreeLibrary16);
    case 37: return reinterpret_cast<FARPROC>(&FakeGetProcAddress16);
    default: return nullptr;
  }
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) && lstrcmpA(name, "QT_Thunk") == 0) {
    EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), module);
    return g_machine->qtThunk ? kQtThunk : nullptr;
  }
  return GetProcAddress(module, name);
}

uint32_t FakeCallThunk16(FARPROC qtThunk, uint32_t procedure16, uint16_t argument) {
  EXPECT_EQ(kQtThunk, qtThunk);
  EXPECT_EQ(g_machine->procedure, procedure16);
  g_machine->selectors.push_back(argument);
  return argument < 3 ? g_machine->percentages[argument] : 0;
}

class MemoryDeviceTest : public ::testing::Test {
 protected:
  MemoryDeviceTest() {
    g_machine = &machine;
    machine.status.dwLength = sizeof machine.status;
    machine.status.dwMemoryLoad = 42;
    machine.status.dwTotalPhys = 65011712;
    machine.status.dwAvailPhys = 12345678;
    machine.status.dwTotalPageFile = 2147483648u;
    machine.status.dwAvailPageFile = 1048575;
    machine.status.dwTotalVirtual = 2143289344;
    machine.status.dwAvailVirtual = 1023;
    auto& api = fake.Api();
    api.globalMemoryStatus = &FakeGlobalMemoryStatus;
    api.getKernelExportByOrdinal = &FakeKernelExport;
    api.getProcAddress = &FakeGetProcAddress;
    api.callThunk16 = &FakeCallThunk16;
  }
  ~MemoryDeviceTest() override { g_machine = nullptr; }

  std::vector<std::wstring> Lines(int* ok = nullptr) {
    device.reset(MemoryDevice::Create());
    EXPECT_NE(nullptr, device);
    return Request(ok);
  }
  std::vector<std::wstring> Request(int* ok = nullptr) {
    BSTR* table = nullptr;
    const int result = device->GetCategory(0, &table);
    if (ok) *ok = result;
    std::vector<std::wstring> lines;
    for (int i = 0; i < 11; ++i) lines.push_back(table && table[i] ? table[i] : L"");
    return lines;
  }

  Machine machine;
  test::FakePlatform fake;
  std::unique_ptr<MemoryDevice> device;
};

TEST_F(MemoryDeviceTest, ShowsEveryLineWithGroupedBytesAndSizes) {
  int ok = 0;
  const auto lines = Lines(&ok);
  EXPECT_EQ(1, ok);
  const std::vector<std::wstring> expected = {
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
  };
  EXPECT_EQ(expected, lines);

  // USER.EXE is loaded, asked for the procedure, called with the three
  // selectors and released once.
  EXPECT_EQ(std::vector<std::string>{"USER.EXE"}, machine.loaded);
  EXPECT_EQ(std::vector<std::string>{"GetFreeSystemResources"}, machine.looked);
  EXPECT_EQ((std::vector<uint16_t>{0, 1, 2}), machine.selectors);
  EXPECT_EQ(std::vector<WORD>{machine.userModule}, machine.freed);
}

TEST_F(MemoryDeviceTest, PhysicalMemoryIsRaisedToTheNextEvenMegabyteCount) {
  struct Case {
    SIZE_T reported;
    const wchar_t* line;
  };
  const Case cases[] = {
      {67108864, L"Total Physical Memory : 69,206,016 Bytes (66.0 MB)"},    // exactly 64 MB
      {133693440, L"Total Physical Memory : 134,217,728 Bytes (128.0 MB)"},  // 127.5 MB
      {65011712, L"Total Physical Memory : 67,108,864 Bytes (64.0 MB)"},     // 62 MB
      {66480128, L"Total Physical Memory : 67,108,864 Bytes (64.0 MB)"},     // 63.4 MB
      {0, L"Total Physical Memory : 2,097,152 Bytes (2.0 MB)"},
      // 4 GB less one byte would wrap to 0 in 32 bits; it stays at the largest value.
      {0xFFFFFFFFu, L"Total Physical Memory : 4,294,967,295 Bytes (3.9 GB)"},
  };
  for (const Case& c : cases) {
    machine.status.dwTotalPhys = c.reported;
    EXPECT_EQ(c.line, Lines()[1]) << c.reported;
  }
}

TEST_F(MemoryDeviceTest, ZeroBytesShowEmptyParentheses) {
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
  EXPECT_TRUE(machine.loaded.empty());  // nothing 16-bit is called without QT_Thunk

  // The memory figures were final: later requests succeed without collecting again.
  machine.qtThunk = true;
  for (int request = 0; request < 2; ++request) {
    lines = Request(&ok);
    EXPECT_EQ(1, ok);
    EXPECT_EQ(L"Remaining User Resources : 0%", lines[10]);
  }
  EXPECT_EQ(1, machine.statusCalls);
}

TEST_F(MemoryDeviceTest, Missing16BitServicesLeaveResourcesUnknown) {
  machine.kernelExports = false;
  int ok = 1;
  Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_TRUE(machine.loaded.empty());

  // USER.EXE not loadable: nothing to release.
  machine.kernelExports = true;
  machine.userModule = 2;
  EXPECT_EQ(L"Remaining GDI Resources : 0%", Lines(&ok)[9]);
  EXPECT_EQ(0, ok);
  EXPECT_TRUE(machine.looked.empty());
  EXPECT_TRUE(machine.freed.empty());

  // No GetFreeSystemResources: the module is released, nothing is called.
  machine.userModule = 0x2A17;
  machine.procedure = 0;
  Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ(std::vector<WORD>{0x2A17}, machine.freed);
  EXPECT_TRUE(machine.selectors.empty());
}

}  // namespace
}  // namespace devlore

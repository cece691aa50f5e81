#include "devices/logical_disk_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/text.h"
#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

using SectorWord = LogicalDiskDevice::SectorWord;

// One request as the fake VOLQ.VXD saw it.
struct Request {
  DWORD code;
  DWORD inputSize;
  std::vector<SectorWord> words;  // the record read through the input pointer
  DWORD outputSize;
};

struct Machine {
  bool driverPresent = true;
  std::vector<uint8_t> bootSector = std::vector<uint8_t>(512, 0);
  bool kernelLoads = true;
  bool exPresent = true;
  BOOL exResult = TRUE;
  ULARGE_INTEGER exFreeToCaller = {}, exTotal = {}, exTotalFree = {};
  BOOL legacyResult = TRUE;
  DWORD sectorsPerCluster = 64, bytesPerSector = 512, freeClusters = 0, totalClusters = 0;

  std::vector<std::string> opened;
  DWORD access = 99, share = 99, disposition = 99, flags = 99;
  std::vector<Request> requests;
  int closes = 0;
  std::vector<std::string> loadedPaths;
  int frees = 0;
  std::vector<std::string> roots;
  int legacyCalls = 0;
};
Machine* g_machine = nullptr;
const HANDLE kVolqHandle = reinterpret_cast<HANDLE>(0x7001);
const HMODULE kKernelModule = reinterpret_cast<HMODULE>(0x7A0000);

HANDLE WINAPI FakeCreateFile(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                             DWORD flags, HANDLE) {
  g_machine->opened.push_back(name);
  g_machine->access = access;
  g_machine->share = share;
  g_machine->disposition = disposition;
  g_machine->flags = flags;
  return g_machine->driverPresent ? kVolqHandle : INVALID_HANDLE_VALUE;
}

// Answers like the disk probe driver: code 1 takes (bytes per sector, count),
// code 2 the sector request record and fills the buffer of word 1 when word 3
// is 1, code 9 the drive index.
BOOL WINAPI FakeDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  EXPECT_EQ(kVolqHandle, device);
  EXPECT_EQ(nullptr, overlapped);
  Request request{code, inputSize, {}, outputSize};
  const SectorWord* words = static_cast<const SectorWord*>(input);
  if (code == 1) {
    request.words.assign(words, words + 2);
  } else if (code == 2) {
    request.words.assign(words, words + 8);
    if (words[3] == 1) {
      const auto& sector = g_machine->bootSector;
      std::memcpy(reinterpret_cast<void*>(words[1]), sector.data(), sector.size());
    } else {
      std::memset(reinterpret_cast<void*>(words[1]), 0xEE, 512);
    }
  } else if (code == 9) {
    request.words.push_back(static_cast<SectorWord>(*static_cast<const int32_t*>(input)));
    std::memset(output, 0x55, outputSize);
  }
  g_machine->requests.push_back(request);
  if (returned) *returned = 4;
  return TRUE;
}

BOOL WINAPI FakeCloseHandle(HANDLE handle) {
  EXPECT_EQ(kVolqHandle, handle);
  ++g_machine->closes;
  return TRUE;
}

HMODULE WINAPI FakeLoadLibrary(LPCSTR path) {
  g_machine->loadedPaths.push_back(path);
  return g_machine->kernelLoads ? kKernelModule : nullptr;
}

BOOL WINAPI FakeFreeLibrary(HMODULE module) {
  EXPECT_EQ(kKernelModule, module);
  ++g_machine->frees;
  return TRUE;
}

BOOL WINAPI FakeGetDiskFreeSpaceEx(LPCSTR root, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                                   PULARGE_INTEGER totalFree) {
  g_machine->roots.push_back(root);
  if (!g_machine->exResult) return FALSE;
  *freeToCaller = g_machine->exFreeToCaller;
  *total = g_machine->exTotal;
  *totalFree = g_machine->exTotalFree;
  return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  EXPECT_EQ(kKernelModule, module);
  EXPECT_STREQ("GetDiskFreeSpaceExA", name);
  return g_machine->exPresent ? reinterpret_cast<FARPROC>(&FakeGetDiskFreeSpaceEx) : nullptr;
}

BOOL WINAPI FakeGetDiskFreeSpace(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                 LPDWORD freeClusters, LPDWORD totalClusters) {
  ++g_machine->legacyCalls;
  g_machine->roots.push_back(root);
  if (!g_machine->legacyResult) return FALSE;
  *sectorsPerCluster = g_machine->sectorsPerCluster;
  *bytesPerSector = g_machine->bytesPerSector;
  *freeClusters = g_machine->freeClusters;
  *totalClusters = g_machine->totalClusters;
  return TRUE;
}

class LogicalDiskDeviceTest : public ::testing::Test {
 protected:
  LogicalDiskDeviceTest() {
    g_machine = &machine;
    auto& api = fake.Api();
    api.createFileA = &FakeCreateFile;
    api.deviceIoControl = &FakeDeviceIoControl;
    api.closeHandle = &FakeCloseHandle;
    api.loadLibraryA = &FakeLoadLibrary;
    api.freeLibrary = &FakeFreeLibrary;
    api.getProcAddress = &FakeGetProcAddress;
    api.getDiskFreeSpaceA = &FakeGetDiskFreeSpace;
    machine.exTotal.QuadPart = 2147483648ull;
    machine.exTotalFree.QuadPart = 1610612736ull;
    machine.exFreeToCaller.QuadPart = 1048576ull;
    machine.bootSector[13] = 8;
    PutText(54, "FAT16   ");
  }
  ~LogicalDiskDeviceTest() override { g_machine = nullptr; }

  void PutText(size_t at, const char* text) {
    std::memcpy(machine.bootSector.data() + at, text, std::strlen(text));
  }

  std::vector<std::wstring> Lines(int* ok = nullptr, int32_t drive = 2) {
    device.reset(LogicalDiskDevice::Create(drive));
    EXPECT_NE(nullptr, device);
    return Request(ok);
  }
  std::vector<std::wstring> Request(int* ok = nullptr) {
    BSTR* table = nullptr;
    const int result = device->GetCategory(0, &table);
    if (ok) *ok = result;
    std::vector<std::wstring> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(table && table[i] ? table[i] : L"");
    return lines;
  }

  Machine machine;
  test::FakePlatform fake;
  std::unique_ptr<LogicalDiskDevice> device;
};

TEST_F(LogicalDiskDeviceTest, ConstructorSendsTheFiveDriverRequests) {
  device.reset(LogicalDiskDevice::Create(4));
  ASSERT_EQ(std::vector<std::string>{"\\\\.\\VOLQ.VXD"}, machine.opened);
  EXPECT_EQ(0u, machine.access);
  EXPECT_EQ(0u, machine.share);
  EXPECT_EQ(0u, machine.disposition);
  EXPECT_EQ(static_cast<DWORD>(FILE_FLAG_DELETE_ON_CLOSE), machine.flags);
  ASSERT_EQ(5u, machine.requests.size());
  const auto& r = machine.requests;
  const DWORD codes[] = {1, 2, 1, 2, 9};
  const DWORD outputs[] = {4, 4, 4, 4, 80};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(codes[i], r[i].code) << i;
    EXPECT_EQ(4u, r[i].inputSize) << i;
    EXPECT_EQ(outputs[i], r[i].outputSize) << i;
  }
  EXPECT_EQ((std::vector<SectorWord>{512, 1}), r[0].words);
  EXPECT_EQ((std::vector<SectorWord>{512, 1}), r[2].words);
  const SectorWord first[] = {1, 0, 0, 0, 4, 0, 512, 1};
  const SectorWord second[] = {2, 0, 0, 1, 4, 0, 512, 1};
  for (size_t w = 0; w < 8; ++w) {
    if (w == 1) continue;  // buffer addresses
    EXPECT_EQ(first[w], r[1].words[w]) << w;
    EXPECT_EQ(second[w], r[3].words[w]) << w;
  }
  EXPECT_NE(0u, r[1].words[1]);
  EXPECT_NE(0u, r[3].words[1]);
  EXPECT_NE(r[1].words[1], r[3].words[1]);  // the scratch read does not land in the boot sector
  EXPECT_EQ(std::vector<SectorWord>{4}, r[4].words);
  EXPECT_EQ(1, machine.closes);
}

TEST_F(LogicalDiskDeviceTest, SizesFromTheExtendedServiceAndClusterSizeFromTheBootSector) {
  machine.sectorsPerCluster = 64;  // the kernel's answer, which must not be used here
  int ok = 0;
  const auto lines = Lines(&ok);
  EXPECT_EQ(1, ok);
  const std::vector<std::wstring> expected = {
      L"Logical Disk Information",
      L"Total Size: 2,147,483,648 bytes. (2.0 GB)",
      L"Free Space: 1,610,612,736 bytes. (1.5 GB)",  // all free bytes, not those left to the caller
      L"Bytes Per Cluster: 4,096 bytes. (4.0 KB)",
      L"File System: FAT16",
  };
  EXPECT_EQ(expected, lines);
  EXPECT_EQ(0, machine.legacyCalls);

  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_EQ(std::vector<std::string>{std::string(windows) + "\\System\\kernel32.dll"}, machine.loadedPaths);
  EXPECT_EQ(1, machine.frees);
  EXPECT_EQ(std::vector<std::string>{"C:\\"}, machine.roots);
}

TEST_F(LogicalDiskDeviceTest, SmallClustersShowEmptyParentheses) {
  machine.bootSector[13] = 1;
  EXPECT_EQ(L"Bytes Per Cluster: 512 bytes. ()", Lines()[3]);
}

TEST_F(LogicalDiskDeviceTest, FallbackServiceGivesSizesFromClusterCounts) {
  machine.exPresent = false;
  machine.sectorsPerCluster = 8;
  machine.bytesPerSector = 512;
  machine.freeClusters = 1000;
  machine.totalClusters = 2000;
  int ok = 0;
  const auto lines = Lines(&ok, 3);
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"Total Size: 8,192,000 bytes. (7.8 MB)", lines[1]);
  EXPECT_EQ(L"Free Space: 4,096,000 bytes. (3.9 MB)", lines[2]);
  EXPECT_EQ(L"Bytes Per Cluster: 4,096 bytes. (4.0 KB)", lines[3]);
  EXPECT_EQ(std::vector<std::string>{"D:\\"}, machine.roots);
}

TEST_F(LogicalDiskDeviceTest, FileSystemNameIsTheFiveBytesAtTheFirstFat) {
  struct Case {
    size_t at;
    const char* text;
    const wchar_t* line;
  };
  const Case cases[] = {
      {82, "FAT32   ", L"File System: FAT32"},
      {54, "FAT     ", L"File System: FAT  "},
      {3, "FATFORM ", L"File System: FATFO"},  // earlier than the type field
  };
  for (const Case& c : cases) {
    machine.bootSector.assign(512, 0);
    PutText(c.at, c.text);
    if (c.at == 3) PutText(54, "FAT12   ");
    EXPECT_EQ(c.line, Lines()[4]);
  }
}

TEST_F(LogicalDiskDeviceTest, NameAtTheEndOfTheSectorTakesNothingBeyondIt) {
  // A driver that wrote past the 512 bytes of the sector: those bytes are not part of the name.
  machine.bootSector.assign(516, 0);
  PutText(509, "FATXYZ!");
  EXPECT_EQ(L"File System: FAT", Lines()[4]);

  // Three letters cut by the sector's end are no hit.
  machine.bootSector.assign(516, 0);
  PutText(510, "FATXYZ");
  int ok = 1;
  EXPECT_EQ(L"File System: ", Lines(&ok)[4]);
  EXPECT_EQ(0, ok);
}

TEST_F(LogicalDiskDeviceTest, WithoutBootSectorEveryRequestCollectsAgainAndFails) {
  machine.driverPresent = false;
  int ok = 1;
  auto lines = Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_TRUE(machine.requests.empty());
  EXPECT_EQ(0, machine.closes);
  EXPECT_EQ(L"Total Size: 2,147,483,648 bytes. (2.0 GB)", lines[1]);
  EXPECT_EQ(L"Bytes Per Cluster: 0 bytes. ()", lines[3]);  // zero-filled boot sector
  EXPECT_EQ(L"File System: ", lines[4]);
  for (int request = 0; request < 2; ++request) {
    Request(&ok);
    EXPECT_EQ(0, ok);
  }
  EXPECT_EQ(3u, machine.roots.size());  // sizes queried afresh on every request
}

TEST_F(LogicalDiskDeviceTest, FailedLoadOrFreeSpaceCallGathersNothing) {
  machine.kernelLoads = false;
  int ok = 1;
  auto lines = Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ(L"Total Size: 0 bytes. ()", lines[1]);
  EXPECT_EQ(L"Bytes Per Cluster: 0 bytes. ()", lines[3]);
  EXPECT_EQ(L"File System: ", lines[4]);
  EXPECT_TRUE(machine.roots.empty());
  EXPECT_EQ(0, machine.frees);

  machine.kernelLoads = true;
  machine.exResult = FALSE;
  lines = Lines(&ok);
  EXPECT_EQ(1, ok);  // the name was found
  EXPECT_EQ(L"Free Space: 0 bytes. ()", lines[2]);
  EXPECT_EQ(L"Bytes Per Cluster: 0 bytes. ()", lines[3]);
}

// The shipped path: the kernel module is looked for under the Windows
// directory's "System" folder, where only Windows 9x keeps it. Elsewhere (Wine,
// Windows NT) the load fails and the device gathers no sizes.
TEST(LogicalDiskDeviceOnThisSystem, LoadsTheKernelFromTheSystemFolderOrGathersNothing) {
  test::FakePlatform fake;
  Machine machine;
  g_machine = &machine;
  machine.bootSector[54] = 'F';
  machine.bootSector[55] = 'A';
  machine.bootSector[56] = 'T';
  fake.Api().createFileA = &FakeCreateFile;
  fake.Api().deviceIoControl = &FakeDeviceIoControl;
  fake.Api().closeHandle = &FakeCloseHandle;
  std::unique_ptr<LogicalDiskDevice> device(LogicalDiskDevice::Create(2));
  BSTR* table = nullptr;
  const int ok = device->GetCategory(0, &table);
  ASSERT_NE(nullptr, table);

  char path[MAX_PATH];
  GetWindowsDirectoryA(path, MAX_PATH);
  lstrcatA(path, "\\System\\kernel32.dll");
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    EXPECT_EQ(0, ok);
    EXPECT_STREQ(L"Total Size: 0 bytes. ()", table[1]);
  } else {
    EXPECT_EQ(1, ok);
    ULARGE_INTEGER caller, total, totalFree;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &caller, &total, &totalFree));
    char digits[32];
    FormatUnsigned64(total.QuadPart, digits);
    GroupThousands(digits);
    const std::string expected = std::string("Total Size: ") + digits + " bytes. (";
    EXPECT_EQ(std::wstring(expected.begin(), expected.end()), std::wstring(table[1]).substr(0, expected.size()));
  }
  g_machine = nullptr;
}

}  // namespace
}  // namespace devlore

#include "devices/logical_disk_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "tests/devices_platform/device_lines.h"
#include "tests/support/fake_platform.h"

namespace devlore {
namespace {

using Word = LogicalDiskDevice::SectorWord;

// The fake disk probe driver and kernel, and what the device asked of them.
struct Machine {
  bool driverPresent = true, kernelLoads = true, exPresent = true;
  BOOL exResult = TRUE;
  uint64_t total = 2147483648ull, totalFree = 1610612736ull, freeToCaller = 1048576;
  DWORD legacy[4] = {8, 512, 1000, 2000};  // sectors per cluster, bytes per sector, free, total clusters
  std::vector<uint8_t> bootSector = std::vector<uint8_t>(512, 0);
  std::string opened, loaded, roots;
  DWORD openArguments[4] = {9, 9, 9, 9};
  std::vector<std::vector<Word>> requests;  // code, input size, output size, then the words read
  int closes = 0, frees = 0;
} * g;
const HANDLE kDriver = reinterpret_cast<HANDLE>(0x7001);
const HMODULE kKernel = reinterpret_cast<HMODULE>(0x7A0000);

HANDLE WINAPI Open(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  g->opened = name;
  const DWORD arguments[4] = {access, share, disposition, flags};
  std::memcpy(g->openArguments, arguments, sizeof arguments);
  return g->driverPresent ? kDriver : INVALID_HANDLE_VALUE;
}
// Answers like VOLQ.VXD: code 1 reads (bytes per sector, count), code 2 the
// sector request and fills the buffer of word 1 when word 3 is 1, code 9 the drive.
BOOL WINAPI Control(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                    LPDWORD, LPOVERLAPPED) {
  EXPECT_EQ(kDriver, device);
  const Word* words = static_cast<const Word*>(input);
  std::vector<Word> seen = {code, inputSize, outputSize};
  if (code == 1) seen.insert(seen.end(), words, words + 2);
  if (code == 2) {
    seen.insert(seen.end(), words, words + 8);
    if (words[3] == 1) std::memcpy(reinterpret_cast<void*>(words[1]), g->bootSector.data(), g->bootSector.size());
  }
  if (code == 9) seen.push_back(static_cast<Word>(*static_cast<const int32_t*>(input)));
  g->requests.push_back(seen);
  return TRUE;
}
BOOL WINAPI Close(HANDLE) { return ++g->closes; }
HMODULE WINAPI Load(LPCSTR path) {
  g->loaded = path;
  return g->kernelLoads ? kKernel : nullptr;
}
BOOL WINAPI Free(HMODULE module) { return module == kKernel && ++g->frees; }
BOOL WINAPI FreeSpaceEx(LPCSTR root, PULARGE_INTEGER caller, PULARGE_INTEGER total, PULARGE_INTEGER totalFree) {
  g->roots += root;
  caller->QuadPart = g->freeToCaller;
  total->QuadPart = g->total;
  totalFree->QuadPart = g->totalFree;
  return g->exResult;
}
FARPROC WINAPI ProcAddress(HMODULE module, LPCSTR name) {
  EXPECT_TRUE(module == kKernel && std::strcmp(name, "GetDiskFreeSpaceExA") == 0);
  return g->exPresent ? reinterpret_cast<FARPROC>(&FreeSpaceEx) : nullptr;
}
BOOL WINAPI FreeSpace(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD free, LPDWORD total) {
  g->roots += root;
  *sectorsPerCluster = g->legacy[0];
  *bytesPerSector = g->legacy[1];
  *free = g->legacy[2];
  *total = g->legacy[3];
  return TRUE;
}

class LogicalDiskDeviceTest : public ::testing::Test {
 protected:
  LogicalDiskDeviceTest() {
    g = &machine;
    auto& api = fake.Api();
    api.createFileA = &Open;
    api.deviceIoControl = &Control;
    api.closeHandle = &Close;
    api.loadLibraryA = &Load;
    api.freeLibrary = &Free;
    api.getProcAddress = &ProcAddress;
    api.getDiskFreeSpaceA = &FreeSpace;
    machine.bootSector[13] = 8;
    Put(54, "FAT16   ");
  }
  void Put(size_t at, const char* text) { std::memcpy(machine.bootSector.data() + at, text, std::strlen(text)); }
  std::vector<std::wstring> Lines(int* ok = nullptr, int32_t drive = 2) {
    device.reset(LogicalDiskDevice::Create(drive));
    return test::CategoryLines(*device, ok);
  }
  Machine machine;
  test::FakePlatform fake;
  std::unique_ptr<LogicalDiskDevice> device;
};

TEST_F(LogicalDiskDeviceTest, ConstructorSendsTheFiveDriverRequests) {
  device.reset(LogicalDiskDevice::Create(4));
  EXPECT_EQ("\\\\.\\VOLQ.VXD", machine.opened);
  const DWORD expectedOpen[4] = {0, 0, 0, FILE_FLAG_DELETE_ON_CLOSE};
  EXPECT_EQ(0, std::memcmp(expectedOpen, machine.openArguments, sizeof expectedOpen));
  ASSERT_EQ(5u, machine.requests.size());
  auto& r = machine.requests;
  const Word scratch = r[1][4], boot = r[3][4];  // word 1 of each read: the buffers
  EXPECT_TRUE(scratch && boot && scratch != boot);
  EXPECT_EQ((std::vector<Word>{1, 4, 4, 512, 1}), r[0]);
  EXPECT_EQ((std::vector<Word>{2, 4, 4, 1, scratch, 0, 0, 4, 0, 512, 1}), r[1]);
  EXPECT_EQ((std::vector<Word>{1, 4, 4, 512, 1}), r[2]);
  EXPECT_EQ((std::vector<Word>{2, 4, 4, 2, boot, 0, 1, 4, 0, 512, 1}), r[3]);
  EXPECT_EQ((std::vector<Word>{9, 4, 80, 4}), r[4]);
  EXPECT_EQ(1, machine.closes);
}

TEST_F(LogicalDiskDeviceTest, ExtendedServiceGivesSizesAndTheBootSectorTheClusterSize) {
  int ok = 0;
  EXPECT_EQ((std::vector<std::wstring>{
                L"Logical Disk Information",
                L"Total Size: 2,147,483,648 bytes. (2.0 GB)",
                L"Free Space: 1,610,612,736 bytes. (1.5 GB)",  // all free bytes, not the caller's share
                L"Bytes Per Cluster: 4,096 bytes. (4.0 KB)",   // not the kernel's 8 x 512 either
                L"File System: FAT16",
            }),
            Lines(&ok));
  EXPECT_EQ(1, ok);
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_EQ(std::string(windows) + "\\System\\kernel32.dll", machine.loaded);
  EXPECT_EQ("C:\\", machine.roots);
  EXPECT_EQ(1, machine.frees);

  machine.bootSector[13] = 1;
  EXPECT_EQ(L"Bytes Per Cluster: 512 bytes. ()", Lines()[3]);
}

TEST_F(LogicalDiskDeviceTest, FallbackServiceGivesSizesFromClusterCounts) {
  machine.exPresent = false;
  const auto lines = Lines(nullptr, 3);
  EXPECT_EQ(L"Total Size: 8,192,000 bytes. (7.8 MB)", lines[1]);
  EXPECT_EQ(L"Free Space: 4,096,000 bytes. (3.9 MB)", lines[2]);
  EXPECT_EQ(L"Bytes Per Cluster: 4,096 bytes. (4.0 KB)", lines[3]);
  EXPECT_EQ("D:\\", machine.roots);
}

TEST_F(LogicalDiskDeviceTest, FileSystemIsTheFiveBytesAtTheFirstFatWithinTheSector) {
  const struct {
    size_t at;
    const char* text;
    const wchar_t* line;
  } cases[] = {
      {82, "FAT32   ", L"File System: FAT32"},
      {54, "FAT     ", L"File System: FAT  "},
      {3, "FATFORM ", L"File System: FATFO"},  // earlier than the type field below
      {509, "FATXYZ!", L"File System: FAT"},   // bytes past the sector are not taken
  };
  for (const auto& c : cases) {
    machine.bootSector.assign(516, 0);  // a driver that wrote past the sector
    Put(c.at, c.text);
    Put(82, c.at == 3 ? "FAT32" : "");
    EXPECT_EQ(c.line, Lines()[4]);
  }
  machine.bootSector.assign(516, 0);
  Put(510, "FATXYZ");  // three letters cut by the sector's end are no hit
  int ok = 1;
  EXPECT_EQ(L"File System: ", Lines(&ok)[4]);
  EXPECT_EQ(0, ok);
}

TEST_F(LogicalDiskDeviceTest, WithoutBootSectorEveryRequestCollectsAgainAndFails) {
  machine.driverPresent = false;
  int ok = 1;
  EXPECT_EQ((std::vector<std::wstring>{L"Logical Disk Information", L"Total Size: 2,147,483,648 bytes. (2.0 GB)",
                                       L"Free Space: 1,610,612,736 bytes. (1.5 GB)",
                                       L"Bytes Per Cluster: 0 bytes. ()", L"File System: "}),
            Lines(&ok));
  EXPECT_EQ(0, ok);
  EXPECT_TRUE(machine.requests.empty() && machine.closes == 0);
  test::CategoryLines(*device, &ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ("C:\\C:\\", machine.roots);  // sizes queried afresh
}

TEST_F(LogicalDiskDeviceTest, FailedLoadOrFreeSpaceCallGathersNothing) {
  machine.kernelLoads = false;
  int ok = 1;
  auto lines = Lines(&ok);
  EXPECT_EQ(0, ok);
  EXPECT_EQ(L"Total Size: 0 bytes. ()", lines[1]);
  EXPECT_EQ(L"File System: ", lines[4]);
  EXPECT_EQ("", machine.roots);
  machine.kernelLoads = true;
  machine.exResult = FALSE;
  lines = Lines(&ok);
  EXPECT_EQ(1, ok);  // the name was found
  EXPECT_EQ(L"Free Space: 0 bytes. ()", lines[2]);
  EXPECT_EQ(L"Bytes Per Cluster: 0 bytes. ()", lines[3]);
}

}  // namespace
}  // namespace devlore

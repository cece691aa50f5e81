// The logical disk device with the real VOLQ.VXD, loaded from the prefix's
// driver folder through the 9x loader stand-in, on the fixture's image drives.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devices/logical_disk_device.h"
#include "model/device_list.h"
#include "tests/drivers/driver_test_support.h"
#include "tests/support/fake_platform.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/vxd_loader.h"

namespace devlore::test {
namespace {

struct Request {
  DWORD code;
  DWORD inputSize;
  DWORD outputSize;
  BOOL result;
  std::vector<ULONG_PTR> words;      // the record of a code 2 request
  std::vector<unsigned char> read;   // its buffer's first 512 bytes afterwards
};

std::vector<Request> g_requests;

BOOL WINAPI RecordingDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                     DWORD outputSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  const BOOL result =
      VxdLoaderDeviceIoControl(device, code, input, inputSize, output, outputSize, returned, overlapped);
  Request request{code, inputSize, outputSize, result, {}, {}};
  if (code == 2 && input) {
    const ULONG_PTR* words = static_cast<const ULONG_PTR*>(input);
    request.words.assign(words, words + 8);
    const unsigned char* buffer = reinterpret_cast<const unsigned char*>(words[1]);
    if (buffer) request.read.assign(buffer, buffer + 512);
  }
  g_requests.push_back(request);
  return result;
}

// The device finds GetDiskFreeSpaceExA in "<Windows dir>\System\kernel32.dll",
// where Windows 9x keeps the kernel; Wine keeps it in system32.
HMODULE WINAPI Windows9xLoadLibrary(LPCSTR name) {
  const std::string path = name ? name : "";
  const std::string tail = "\\system\\kernel32.dll";
  if (path.size() >= tail.size() && lstrcmpiA(path.c_str() + path.size() - tail.size(), tail.c_str()) == 0) {
    return LoadLibraryA("kernel32.dll");
  }
  return LoadLibraryA(name);
}

std::string Grouped(unsigned value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; text && i < SysStringLen(text); ++i) out.push_back(static_cast<char>(text[i]));
  return out;
}

struct DeviceDeleter {
  void operator()(LogicalDiskDevice* device) const { delete device; }
};

class LogicalDiskDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseVxdLoader(platform_.Api());
    platform_.Api().deviceIoControl = &RecordingDeviceIoControl;
    platform_.Api().loadLibraryA = &Windows9xLoadLibrary;
    g_requests.clear();
    ASSERT_TRUE(folder_.changed()) << "driver folder " << DriverFolder()
                                   << " missing: run through ctest (fixture drivers_setup)";
  }
  void TearDown() override { EXPECT_EQ(0, OpenVxdHandleCount()); }

  // The boot sector's sectors-per-cluster byte, read through the driver.
  unsigned SectorsPerCluster(int drive) {
    DriverHandle driver(platform_.Api(), "\\\\.\\VOLQ.VXD");
    unsigned char boot[512] = {};
    ULONG_PTR words[8] = {2, reinterpret_cast<ULONG_PTR>(boot), 0, 1, static_cast<ULONG_PTR>(drive), 0, 512, 1};
    DWORD answer = 0, returned = 0;
    EXPECT_TRUE(driver.Request(2, words, 4, &answer, sizeof(answer), &returned));
    return boot[13];
  }

  FakePlatform platform_;
  CurrentDirectory folder_{DriverFolder()};
};

TEST_F(LogicalDiskDriverTest, ConstructorReadsTheBootSectorThroughTheDriver) {
  std::unique_ptr<LogicalDiskDevice, DeviceDeleter> device(LogicalDiskDevice::Create(kFat12Drive));
  ASSERT_NE(nullptr, device);
  ASSERT_EQ(5u, g_requests.size());
  const DWORD codes[] = {1, 2, 1, 2, 9};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(codes[i], g_requests[i].code);
    EXPECT_EQ(4u, g_requests[i].inputSize);
  }
  EXPECT_TRUE(g_requests[0].result);
  // The first read names sector 0, which the driver refuses.
  EXPECT_FALSE(g_requests[1].result);
  EXPECT_TRUE(g_requests[2].result);
  ASSERT_TRUE(g_requests[3].result) << "second read";
  ASSERT_EQ(512u, g_requests[3].read.size());
  EXPECT_EQ("FAT12   ", std::string(reinterpret_cast<const char*>(&g_requests[3].read[54]), 8));
  EXPECT_EQ(0x55, g_requests[3].read[510]);
  EXPECT_EQ(static_cast<ULONG_PTR>(kFat12Drive), g_requests[3].words[4]);
  EXPECT_TRUE(g_requests[4].result);
  EXPECT_EQ(80u, g_requests[4].outputSize);
}

TEST_F(LogicalDiskDriverTest, ReportsFileSystemAndClusterSizeOfEachImage) {
  const struct {
    int drive;
    const char* name;
  } drives[] = {{kFat12Drive, "FAT12"}, {kFat16Drive, "FAT16"}, {kFat32Drive, "FAT32"}};
  for (const auto& drive : drives) {
    SCOPED_TRACE(drive.name);
    const unsigned clusterBytes = SectorsPerCluster(drive.drive) * 512;
    ASSERT_GT(clusterBytes, 0u);
    std::unique_ptr<LogicalDiskDevice, DeviceDeleter> device(LogicalDiskDevice::Create(drive.drive));
    ASSERT_NE(nullptr, device);
    BSTR* table = nullptr;
    ASSERT_EQ(1, device->GetCategory(0, &table));
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(std::string("File System: ") + drive.name, Narrow(table[4]));
    const std::string cluster = "Bytes Per Cluster: " + Grouped(clusterBytes) + " bytes. (";
    EXPECT_EQ(cluster, Narrow(table[3]).substr(0, cluster.size()));
  }
}

TEST_F(LogicalDiskDriverTest, DriveWithoutRawDeviceHasNoBootSector) {
  std::unique_ptr<LogicalDiskDevice, DeviceDeleter> device(LogicalDiskDevice::Create(kBareDrive));
  ASSERT_NE(nullptr, device);
  ASSERT_EQ(5u, g_requests.size());
  EXPECT_FALSE(g_requests[1].result);
  EXPECT_FALSE(g_requests[3].result);
  EXPECT_FALSE(g_requests[4].result);
  // Nothing was read, so no "FAT" is found: every request for the category fails.
  BSTR* table = nullptr;
  EXPECT_EQ(0, device->GetCategory(0, &table));
  EXPECT_EQ(0, device->GetCategory(0, &table));
}

// The whole list, as InitializeDeviceObjects builds it with the driver folder
// current: one disk device per fixed drive, each with its own boot sector.
TEST_F(LogicalDiskDriverTest, DeviceListReadsEveryFixedDrive) {
  FakeMachine machine;
  machine.AddTypicalDevices();
  platform_.SetDrives({{"A:\\", DRIVE_REMOVABLE}, {"M:\\", DRIVE_FIXED}, {"O:\\", DRIVE_FIXED}});
  EXPECT_EQ(1, InitializeDeviceList());
  struct ListOwner {
    ~ListOwner() { TerminateDeviceList(); }
  } owner;
  ASSERT_EQ(2u + 5u, DeviceListCount());
  EXPECT_EQ(0, OpenVxdHandleCount());
  const char* names[] = {"FAT12", "FAT32"};
  const char* types[] = {"Drive M:", "Drive O:"};
  for (int i = 0; i < 2; ++i) {
    DeviceObject* device = DeviceListArray()[i];
    EXPECT_EQ(types[i], Narrow(device->typeName));
    BSTR* table = nullptr;
    ASSERT_EQ(1, device->GetCategory(0, &table)) << types[i];
    EXPECT_EQ(std::string("File System: ") + names[i], Narrow(table[4]));
  }
}

}  // namespace
}  // namespace devlore::test

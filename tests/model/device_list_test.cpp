#include "model/device_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"
#include "tests/support/fake_platform.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using test::FakeDrive;

std::vector<std::string> TypeTexts() {
  std::vector<std::string> texts;
  DeviceObject** devices = nullptr;
  int32_t count = -1;
  EXPECT_EQ(1, GetNumberOfDeviceObjects(&count));
  EXPECT_EQ(1, GetPointerToDeviceObjectArray(&devices));
  for (int32_t i = 0; i < count; ++i) {
    char text[64] = {};
    WideCharToMultiByte(CP_ACP, 0, devices[i]->typeName, -1, text, sizeof text, nullptr, nullptr);
    texts.push_back(text);
  }
  return texts;
}

void ExpectNoList() {
  int32_t count = -1;
  DeviceObject** devices = reinterpret_cast<DeviceObject**>(1);
  EXPECT_EQ(1, GetNumberOfDeviceObjects(&count));
  EXPECT_EQ(1, GetPointerToDeviceObjectArray(&devices));
  EXPECT_EQ(0, count);
  EXPECT_EQ(nullptr, devices);
}

DWORD WINAPI DriveListMustNotBeRead(DWORD, LPSTR) {
  ADD_FAILURE() << "drives must not be looked at";
  return 0;
}

class DeviceListTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_.AddTypicalDevices(); }
  void TearDown() override { TerminateDeviceList(); }

  test::FakeMachine machine_;
  test::FakePlatform platform_;
};

TEST_F(DeviceListTest, FixedDrivesComeFirstThenTheFiveDevices) {
  platform_.SetDrives({{"A:\\", DRIVE_REMOVABLE}, {"C:\\", DRIVE_FIXED}, {"D:\\", DRIVE_CDROM}, {"E:\\", DRIVE_FIXED}});
  ExpectNoList();
  ASSERT_EQ(1, InitializeDeviceList());
  const std::vector<std::string> expected = {"Drive C:", "Drive E:", "BIOS", "CPU", "Memory", "Monitor",
                                             "Primary Video Card"};
  EXPECT_EQ(expected, TypeTexts());
}

TEST_F(DeviceListTest, EachKindHasItsCategoryShape) {
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}});
  ASSERT_EQ(1, InitializeDeviceList());
  DeviceObject** devices = DeviceListArray();
  ASSERT_EQ(6u, DeviceListCount());
  const uint32_t singleCounts[] = {5, 4, 5, 11, 6};
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(1u, devices[i]->categoryCount) << i;
    EXPECT_EQ(singleCounts[i], devices[i]->elementCounts[0]) << i;
  }
  DeviceObject* display = devices[5];
  ASSERT_EQ(4u, display->categoryCount);
  EXPECT_EQ(2u, display->elementCounts[0]);
  EXPECT_EQ(2u, display->elementCounts[1]);
  EXPECT_EQ(2u, display->elementCounts[2]);
  EXPECT_GE(display->elementCounts[3], 1u);  // the header plus one per listed resolution
}

TEST_F(DeviceListTest, WithoutFixedDrivesTheBiosComesFirst) {
  platform_.SetDrives({{"A:\\", DRIVE_REMOVABLE}, {"D:\\", DRIVE_CDROM}});
  ASSERT_EQ(1, InitializeDeviceList());
  const std::vector<std::string> expected = {"BIOS", "CPU", "Memory", "Monitor", "Primary Video Card"};
  EXPECT_EQ(expected, TypeTexts());
}

TEST_F(DeviceListTest, LowerCaseRootsGiveTheCapitalLetter) {
  platform_.SetDrives({{"c:\\", DRIVE_FIXED}});
  ASSERT_EQ(1, InitializeDeviceList());
  EXPECT_EQ("Drive C:", TypeTexts().at(0));
}

TEST_F(DeviceListTest, ARootWithoutALetterStopsTheScanButKeepsTheList) {
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}, {"1:\\", DRIVE_FIXED}, {"E:\\", DRIVE_FIXED}});
  EXPECT_EQ(0, InitializeDeviceList());
  const std::vector<std::string> expected = {"Drive C:", "BIOS", "CPU", "Memory", "Monitor",
                                             "Primary Video Card"};
  EXPECT_EQ(expected, TypeTexts());
}

TEST_F(DeviceListTest, NoDriveListMeansNoDeviceList) {
  platform_.SetDriveStringsResult(0);
  EXPECT_EQ(0, InitializeDeviceList());
  ExpectNoList();
  // A result larger than the buffer means the list did not fit: also no list.
  platform_.SetDriveStringsResult(300);
  EXPECT_EQ(0, InitializeDeviceList());
  ExpectNoList();
}

TEST_F(DeviceListTest, TearDownsEmptyTheListAndMayRepeat) {
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}});
  ASSERT_EQ(1, InitializeDeviceList());
  EXPECT_EQ(6u, DeviceListCount());
  EXPECT_EQ(1, TerminateDeviceList());
  ExpectNoList();
  EXPECT_EQ(1, TerminateDeviceList());
  ExpectNoList();
}

TEST_F(DeviceListTest, ABuildOverALiveListStartsFromEmpty) {
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}, {"E:\\", DRIVE_FIXED}});
  ASSERT_EQ(1, InitializeDeviceList());
  EXPECT_EQ(7u, DeviceListCount());
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}});
  ASSERT_EQ(1, InitializeDeviceList());
  EXPECT_EQ(6u, DeviceListCount());
  TerminateDeviceList();  // the second build's CoInitialize
}

TEST_F(DeviceListTest, AnUnreadableClassWithNoMonitorFailsTheBuild) {
  test::FakeMachine machine;  // replaces the typical machine
  machine.AddNode("Root\\*PNP0C01\\0000", {{"DeviceDesc", "System board"}, {"Class", "System"}});
  machine.AddNode("Root\\*PNP0303\\0000", {{"DeviceDesc", "Standard 101/102-Key Keyboard"}});  // no Class
  machine.AddNode("PCI\\VEN_1002\\0000", {{"DeviceDesc", "Rage"}, {"Class", "DISPLAY"}});
  platform_.SetDrives({{"C:\\", DRIVE_FIXED}});
  EXPECT_EQ(0, InitializeDeviceList());
  ExpectNoList();
}

TEST_F(DeviceListTest, AnEmptyDynamicListFailsBeforeAnyDriveIsLookedAt) {
  test::FakeMachine empty;
  platform_.SetDriveStringsResult(0);
  platform_.Api().getLogicalDriveStringsA = &DriveListMustNotBeRead;
  EXPECT_EQ(0, InitializeDeviceList());
  ExpectNoList();
}

// COM stays usable on a thread that initialised it itself, however many
// tear-downs a page calls.
DWORD WINAPI TearDownsOnOwnApartment(void* result) {
  CoInitialize(nullptr);
  test::FakeMachine machine;
  machine.AddTypicalDevices();
  test::FakePlatform platform;
  platform.SetDrives({{"C:\\", DRIVE_FIXED}});
  InitializeDeviceList();
  TerminateDeviceList();
  TerminateDeviceList();
  TerminateDeviceList();
  ComPtr<IUnknown> table;
  const HRESULT hr =
      CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, table.ReceiveVoid());
  table.Reset();
  *static_cast<HRESULT*>(result) = hr;
  CoUninitialize();
  return 0;
}

TEST(DeviceListCom, ExtraTearDownsLeaveTheCallersApartmentAlone) {
  HRESULT hr = E_UNEXPECTED;
  HANDLE thread = CreateThread(nullptr, 0, &TearDownsOnOwnApartment, &hr, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(S_OK, hr);
}

}  // namespace
}  // namespace devlore

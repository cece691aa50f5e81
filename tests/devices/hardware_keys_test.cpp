#include "devices/hardware_keys.h"

#include <gtest/gtest.h>

#include <string>

#include "model/text.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using test::FakeMachine;

class HardwareKeysTest : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseHardwareKeys(); }

  std::string Entry(uint32_t i) { return HardwareKeys().entries[i]; }

  FakeMachine machine_;
  char path_[kLineSize] = {};
};

TEST_F(HardwareKeysTest, ListsPresentNodesInOrderAndSkipsNodesWithoutKey) {
  machine_.AddNode("Root\\*PNP0C01\\0000", {{"DeviceDesc", "System board"}});
  machine_.AddNodeWithoutHardwareKey();
  machine_.AddNode("MONITOR\\DEFAULT\\0001", {{"Class", "Monitor"}});
  ASSERT_EQ(1, EnumerateHardwareKeys());
  ASSERT_EQ(2u, HardwareKeys().count);
  EXPECT_EQ("Root\\*PNP0C01\\0000", Entry(0));
  EXPECT_EQ("MONITOR\\DEFAULT\\0001", Entry(1));
  EXPECT_EQ(3u + 16u, HardwareKeys().capacity);
  ReleaseHardwareKeys();
  EXPECT_EQ(0u, HardwareKeys().count);
  EXPECT_EQ(nullptr, HardwareKeys().entries);
}

TEST_F(HardwareKeysTest, AnEmptyOrMissingDynamicListFails) {
  EXPECT_EQ(0, EnumerateHardwareKeys());
  test::DeleteTree(HKEY_DYN_DATA, "Config Manager\\Enum");
  EXPECT_EQ(0, EnumerateHardwareKeys());
}

TEST_F(HardwareKeysTest, KeysOfTheLimitLengthAreKeptLongerOnesSkipped) {
  const std::string longest(259, 'k');
  machine_.AddNodeWithRawKey(REG_SZ, longest.c_str(), 260);
  const std::string tooLong(260, 'l');
  machine_.AddNodeWithRawKey(REG_SZ, tooLong.c_str(), 261);
  machine_.AddNodeWithRawKey(REG_BINARY, tooLong.data(), 260);  // fills the buffer without a terminator
  machine_.AddNodeWithRawKey(REG_BINARY, "Root\\X", 6);           // short and unterminated: usable
  ASSERT_EQ(1, EnumerateHardwareKeys());
  ASSERT_EQ(2u, HardwareKeys().count);
  EXPECT_EQ(longest, Entry(0));
  EXPECT_EQ("Root\\X", Entry(1));
}

TEST_F(HardwareKeysTest, TheFirstMatchingNodeWinsAndPathsHaveTheirForms) {
  machine_.AddNode("Root\\*PNP0C01\\0000", {{"DeviceDesc", "System Board"}, {"Class", "System"}});
  machine_.AddNode("MONITOR\\A\\0001", {{"DeviceDesc", "First"}, {"Class", "Monitor"}});
  machine_.AddNode("MONITOR\\B\\0002", {{"DeviceDesc", "Second"}, {"Class", "MONITOR"}});
  machine_.AddNode("PCI\\VEN_5333\\0000", {{"DeviceDesc", "Trio"}, {"Class", "DISPLAY"}});
  ASSERT_EQ(1, EnumerateHardwareKeys());
  ASSERT_EQ(1, FindSystemBoardKey(path_));
  EXPECT_STREQ("Enum\\Root\\*PNP0C01\\0000", path_);
  char monitor[kLineSize] = {};
  ASSERT_EQ(1, FindMonitorKey(monitor));
  EXPECT_STREQ("Enum\\MONITOR\\A\\0001", monitor);
  char display[kLineSize] = {};
  ASSERT_EQ(1, FindDisplayKey(display));
  EXPECT_STREQ("PCI\\VEN_5333\\0000", display);
}

TEST_F(HardwareKeysTest, OnlyTheTwoListedSpellingsMatch) {
  machine_.AddNode("Root\\A\\0000", {{"DeviceDesc", "SYSTEM BOARD"}, {"Class", "monitor"}});
  machine_.AddNode("Root\\B\\0000", {{"DeviceDesc", "system board"}, {"Class", "display"}});
  // Look-alikes with a soft hyphen, which a linguistic comparison skips.
  machine_.AddNode("Root\\C\\0000", {{"DeviceDesc", "System \xAD" "Board"}, {"Class", "MONI\xADTOR"}});
  machine_.AddNode("Root\\D\\0000", {{"DeviceDesc", "System board\xAD"}, {"Class", "DISPLAY\xAD"}});
  ASSERT_EQ(1, EnumerateHardwareKeys());
  // Every value was readable and nothing matched: success with an empty path.
  EXPECT_EQ(1, FindSystemBoardKey(path_));
  EXPECT_STREQ("", path_);
  EXPECT_EQ(1, FindMonitorKey(path_));
  EXPECT_EQ(1, FindDisplayKey(path_));
  EXPECT_STREQ("", path_);
}

TEST_F(HardwareKeysTest, AnUnreadableValueFailsOnlyWhenNothingMatches) {
  machine_.AddNode("Root\\*PNP0303\\0000", {{"DeviceDesc", "Keyboard"}});  // no Class
  machine_.AddNode("Root\\*PNP0C01\\0000", {{"DeviceDesc", "System board"}, {"Class", "System"}});
  machine_.AddNode("PCI\\VEN_1002\\0000", {{"DeviceDesc", "Rage"}, {"Class", "Display"}});
  ASSERT_EQ(1, EnumerateHardwareKeys());
  EXPECT_EQ(1, FindSystemBoardKey(path_));
  EXPECT_STREQ("Enum\\Root\\*PNP0C01\\0000", path_);
  char monitor[kLineSize] = {};
  EXPECT_EQ(0, FindMonitorKey(monitor));  // no monitor, and one Class unreadable
  EXPECT_STREQ("", monitor);
  char display[kLineSize] = {};
  EXPECT_EQ(1, FindDisplayKey(display));  // a match outweighs the earlier failed read
  EXPECT_STREQ("PCI\\VEN_1002\\0000", display);
}

TEST_F(HardwareKeysTest, AKeyTooLongForThePrefixedPathIsNotUsed) {
  // 255 characters: the bare key fits 260 bytes, "Enum\" + key does not.
  const std::string key = "Root\\" + std::string(250, 'm');
  machine_.AddNode(key, {{"Class", "Monitor"}});
  ASSERT_EQ(1, EnumerateHardwareKeys());
  char monitor[kLineSize] = {};
  EXPECT_EQ(0, FindMonitorKey(monitor));
  EXPECT_STREQ("", monitor);

  // The bare form used for the display adapter still fits.
  test::SetString(HKEY_LOCAL_MACHINE, "Enum\\" + key, "Class", "Display");
  char display[kLineSize] = {};
  EXPECT_EQ(1, FindDisplayKey(display));
  EXPECT_EQ(key, std::string(display));
}

}  // namespace
}  // namespace devlore

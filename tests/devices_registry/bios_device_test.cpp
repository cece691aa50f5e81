#include "devices/bios_device.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/devices_registry/device_strings.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using Lines = std::vector<std::string>;

const char kBoardKey[] = "Root\\*PNP0C01\\0000";
const char kBoardPath[] = "Enum\\Root\\*PNP0C01\\0000";

TEST(BiosDevice, ShowsNameVersionAndDateAfterTheSummary) {
  test::FakeMachine machine;
  machine.AddNode(kBoardKey, {{"BIOSName", "XYZ BIOS"}, {"BIOSVersion", "1.02"}, {"BIOSDate", "07/15/98"}});
  std::unique_ptr<BiosDevice> bios(BiosDevice::Create(kBoardPath));
  ASSERT_TRUE(bios);
  const test::CategoryRead read = test::ReadCategory(*bios, 0);
  EXPECT_EQ(1, read.ok);
  EXPECT_EQ((Lines{"BIOS Summary", "BIOS Name : XYZ BIOS", "BIOS Version : 1.02", "BIOS Date : 07/15/98"}),
            read.lines);
}

TEST(BiosDevice, MissingValuesFallBackOneByOne) {
  test::FakeMachine machine;
  machine.AddNode(kBoardKey, {{"BIOSDate", "07/15/98"}});
  std::unique_ptr<BiosDevice> bios(BiosDevice::Create(kBoardPath));
  ASSERT_TRUE(bios);
  const test::CategoryRead read = test::ReadCategory(*bios, 0);
  EXPECT_EQ(1, read.ok);
  EXPECT_EQ((Lines{"BIOS Summary", "BIOS Name Unavailable", "BIOS Version Unavailable", "BIOS Date : 07/15/98"}),
            read.lines);

  // No system board found: the values are looked for under HKEY_LOCAL_MACHINE itself.
  std::unique_ptr<BiosDevice> boardless(BiosDevice::Create(""));
  ASSERT_TRUE(boardless);
  EXPECT_EQ((Lines{"BIOS Summary", "BIOS Name Unavailable", "BIOS Version Unavailable", "BIOS Date Unavailable"}),
            test::ReadCategory(*boardless, 0).lines);
}

TEST(BiosDevice, ReadsTheRegistryOnlyOnce) {
  test::FakeMachine machine;
  machine.AddNode(kBoardKey, {{"BIOSName", "XYZ BIOS"}, {"BIOSVersion", "1.02"}});
  std::unique_ptr<BiosDevice> bios(BiosDevice::Create(kBoardPath));
  ASSERT_TRUE(bios);
  const test::CategoryRead first = test::ReadCategory(*bios, 0);

  test::SetString(HKEY_LOCAL_MACHINE, kBoardPath, "BIOSName", "Other BIOS");
  test::SetString(HKEY_LOCAL_MACHINE, kBoardPath, "BIOSDate", "01/01/99");
  const test::CategoryRead second = test::ReadCategory(*bios, 0);
  EXPECT_EQ(1, second.ok);
  EXPECT_EQ(first.table, second.table);
  EXPECT_EQ(first.lines, second.lines);
  EXPECT_EQ("BIOS Name : XYZ BIOS", second.lines[1]);
  EXPECT_EQ("BIOS Date Unavailable", second.lines[3]);
}

// A value that fills its 260-byte read buffer leaves no room for the label:
// the line is cut at 259 characters and keeps its label.
TEST(BiosDevice, AnOverlongValueIsCutToTheLine) {
  test::FakeMachine machine;
  const std::string longest(259, 'N');
  const std::string fitting(259 - 15, 'V');  // "BIOS Version : " is 15 characters
  machine.AddNode(kBoardKey, {{"BIOSName", longest}, {"BIOSVersion", fitting}, {"BIOSDate", std::string(260, 'D')}});
  std::unique_ptr<BiosDevice> bios(BiosDevice::Create(kBoardPath));
  ASSERT_TRUE(bios);
  const Lines lines = test::ReadCategory(*bios, 0).lines;
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(("BIOS Name : " + longest).substr(0, 259), lines[1]);
  EXPECT_EQ("BIOS Version : " + fitting, lines[2]);
  // 260 characters and a terminator do not fit the read buffer: not read at all.
  EXPECT_EQ("BIOS Date Unavailable", lines[3]);
}

}  // namespace
}  // namespace devlore

#include "devices/display_adapter_device.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <memory>

#include "base/handles.h"
#include "devices/display_modes.h"
#include "tests/devices_registry/device_strings.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using Lines = std::vector<std::string>;
using Modes = std::vector<std::pair<std::string, std::vector<std::string>>>;

const char kAdapterKey[] = "PCI\\VEN_5333&DEV_8901\\BUS_01&DEV_00&FUNC_00";
const char kDriver[] = "Display\\0000";
const char kClassPath[] = "System\\CurrentControlSet\\Services\\Class\\";

class DisplayAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override { test::DeleteTree(HKEY_CURRENT_CONFIG, "Display\\Settings"); }

  void AddAdapter(const std::string& driver = kDriver) {
    machine_.AddNode(kAdapterKey, {{"DeviceDesc", "S3 Trio64V2"}, {"Class", "Display"}, {"Driver", driver}});
  }

  std::unique_ptr<DisplayAdapterDevice> Make(const char* keyPath = kAdapterKey) {
    return std::unique_ptr<DisplayAdapterDevice>(DisplayAdapterDevice::Create(keyPath));
  }

  // Category 3 of an adapter whose driver lists these modes.
  Lines Listed(const Modes& modes) {
    AddAdapter();
    machine_.SetDisplaySettings("16", "800,600");
    machine_.AddDisplayModes(kDriver, modes);
    auto adapter = Make();
    if (!adapter) return {"<no device>"};
    const test::CategoryRead read = test::ReadCategory(*adapter, 3);
    EXPECT_EQ(1, read.ok);
    return read.lines;
  }

  test::FakeMachine machine_;
};

TEST_F(DisplayAdapterTest, ShowsTheCurrentModeAndTheCard) {
  AddAdapter();
  machine_.SetDisplaySettings("16", "800,600");
  machine_.AddDisplayModes(kDriver, {{"8", {"640,480"}}});
  auto adapter = Make();
  ASSERT_TRUE(adapter);
  EXPECT_EQ(1, adapter->collected);
  const test::CategoryRead resolution = test::ReadCategory(*adapter, 0);
  EXPECT_EQ(1, resolution.ok);
  EXPECT_EQ((Lines{"Current Resolution", "800x600"}), resolution.lines);
  EXPECT_EQ((Lines{"Current Color Depth", "16 Bit Color"}), test::ReadCategory(*adapter, 1).lines);
  EXPECT_EQ((Lines{"Name of Card", "S3 Trio64V2"}), test::ReadCategory(*adapter, 2).lines);
}

TEST_F(DisplayAdapterTest, EachResolutionOnceWithItsLargestDepth) {
  const Lines lines = Listed({{"8", {"640,480", "1024,768"}}, {"16", {"640,480", "1024,768"}}, {"32", {"640,480"}}});
  EXPECT_EQ((Lines{"Max Listed Color Depth", "640x480: 32-Bit", "1024x768: 16-Bit"}), lines);
}

// A name with a soft hyphen is another resolution, not a second spelling of
// 640,480 (a linguistic comparison would merge the two).
TEST_F(DisplayAdapterTest, ResolutionNamesAreComparedByTheirBytes) {
  const Lines lines = Listed({{"8", {"640,\xAD" "480"}}, {"16", {"640,480"}}});
  ASSERT_EQ(3u, lines.size());
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "640x480: 16-Bit"));
  EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "640x\xAD" "480: 8-Bit"));
}

// The registry enumerates the names alphabetically; the listing is numeric by
// the name without its comma.
TEST_F(DisplayAdapterTest, ResolutionsAreOrderedByWidthAndHeightNumber) {
  const Lines lines = Listed({{"16", {"1280,1024", "800,600", "1024,768", "640,480"}}, {"8", {"800,600"}}});
  EXPECT_EQ((Lines{"Max Listed Color Depth", "640x480: 16-Bit", "800x600: 16-Bit", "1024x768: 16-Bit",
                   "1280x1024: 16-Bit"}),
            lines);
}

TEST_F(DisplayAdapterTest, DepthNamesAreReadUpToTheFirstNonDigit) {
  EXPECT_EQ((Lines{"Max Listed Color Depth", "640x480: 0-Bit", "800x600: 24-Bit"}),
            Listed({{"True Color", {"640,480"}}, {" 24bpp", {"800,600"}}}));
  EXPECT_EQ(0u, ParseDepth("High"));
  EXPECT_EQ(4294967295u, ParseDepth("99999999999"));
}

// Names without a comma are keyed by their leading digits; different names
// that share a key are each listed, with their own depths.
TEST_F(DisplayAdapterTest, NamesWithoutACommaKeepTheirOwnLines) {
  // Equal keys keep the enumeration order (alphabetical here).
  EXPECT_EQ((Lines{"Max Listed Color Depth", "VGA: 8-Bit", "640x400: 8-Bit", "640x480: 16-Bit",
                   "1024x768: 8-Bit", "800x600: 8-Bit"}),
            Listed({{"8", {"VGA", "640x480", "640x400", "1024x768", "800,600"}}, {"16", {"640x480"}}}));
  EXPECT_EQ(12801024, ResolutionSortKey("1280,1024"));
  EXPECT_EQ(2147483647, ResolutionSortKey("99999,99999"));
}

TEST_F(DisplayAdapterTest, WithoutListedModesOnlyTheHeader) {
  AddAdapter();
  machine_.SetDisplaySettings("8", "640,480");
  test::CreateKey(HKEY_LOCAL_MACHINE, std::string(kClassPath) + kDriver);  // no "MODES" below it
  auto adapter = Make();
  ASSERT_TRUE(adapter);
  EXPECT_EQ(1u, adapter->elementCounts[3]);
  const test::CategoryRead read = test::ReadCategory(*adapter, 3);
  EXPECT_EQ(1, read.ok);
  EXPECT_EQ((Lines{"Max Listed Color Depth"}), read.lines);
  test::DeleteTree(HKEY_LOCAL_MACHINE, std::string(kClassPath) + kDriver);
}

TEST_F(DisplayAdapterTest, NoAdapterKeyLeavesEveryValueEmpty) {
  auto adapter = Make("");
  ASSERT_TRUE(adapter);
  EXPECT_EQ(0, adapter->collected);
  const test::CategoryRead first = test::ReadCategory(*adapter, 0);
  EXPECT_EQ(0, first.ok);
  EXPECT_EQ((Lines{"Current Resolution", ""}), first.lines);
  EXPECT_EQ((Lines{"Current Color Depth", ""}), test::ReadCategory(*adapter, 1).lines);
  EXPECT_EQ((Lines{"Name of Card", ""}), test::ReadCategory(*adapter, 2).lines);
  const test::CategoryRead listed = test::ReadCategory(*adapter, 3);
  EXPECT_EQ(0, listed.ok);
  EXPECT_EQ((Lines{"Max Listed Color Depth"}), listed.lines);
}

// Collect runs again while it fails. Before the one Format that rebuilds the
// tables for what is listed then; after it, the formatted strings are final.
TEST_F(DisplayAdapterTest, RepeatedCollectKeepsTablesConsistent) {
  AddAdapter();
  machine_.AddDisplayModes(kDriver, {{"8", {"640,480"}}});
  auto adapter = Make();  // no current settings: Collect fails
  ASSERT_TRUE(adapter);
  EXPECT_EQ(0, adapter->collected);
  EXPECT_EQ(2u, adapter->elementCounts[3]);

  machine_.AddDisplayModes(kDriver, {{"16", {"640,480", "800,600", "1024,768"}}});
  const test::CategoryRead first = test::ReadCategory(*adapter, 3);
  EXPECT_EQ(0, first.ok);
  EXPECT_EQ(4u, adapter->elementCounts[3]);
  EXPECT_EQ((Lines{"Max Listed Color Depth", "640x480: 16-Bit", "800x600: 16-Bit", "1024x768: 16-Bit"}),
            first.lines);

  machine_.AddDisplayModes(kDriver, {{"32", {"1280,1024"}}});
  machine_.SetDisplaySettings("32", "1280,1024");
  const test::CategoryRead later = test::ReadCategory(*adapter, 3);
  EXPECT_EQ(1, later.ok);
  EXPECT_EQ(1, adapter->collected);
  EXPECT_EQ(first.table, later.table);
  EXPECT_EQ(first.lines, later.lines);
  EXPECT_EQ((Lines{"Current Color Depth", ""}), test::ReadCategory(*adapter, 1).lines);
}

// Two-digit names enumerate in numeric order, so the 33rd is the last one.
TEST_F(DisplayAdapterTest, TablesStopAtThirtyTwoRowsAndResolutions) {
  auto twoDigits = [](int n) { return std::string(1, char('0' + n / 10)) + char('0' + n % 10); };
  Modes depths;
  std::vector<std::string> resolutions;
  for (int n = 1; n <= 33; ++n) {
    depths.push_back({twoDigits(n), {std::to_string(n) + ",1"}});
    resolutions.push_back(twoDigits(n) + ",2");
  }
  const Lines rows = Listed(depths);
  ASSERT_EQ(33u, rows.size());
  EXPECT_EQ("1x1: 1-Bit", rows[1]);
  EXPECT_EQ("32x1: 32-Bit", rows[32]);

  test::DeleteTree(HKEY_LOCAL_MACHINE, std::string(kClassPath) + kDriver);
  const Lines oneRow = Listed({{"8", resolutions}});
  ASSERT_EQ(33u, oneRow.size());
  EXPECT_EQ("01x2: 8-Bit", oneRow[1]);
  EXPECT_EQ("32x2: 8-Bit", oneRow[32]);
}

// Registry paths of more than 260 characters cannot be written through the
// ANSI calls at once: these keys are made below opened parents.
TEST_F(DisplayAdapterTest, LongNamesAndDriverTextsStayWithinBounds) {
  // A resolution name of 255 characters: its line is cut at 259.
  const std::string name(255, 'R');
  machine_.AddDisplayModes(kDriver, {{"16", {}}});
  UniqueRegistryKey depth;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kClassPath) + kDriver + "\\MODES\\16").c_str(),
                                         0, KEY_ALL_ACCESS, depth.Receive()));
  test::CreateKey(depth.Get(), name);
  EXPECT_EQ((Lines{"Max Listed Color Depth", (name + ": 16-Bit").substr(0, 259)}), Listed({}));
  test::DeleteTree(depth.Get(), name);
  depth.Reset();
  test::DeleteTree(HKEY_LOCAL_MACHINE, std::string(kClassPath) + kDriver);

  // A "Driver" text too long for the "MODES" path is refused, not cut: the cut
  // path would name the class key of another driver, which lists modes.
  const std::string stem(259 - (sizeof kClassPath - 1), 'D');
  UniqueRegistryKey classes;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassPath, 0, KEY_ALL_ACCESS, classes.Receive()));
  test::CreateKey(classes.Get(), stem + "\\MODES\\16\\640,480");
  AddAdapter(stem + "\\0000");
  machine_.SetDisplaySettings("16", "640,480");
  auto adapter = Make();
  ASSERT_TRUE(adapter);
  const test::CategoryRead read = test::ReadCategory(*adapter, 3);
  EXPECT_EQ(1, read.ok);
  EXPECT_EQ((Lines{"Max Listed Color Depth"}), read.lines);
  test::DeleteTree(classes.Get(), stem);
}

}  // namespace
}  // namespace devlore

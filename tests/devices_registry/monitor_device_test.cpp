#include "devices/monitor_device.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/devices_registry/device_strings.h"
#include "tests/support/registry_fixture.h"

namespace devlore {
namespace {

using Lines = std::vector<std::string>;

const char kMonitorKey[] = "MONITOR\\DEFAULT_MONITOR\\0001";
const char kMonitorPath[] = "Enum\\MONITOR\\DEFAULT_MONITOR\\0001";

class MonitorDeviceTest : public ::testing::Test {
 protected:
  Lines LinesFor(const test::Values& values) {
    test::DeleteTree(HKEY_LOCAL_MACHINE, kMonitorPath);
    machine_.AddNode(kMonitorKey, values);
    std::unique_ptr<MonitorDevice> monitor(MonitorDevice::Create(kMonitorPath));
    if (!monitor) return {"<no device>"};
    const test::CategoryRead read = test::ReadCategory(*monitor, 0);
    EXPECT_EQ(1, read.ok);
    return read.lines;
  }

  test::FakeMachine machine_;
};

TEST_F(MonitorDeviceTest, EveryValuePresentGivesNoFallback) {
  EXPECT_EQ((Lines{"Monitor Summary", "Monitor Name : Acme 17", "Max Resolution : 1280x1024",
                   "Manufacturer : Acme", "Horizontal Refresh Range : 30-70 kHz",
                   "Vertical Refresh Range : 50-120 Hz"}),
            LinesFor({{"DeviceDesc", "Acme 17"}, {"Mfg", "Acme"}, {"MaxResolution", "1280,1024"},
                      {"MonitorRanges", "30-70,50-120,+,+"}}));
}

TEST_F(MonitorDeviceTest, StandardTypesAreShownAsNotListedInExactCaseOnly) {
  EXPECT_EQ("Manufacturer : (not listed)",
            LinesFor({{"DeviceDesc", "Plug and Play Monitor"}, {"Mfg", "(Standard monitor types)"}})[3]);
  EXPECT_EQ("Manufacturer : (standard monitor types)",
            LinesFor({{"DeviceDesc", "Plug and Play Monitor"}, {"Mfg", "(standard monitor types)"}})[3]);
  EXPECT_EQ("Manufacturer : (Standard monitor\xAD types)",
            LinesFor({{"DeviceDesc", "Plug and Play Monitor"}, {"Mfg", "(Standard monitor\xAD types)"}})[3]);
}

TEST_F(MonitorDeviceTest, OnlyTheFirstCommaOfTheResolutionBecomesX) {
  EXPECT_EQ("Max Resolution : 1600x1200,75",
            LinesFor({{"DeviceDesc", "Acme"}, {"MaxResolution", "1600,1200,75"}})[2]);
  EXPECT_EQ("Max Resolution : 1024", LinesFor({{"DeviceDesc", "Acme"}, {"MaxResolution", "1024"}})[2]);
}

TEST_F(MonitorDeviceTest, RangesNeedTwoCommasAndFallBackTogether) {
  const Lines fallbacks = {"Horz. Refresh Range Unavailable", "Vert. Refresh Range Unavailable"};
  for (const char* ranges : {"30-70", "30-70,50-120"}) {
    const Lines lines = LinesFor({{"DeviceDesc", "Acme"}, {"MonitorRanges", ranges}});
    EXPECT_EQ(fallbacks, Lines(lines.begin() + 4, lines.end())) << ranges;
  }
  const Lines four = LinesFor({{"DeviceDesc", "Acme"}, {"MonitorRanges", "31.5-64,60-100,+hsync,-vsync"}});
  EXPECT_EQ((Lines{"Horizontal Refresh Range : 31.5-64 kHz", "Vertical Refresh Range : 60-100 Hz"}),
            Lines(four.begin() + 4, four.end()));
}

TEST_F(MonitorDeviceTest, OnlyADescriptionGivesFourFallbacks) {
  EXPECT_EQ((Lines{"Monitor Summary", "Monitor Name : Plug and Play Monitor", "Max Resolution Unavailable",
                   "Manufacturer Name Unavailable", "Horz. Refresh Range Unavailable",
                   "Vert. Refresh Range Unavailable"}),
            LinesFor({{"DeviceDesc", "Plug and Play Monitor"}}));
}

// Without "DeviceDesc" Collect fails on every request and the strings built by
// the one Format are final, even once the description appears.
TEST_F(MonitorDeviceTest, WithoutADescriptionEveryRequestFails) {
  machine_.AddNode(kMonitorKey, {{"Mfg", "Acme"}, {"MaxResolution", "800,600"}});
  std::unique_ptr<MonitorDevice> monitor(MonitorDevice::Create(kMonitorPath));
  ASSERT_TRUE(monitor);
  EXPECT_EQ(0, monitor->collected);
  const test::CategoryRead first = test::ReadCategory(*monitor, 0);
  EXPECT_EQ(0, first.ok);
  EXPECT_EQ((Lines{"Monitor Summary", "", "Max Resolution Unavailable", "Manufacturer Name Unavailable",
                   "Horz. Refresh Range Unavailable", "Vert. Refresh Range Unavailable"}),
            first.lines);
  EXPECT_EQ(0, test::ReadCategory(*monitor, 0).ok);

  test::SetString(HKEY_LOCAL_MACHINE, kMonitorPath, "DeviceDesc", "Late Monitor");
  const test::CategoryRead late = test::ReadCategory(*monitor, 0);
  EXPECT_EQ(1, late.ok);
  EXPECT_EQ(first.lines, late.lines);

}

TEST_F(MonitorDeviceTest, OverlongValuesAreCutAtTheLineEnd) {
  const std::string horizontal(240, 'H');
  const Lines lines = LinesFor({{"DeviceDesc", std::string(259, 'M')},
                                {"MonitorRanges", horizontal + ",50-120,"},
                                {"MaxResolution", std::string(250, '9') + ",1"}});
  EXPECT_EQ(("Monitor Name : " + std::string(259, 'M')).substr(0, 259), lines[1]);
  EXPECT_EQ(("Horizontal Refresh Range : " + horizontal + " kHz").substr(0, 259), lines[4]);
  EXPECT_EQ("Vertical Refresh Range : 50-120 Hz", lines[5]);
  // The comma lay beyond the cut: nothing to turn into x.
  EXPECT_EQ(("Max Resolution : " + std::string(250, '9')).substr(0, 259), lines[2]);
}

}  // namespace
}  // namespace devlore

// The shipped library's 260-byte buffers at the byte where each bound lies:
// one below, at, and one past it, from registry values and key names.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/lifetime/lifetime_support.h"
#include "tests/support/registry_fixture.h"

namespace devlore::test {
namespace {

const char kBoardKey[] = "Root\\*PNP0C01\\0000";

class ShippedBounds : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library().Loaded()); }

  void AddMonitorAndAdapter() {
    machine_.AddNode("MONITOR\\DEFAULT_MONITOR\\0001", {{"DeviceDesc", "Plug and Play Monitor"}, {"Class", "Monitor"}});
    machine_.AddNode("PCI\\VEN_5333&DEV_8901\\BUS_01&DEV_00&FUNC_00",
                     {{"DeviceDesc", "S3 Trio64V2"}, {"Class", "Display"}, {"Driver", "Display\\0000"}});
  }

  // What a page reads: the build's status, then every line.
  std::vector<std::string> ReadPage() {
    ComPtr<IOleObject> object = Library().NewGrantedControl();
    ComPtr<IDispatch> control;
    if (!object || FAILED(object.QueryInto(IID_IDispatch, control))) return {"<no control>"};
    Script script(control.Get());
    std::vector<std::string> lines = {"built " + std::to_string(script.Status(L"InitializeDeviceObjects"))};
    for (const std::string& line : script.ReadEverything()) lines.push_back(line);
    script.Status(L"DeInitializeDeviceObjects");
    return lines;
  }

  // The last line of the page that starts with prefix, or "<none>".
  static std::string LineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::string found = "<none>";
    for (const std::string& line : lines)
      if (line.compare(0, prefix.size(), prefix) == 0) found = line;
    return found;
  }

  // Takes a present node out again, with the static key below "Enum\top".
  void Forget(const std::string& node, const std::string& top) {
    DeleteTree(HKEY_DYN_DATA, "Config Manager\\Enum\\" + node);
    DeleteTree(HKEY_LOCAL_MACHINE, "Enum\\" + top);
  }

  FakeMachine machine_;
};

// "BIOS Name : " and the value share one 260-byte line: a value of 247
// characters fills it to its last byte, a longer one is cut there. The value
// itself is read into 260 bytes: 259 characters and the terminator fit, 260 do
// not and the name counts as unavailable; stored without a terminator, 259
// bytes are a whole text and 260 bytes have no room left for one.
TEST_F(ShippedBounds, BiosValueAndLineAtTheirLastByte) {
  AddMonitorAndAdapter();
  const std::string label = "BIOS|0|BIOS Name : ";
  const std::string storedKey = std::string("Enum\\") + kBoardKey;
  // Wine adds a terminator to the text values it returns: unterminated bytes
  // are stored as binary, which the read takes as they are.
  auto nameLine = [&](const std::string& value, bool terminated) {
    const std::string node = machine_.AddNode(kBoardKey, {{"DeviceDesc", "System board"}, {"Class", "System"}});
    SetRaw(HKEY_LOCAL_MACHINE, storedKey, "BIOSName", terminated ? REG_SZ : REG_BINARY, value.c_str(),
           static_cast<DWORD>(value.size() + (terminated ? 1 : 0)));
    const std::string line = LineStarting(ReadPage(), "BIOS|0|BIOS Name");
    Forget(node, "Root");
    return line;
  };
  // Distinct last characters show where a line was cut.
  auto text = [](size_t length) { return std::string(length - 1, 'n') + 'Z'; };
  EXPECT_EQ(label + text(246), nameLine(text(246), true));
  EXPECT_EQ(label + text(247), nameLine(text(247), true));
  EXPECT_EQ(label + text(248).substr(0, 247), nameLine(text(248), true));

  const std::string cut = label + std::string(247, 'n');
  EXPECT_EQ(cut, nameLine(text(258), true));
  EXPECT_EQ(cut, nameLine(text(259), true));
  EXPECT_EQ("BIOS|0|BIOS Name Unavailable", nameLine(text(260), true));
  EXPECT_EQ(cut, nameLine(text(259), false));
  EXPECT_EQ("BIOS|0|BIOS Name Unavailable", nameLine(text(260), false));
}

// The system board's key is used as "Enum\" + key in a 260-byte path: a key of
// 254 characters fits with the terminator, one of 255 does not, and a search
// that matched a key it cannot address fails the build.
TEST_F(ShippedBounds, SystemBoardKeyAtTheLastByteOfItsPath) {
  AddMonitorAndAdapter();
  const std::string stem = "LongBoard\\";
  auto page = [&](size_t length) {
    const std::string key = stem + std::string(length - stem.size(), 'k');
    const std::string node =
        machine_.AddNode(key, {{"DeviceDesc", "System board"}, {"Class", "System"}, {"BIOSName", "Long Key BIOS"}});
    const std::vector<std::string> lines = ReadPage();
    Forget(node, "LongBoard");
    return lines;
  };
  for (size_t length : {253u, 254u}) {
    const std::vector<std::string> lines = page(length);
    EXPECT_EQ("built 1", lines[0]) << length;
    EXPECT_EQ("BIOS|0|BIOS Name : Long Key BIOS", LineStarting(lines, "BIOS|0|BIOS Name")) << length;
  }
  EXPECT_EQ((std::vector<std::string>{"built 0"}), page(255));
}

// The adapter's key is used without a prefix: its "HardWareKey" of 259
// characters and the terminator fill the 260 bytes read, one of 260 characters
// does not fit and the node is passed over, so no adapter is found.
TEST_F(ShippedBounds, AdapterHardwareKeyAtTheLastByteOfItsBuffer) {
  machine_.AddNode(kBoardKey, {{"DeviceDesc", "System board"}, {"Class", "System"}});
  machine_.AddNode("MONITOR\\DEFAULT_MONITOR\\0001", {{"DeviceDesc", "Plug and Play Monitor"}, {"Class", "Monitor"}});
  machine_.SetDisplaySettings("16", "800,600");
  const std::string stem = "LongAdapter";
  auto cardLine = [&](size_t length) {
    // Paths this long cannot go through the ANSI calls in one piece: the key
    // is made below the opened "Enum".
    const std::string parent = stem + "\\" + std::string(length - stem.size() - 5, 'a');
    const std::string key = parent + "\\000";
    UniqueRegistryKey enumKey;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum", 0, KEY_ALL_ACCESS, enumKey.Receive()));
    SetString(enumKey.Get(), key, "DeviceDesc", "Long Key Adapter");
    SetString(enumKey.Get(), key, "Class", "Display");
    const std::string node = machine_.AddNodeWithRawKey(REG_SZ, key.c_str(), static_cast<DWORD>(key.size() + 1));
    const std::vector<std::string> lines = ReadPage();
    DeleteTree(HKEY_DYN_DATA, "Config Manager\\Enum\\" + node);
    for (const std::string& path : {key, parent, stem}) RegDeleteKeyA(enumKey.Get(), path.c_str());
    return std::make_pair(lines[0], LineStarting(lines, "Primary Video Card|2|"));
  };
  EXPECT_EQ(std::make_pair(std::string("built 1"), std::string("Primary Video Card|2|Long Key Adapter")), cardLine(258));
  EXPECT_EQ(std::make_pair(std::string("built 1"), std::string("Primary Video Card|2|Long Key Adapter")), cardLine(259));
  EXPECT_EQ(std::make_pair(std::string("built 1"), std::string("Primary Video Card|2|")), cardLine(260));
}

}  // namespace
}  // namespace devlore::test

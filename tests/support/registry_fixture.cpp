#include "tests/support/registry_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/handles.h"

namespace devlore::test {
namespace {

const char kDynamicEnum[] = "Config Manager\\Enum";

std::string TopLevel(const std::string& path) {
  const size_t separator = path.find('\\');
  return separator == std::string::npos ? path : path.substr(0, separator);
}

}  // namespace

void DeleteTree(HKEY root, const std::string& path) {
  UniqueRegistryKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS) return;
  char name[MAX_PATH];
  while (RegEnumKeyA(key.Get(), 0, name, MAX_PATH) == ERROR_SUCCESS) {
    const std::string child = path + "\\" + name;
    DeleteTree(root, child);
    if (KeyExists(root, child)) break;  // could not delete: avoid looping forever
  }
  key.Reset();
  RegDeleteKeyA(root, path.c_str());
}

bool KeyExists(HKEY root, const std::string& path) {
  UniqueRegistryKey key;
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

void CreateKey(HKEY root, const std::string& path) {
  UniqueRegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr))
      << path;
}

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type, const void* data,
            DWORD size) {
  UniqueRegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr))
      << path;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), name.empty() ? nullptr : name.c_str(), 0, type,
                                          static_cast<const BYTE*>(data), size));
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  SetRaw(root, path, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

FakeMachine::FakeMachine() {
  DeleteTree(HKEY_DYN_DATA, kDynamicEnum);
  CreateKey(HKEY_DYN_DATA, kDynamicEnum);
  written_.push_back({HKEY_DYN_DATA, kDynamicEnum});
}

FakeMachine::~FakeMachine() {
  for (auto it = written_.rbegin(); it != written_.rend(); ++it) DeleteTree(it->first, it->second);
}

std::string FakeMachine::NextNodeName() {
  char name[16];
  std::snprintf(name, sizeof name, "C%08X", 0x1000 + nextNode_++);
  return name;
}

std::string FakeMachine::AddNode(const std::string& hardwareKey, const Values& values) {
  const std::string node = NextNodeName();
  SetString(HKEY_DYN_DATA, std::string(kDynamicEnum) + "\\" + node, "HardWareKey", hardwareKey);
  const std::string staticKey = "Enum\\" + hardwareKey;
  CreateKey(HKEY_LOCAL_MACHINE, staticKey);
  written_.push_back({HKEY_LOCAL_MACHINE, "Enum\\" + TopLevel(hardwareKey)});
  for (const auto& value : values) SetString(HKEY_LOCAL_MACHINE, staticKey, value.first, value.second);
  return node;
}

std::string FakeMachine::AddNodeWithoutHardwareKey() {
  const std::string node = NextNodeName();
  SetString(HKEY_DYN_DATA, std::string(kDynamicEnum) + "\\" + node, "Status", "present");
  return node;
}

std::string FakeMachine::AddNodeWithRawKey(DWORD type, const void* data, DWORD size) {
  const std::string node = NextNodeName();
  SetRaw(HKEY_DYN_DATA, std::string(kDynamicEnum) + "\\" + node, "HardWareKey", type, data, size);
  return node;
}

void FakeMachine::AddTypicalDevices() {
  AddNode("Root\\*PNP0C01\\0000", {{"DeviceDesc", "System board"}, {"Class", "System"},
                                   {"BIOSName", "XYZ BIOS"}, {"BIOSVersion", "1.02"}, {"BIOSDate", "07/15/98"}});
  AddNode("MONITOR\\DEFAULT_MONITOR\\0001", {{"DeviceDesc", "Plug and Play Monitor"}, {"Class", "Monitor"},
                                              {"Mfg", "(Standard monitor types)"}});
  AddNode("PCI\\VEN_5333&DEV_8901\\BUS_01&DEV_00&FUNC_00",
          {{"DeviceDesc", "S3 Trio64V2"}, {"Class", "Display"}, {"Driver", "Display\\0000"}});
}

void FakeMachine::SetDisplaySettings(const std::string& bitsPerPixel, const std::string& resolution) {
  const std::string path = "Display\\Settings";
  SetString(HKEY_CURRENT_CONFIG, path, "BitsPerPixel", bitsPerPixel);
  SetString(HKEY_CURRENT_CONFIG, path, "Resolution", resolution);
  written_.push_back({HKEY_CURRENT_CONFIG, "Display"});
}

void FakeMachine::AddDisplayModes(const std::string& driver,
                                  const std::vector<std::pair<std::string, std::vector<std::string>>>& modes) {
  const std::string classKey = "System\\CurrentControlSet\\Services\\Class\\" + driver;
  CreateKey(HKEY_LOCAL_MACHINE, classKey + "\\MODES");
  for (const auto& depth : modes) {
    CreateKey(HKEY_LOCAL_MACHINE, classKey + "\\MODES\\" + depth.first);
    for (const auto& resolution : depth.second)
      CreateKey(HKEY_LOCAL_MACHINE, classKey + "\\MODES\\" + depth.first + "\\" + resolution);
  }
  written_.push_back({HKEY_LOCAL_MACHINE, classKey});
}

}  // namespace devlore::test

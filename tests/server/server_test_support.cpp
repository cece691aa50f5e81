#include "tests/server/server_test_support.h"

#include <cstdio>
#include <vector>

#include "base/handles.h"
#include "tests/support/registry_fixture.h"

namespace devlore::test {

const char kClassKey[] = "CLSID\\{6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1}";
const char kTypeLibKey[] = "TypeLib\\{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}";
const char kInterfaceKey[] = "Interface\\{6F1B52C6-3D07-4E21-9A58-2C7D4E90B3A1}";
const char kEventsKey[] = "Interface\\{6F1B52C7-3D07-4E21-9A58-2C7D4E90B3A1}";

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string BesideProgram(const std::string& name) { return ProgramFolder() + name; }

namespace {

std::string Describe(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_SZ) {
    std::string text(reinterpret_cast<const char*>(data.data()), size);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return "sz:" + text;
  }
  std::string bytes = "type" + std::to_string(type) + ":";
  char hex[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", data[i]);
    bytes += hex;
  }
  return bytes;
}

void ReadInto(HKEY root, const std::string& path, const std::string& prefix, RegistryTree& tree) {
  UniqueRegistryKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return;
  // The key itself, so that empty keys show too.
  tree[prefix + "\\"] = "key";
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    std::vector<BYTE> data(65536);
    DWORD dataSize = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
    tree[prefix + "\\" + (nameSize ? std::string(name, nameSize) : std::string("@"))] =
        Describe(type, data, dataSize);
  }
  for (DWORD index = 0;; ++index) {
    char name[MAX_PATH];
    if (RegEnumKeyA(key.Get(), index, name, MAX_PATH) != ERROR_SUCCESS) break;
    ReadInto(root, path + "\\" + name, prefix + "\\" + name, tree);
  }
}

}  // namespace

RegistryTree ReadTree(HKEY root, const std::string& path) {
  RegistryTree tree;
  ReadInto(root, path, "", tree);
  return tree;
}

std::string ReadString(HKEY root, const std::string& path, const std::string& name) {
  UniqueRegistryKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return "<missing>";
  char data[4096];
  DWORD size = sizeof data;
  DWORD type = 0;
  const LONG status =
      RegQueryValueExA(key.Get(), name.empty() ? nullptr : name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  key.Reset();
  if (status != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  std::string text(data, size);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void RemoveSysInfoRegistration() {
  DeleteTree(HKEY_CLASSES_ROOT, kClassKey);
  DeleteTree(HKEY_CLASSES_ROOT, "Devlore.SysInfo");
  DeleteTree(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1");
  DeleteTree(HKEY_CLASSES_ROOT, kTypeLibKey);
  DeleteTree(HKEY_CLASSES_ROOT, kInterfaceKey);
  DeleteTree(HKEY_CLASSES_ROOT, kEventsKey);
}

}  // namespace devlore::test

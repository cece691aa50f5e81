#pragma once
// Helpers for the registration script tests: a scratch key below
// HKEY_CURRENT_USER "Software\DevloreScratch", a snapshot of a registry tree
// for exact comparisons, the redirection of a predefined root into a scratch
// key, and access to the project's source files from the Wine side.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "server/script_registrar.h"

namespace devlore::regtest {

constexpr char kScratchPath[] = "Software\\DevloreScratch";

struct Value {
  DWORD type;
  std::string data;  // raw bytes, the terminating zero of a text included
  bool operator==(const Value& other) const { return type == other.type && data == other.data; }
};
inline std::ostream& operator<<(std::ostream& out, const Value& value) {
  out << "{type " << value.type << ", \"";
  for (unsigned char c : value.data) {
    if (c >= 32 && c < 127) {
      out << c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out << hex;
    }
  }
  return out << "\"}";
}

inline Value Text(const std::string& text) { return {REG_SZ, text + std::string(1, '\0')}; }

using Values = std::map<std::string, Value>;
// Key path relative to the snapshot's root ("" for the root itself) -> its values.
using Tree = std::map<std::string, Values>;

inline void SnapshotInto(HKEY key, const std::string& path, Tree& tree, int depth = 0) {
  Values& values = tree[path];
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    DWORD dataSize = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
    std::string data(dataSize, '\0');
    nameSize = sizeof name;
    RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &dataSize);
    data.resize(dataSize);
    values[name] = {type, data};
  }
  if (depth > 80) return;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY child;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    SnapshotInto(child, path.empty() ? name : path + "\\" + name, tree, depth + 1);
    RegCloseKey(child);
  }
}

// Everything below root\path; empty when the key does not exist.
inline Tree Snapshot(HKEY root, const std::string& path) {
  Tree tree;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return tree;
  SnapshotInto(key, "", tree);
  RegCloseKey(key);
  return tree;
}

inline bool KeyExistsAt(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline void CreateKeyAt(HKEY root, const std::string& path) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr))
      << path;
  RegCloseKey(key);
}

inline void SetValueAt(HKEY root, const std::string& path, const char* name, const std::string& text) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr));
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

// Empties root\path and deletes it.
inline void DeleteTreeAt(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteTreeA(key, nullptr);
  RegCloseKey(key);
  RegDeleteKeyA(root, path.c_str());
}

// HKEY_CURRENT_USER\Software\DevloreScratch, empty at the start and removed at
// the end of each test.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTreeAt(HKEY_CURRENT_USER, kScratchPath);
    CreateKeyAt(HKEY_CURRENT_USER, kScratchPath);
  }
  void TearDown() override { DeleteTreeAt(HKEY_CURRENT_USER, kScratchPath); }

  // Everything below the scratch key.
  Tree Scratch() const { return Snapshot(HKEY_CURRENT_USER, kScratchPath); }

  // Wraps the entries of body into a script whose keys land below the scratch key.
  static std::string InScratch(const std::string& body) {
    return "HKCU\r\n{\r\n NoRemove Software\r\n {\r\n  NoRemove DevloreScratch\r\n  {\r\n" + body +
           "\r\n  }\r\n }\r\n}\r\n";
  }

  // Runs a script with the variables given ("Module" among them if wanted).
  static HRESULT Run(const std::string& script, bool install,
                     std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> variables = {}) {
    ScriptRegistrar registrar;
    for (const auto& variable : variables) {
      HRESULT hr = registrar.AddReplacement(variable.first, variable.second);
      if (FAILED(hr)) return hr;
    }
    return registrar.RunScript(script.c_str(), install ? TRUE : FALSE);
  }
  static HRESULT Install(const std::string& body) { return Run(InScratch(body), true); }
  static HRESULT Remove(const std::string& body) { return Run(InScratch(body), false); }
};

// Sends one predefined root key of this process to a key of our own for as
// long as the object lives.
class RootRedirect {
 public:
  RootRedirect(HKEY root, HKEY target) : root_(root) { ok_ = RegOverridePredefKey(root, target) == ERROR_SUCCESS; }
  ~RootRedirect() {
    if (ok_) RegOverridePredefKey(root_, nullptr);
  }
  bool ok() const { return ok_; }

 private:
  HKEY root_;
  bool ok_ = false;
};

// A file of the project, read through Wine's drive Z: (the unix root).
inline std::string ProjectFile(const std::string& relative) {
  std::string here = __FILE__;
  const size_t at = here.find("tests/registrar/");
  if (at == std::string::npos) return "";
  std::string path = "Z:" + here.substr(0, at) + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline std::string SysInfoScript() { return ProjectFile("resources/SysInfo.rgs"); }

constexpr char kClassId[] = "{6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1}";
constexpr char kDescription[] = "Tolvane PC Meadow System Information Class";

// The keys and values the SysInfo script installs below an empty classes root.
inline Tree SysInfoTable(const std::string& module) {
  const std::string cls = std::string("CLSID\\") + kClassId;
  return {
      {"", {}},
      {"Devlore.SysInfo.1", {{"", Text(kDescription)}}},
      {"Devlore.SysInfo.1\\CLSID", {{"", Text(kClassId)}}},
      {"Devlore.SysInfo", {{"", Text(kDescription)}}},
      {"Devlore.SysInfo\\CLSID", {{"", Text(kClassId)}}},
      {"Devlore.SysInfo\\CurVer", {{"", Text("Devlore.SysInfo.1")}}},
      {"CLSID", {}},
      {cls, {{"", Text(kDescription)}}},
      {cls + "\\ProgID", {{"", Text("Devlore.SysInfo.1")}}},
      {cls + "\\VersionIndependentProgID", {{"", Text("Devlore.SysInfo")}}},
      {cls + "\\Programmable", {}},
      {cls + "\\InprocServer32", {{"", Text(module)}, {"ThreadingModel", Text("Apartment")}}},
      {cls + "\\Control", {}},
      {cls + "\\Insertable", {}},
      {cls + "\\ToolboxBitmap32", {{"", Text(module + ", 101")}}},
      {cls + "\\MiscStatus", {{"", Text("0")}}},
      {cls + "\\MiscStatus\\1", {{"", Text("131473")}}},
      {cls + "\\TypeLib", {{"", Text("{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}")}}},
      {cls + "\\Version", {{"", Text("1.0")}}},
  };
}

}  // namespace devlore::regtest

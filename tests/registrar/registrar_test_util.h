#pragma once
// Helpers for the registration script tests: a scratch key below
// HKEY_CURRENT_USER "Software\DevloreScratch", snapshots of registry trees for
// exact comparisons, redirection of a predefined root, and project files read
// through Wine's drive Z:.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/handles.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "server/script_registrar.h"
#include "tests/support/registry_fixture.h"

namespace devlore::regtest {

using test::CreateKey;
using test::DeleteTree;
using test::KeyExists;
using test::SetString;

constexpr char kScratchPath[] = "Software\\DevloreScratch";
constexpr char kClassId[] = "{6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1}";

// A value as (type, raw bytes); a text keeps its terminating zero.
using Value = std::pair<DWORD, std::string>;
inline Value Text(const std::string& text) { return {REG_SZ, text + std::string(1, '\0')}; }
using Values = std::map<std::string, Value>;
// Key path relative to the snapshot's root ("" for the root itself) -> its values.
using Tree = std::map<std::string, Values>;

inline void SnapshotInto(HKEY key, const std::string& path, Tree& tree) {
  Values& values = tree[path];
  char name[16384];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, type = 0, dataSize = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
    std::string data(dataSize, '\0');
    nameSize = sizeof name;
    RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &dataSize);
    values[name] = {type, data.substr(0, dataSize)};
  }
  for (DWORD i = 0; RegEnumKeyA(key, i, name, 256) == ERROR_SUCCESS; ++i) {
    devlore::UniqueRegistryKey child;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, child.Receive()) != ERROR_SUCCESS) continue;
    SnapshotInto(child.Get(), path.empty() ? name : path + "\\" + name, tree);
  }
}

// Everything below root\path; empty when the key does not exist.
inline Tree Snapshot(HKEY root, const std::string& path) {
  Tree tree;
  devlore::UniqueRegistryKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return tree;
  SnapshotInto(key.Get(), "", tree);
  return tree;
}

// HKEY_CURRENT_USER\Software\DevloreScratch, empty at the start of each test
// and removed at its end.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, kScratchPath);
    CreateKey(HKEY_CURRENT_USER, kScratchPath);
  }
  void TearDown() override { DeleteTree(HKEY_CURRENT_USER, kScratchPath); }

  static Tree Scratch() { return Snapshot(HKEY_CURRENT_USER, kScratchPath); }
  static std::string At(const std::string& path) { return std::string(kScratchPath) + "\\" + path; }

  // Puts the entries of body into a script whose keys land below the scratch key.
  static std::string InScratch(const std::string& body) {
    return "HKCU\r\n{\r\n NoRemove Software\r\n {\r\n  NoRemove DevloreScratch\r\n  {\r\n" + body +
           "\r\n  }\r\n }\r\n}\r\n";
  }
  static HRESULT Run(const std::string& script, bool install, const wchar_t* name = nullptr,
                     const wchar_t* text = nullptr) {
    ScriptRegistrar registrar;
    if (name && FAILED(registrar.AddReplacement(name, text))) return E_OUTOFMEMORY;
    return registrar.RunScript(script.c_str(), install ? TRUE : FALSE);
  }
  static HRESULT Install(const std::string& body) { return Run(InScratch(body), true); }
  static HRESULT Remove(const std::string& body) { return Run(InScratch(body), false); }
};

// Sends a predefined root key of this process to a key of our own while it lives.
class RootRedirect {
 public:
  RootRedirect(HKEY root, HKEY target) : root_(root), ok_(RegOverridePredefKey(root, target) == ERROR_SUCCESS) {}
  ~RootRedirect() {
    if (ok_) RegOverridePredefKey(root_, nullptr);
  }
  bool ok() const { return ok_; }

 private:
  HKEY root_;
  bool ok_;
};

// resources/SysInfo.rgs, read through drive Z: (the unix root).
inline std::string SysInfoScript() {
  std::string path = __FILE__;
  path = "Z:" + path.substr(0, path.find("tests/registrar/")) + "resources/SysInfo.rgs";
  for (char& c : path) c = c == '/' ? '\\' : c;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace devlore::regtest

// Mutation run: thousands of damaged versions of the SysInfo script and random
// token soup, each run in install then remove mode. Every predefined root of
// this process is redirected into scratch keys, so whatever a damaged script
// names stays below HKEY_CURRENT_USER "Software\DevloreScratch".
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/registrar/registrar_test_util.h"

namespace devlore::regtest {
namespace {

uint64_t state = 0x5EED1234ABCDull;
size_t Below(size_t bound) {  // xorshift, fixed seed: the same scripts every run
  state ^= state << 13, state ^= state >> 7, state ^= state << 17;
  return bound ? static_cast<uint32_t>(state >> 16) % bound : 0;
}

const std::vector<std::string> kWords = {
    "{", "{", "{", "}", "}", "}", "=", "=", "s", "S", "d", "b", "val", "Val", "ForceRemove", "NoRemove", "Delete",
    "CLSID", "TypeLib", "Key", "'quoted name'", "''", "'it''s'", "'unclosed", "'0aFf'", "'0aF'", "'123'", "'12x'",
    "4294967296", "'%MODULE%'", "%%", "%nope%", "%", "a\\b", kClassId, "'{'", "=s", "{x", "}y", "HKCR",
    "\x81\x40", "'\xE9t\xE9'", std::string(300, 'L'), "'" + std::string(4100, 'Q') + "'", "\t", "\r\n"};
std::string Word() { return kWords[Below(kWords.size())]; }

std::string Join(const std::vector<std::string>& tokens) {
  std::string text;
  for (const std::string& token : tokens) text += token + (Below(4) ? " " : "\r\n");
  return text;
}

std::string ByteMutation(std::string text) {
  static const char kInteresting[] = "{}='%\\ \t\r\n\0\x81sdbSDB0aF";
  for (size_t edits = 1 + Below(3); edits && !text.empty(); --edits) {
    const size_t at = Below(text.size());
    switch (Below(5)) {
      case 0: text[at] = kInteresting[Below(sizeof kInteresting - 1)]; break;
      case 1: text[at] = static_cast<char>(Below(256)); break;
      case 2: text.erase(at, 1 + Below(24)); break;
      case 3: text.insert(at, text.substr(at, 1 + Below(40))); break;
      default: text.insert(at, Word() + " "); break;
    }
  }
  return text;
}

std::string TokenMutation(const std::string& base) {
  std::vector<std::string> tokens;
  for (size_t at = 0; (at = base.find_first_not_of(" \t\r\n", at)) != std::string::npos;) {
    const size_t end = base.find_first_of(" \t\r\n", at);
    tokens.push_back(base.substr(at, end - at));
    at = end;
  }
  for (size_t edits = 1 + Below(3); edits; --edits) {
    const size_t at = 1 + Below(tokens.size() - 1);  // the root name stays
    switch (Below(4)) {
      case 0: std::swap(tokens[at], tokens[1 + Below(tokens.size() - 1)]); break;
      case 1: tokens.erase(tokens.begin() + at); break;
      case 2: tokens.insert(tokens.begin() + at, tokens[at]); break;
      default: tokens.insert(tokens.begin() + at, Word()); break;
    }
  }
  return Join(tokens);
}

std::string TokenSoup() {
  std::vector<std::string> tokens = {Below(8) ? "HKCR" : "hkey_classes_root", "{"};
  for (size_t count = 3 + Below(60); count; --count) tokens.push_back(Word());
  if (Below(2)) tokens.push_back("}");
  return Join(tokens);
}

TEST(ScriptMutation, DamagedScriptsEndInAnErrorOrSuccessInsideTheScratchRoot) {
  const std::string base = SysInfoScript();
  ASSERT_EQ(907u, base.size());
  std::vector<std::pair<std::string, std::string>> cases = {{"original", base}};
  for (size_t length = 0; length < base.size(); ++length) cases.push_back({"truncated", base.substr(0, length)});
  for (int i = 0; i < 2000; ++i) cases.push_back({"bytes", ByteMutation(base)});
  for (int i = 0; i < 800; ++i) cases.push_back({"tokens", TokenMutation(base)});
  for (int i = 0; i < 800; ++i) cases.push_back({"soup", TokenSoup()});

  // Redirect every root a damaged script could name; HKEY_CURRENT_USER last,
  // since the scratch keys are opened through it.
  const std::vector<std::pair<HKEY, std::string>> names = {
      {HKEY_CLASSES_ROOT, "HKCR"}, {HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_USERS, "HKU"},
      {HKEY_CURRENT_CONFIG, "HKCC"}, {HKEY_DYN_DATA, "HKDD"},     {HKEY_CURRENT_USER, "HKCU"}};
  DeleteTree(HKEY_CURRENT_USER, kScratchPath);
  std::vector<devlore::UniqueRegistryKey> targets(names.size());
  std::vector<RootRedirect*> redirects;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string path = std::string(kScratchPath) + "\\" + names[i].second;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, targets[i].Receive(), nullptr));
  }
  for (size_t i = 0; i < names.size(); ++i) redirects.push_back(new RootRedirect(names[i].first, targets[i].Get()));
  ASSERT_TRUE(redirects[0]->ok());

  std::map<std::string, int> counts;
  int unexpected = 0, leftovers = 0;
  const bool verbose = GetEnvironmentVariableA("DEVLORE_MUTATION_VERBOSE", nullptr, 0) != 0;
  const DWORD start = GetTickCount();
  for (const auto& [kind, script] : cases) {
    ScriptRegistrar registrar;
    ASSERT_EQ(S_OK, registrar.AddReplacement(L"Module", L"C:\\Devlore''s\\Devlore.DLL"));
    const HRESULT results[2] = {registrar.RunScript(script.c_str(), TRUE), registrar.RunScript(script.c_str(), FALSE)};
    for (int pass = 0; pass < 2; ++pass) {
      const HRESULT hr = results[pass];
      const char* code = hr == S_OK ? "S_OK" : hr == DISP_E_EXCEPTION ? "DISP_E_EXCEPTION" : hr == E_FAIL ? "E_FAIL"
                         : hr == DISP_E_TYPEMISMATCH ? "DISP_E_TYPEMISMATCH" : hr == DISP_E_OVERFLOW ? "DISP_E_OVERFLOW"
                                                                                                    : nullptr;
      char other[16];
      std::snprintf(other, sizeof other, "0x%08lX", static_cast<unsigned long>(hr));
      ++counts[std::string(pass ? "remove  " : "install ") + (code ? code : other)];
      if (!code && ++unexpected <= 5) ADD_FAILURE() << kind << " script gave " << other << ":\n" << script;
    }
    if (kind == "original") EXPECT_TRUE(results[0] == S_OK && results[1] == S_OK);
    // Whatever install and remove leave besides the "CLSID" key the script keeps.
    Tree left;
    for (size_t i = 0; i < names.size(); ++i) SnapshotInto(targets[i].Get(), names[i].second, left);
    for (const auto& name : names) left.erase(name.second);
    left.erase("HKCR\\CLSID");
    if (!left.empty() && ++leftovers && verbose) std::printf("--- %s leaves %s:\n%s\n", kind.c_str(), left.begin()->first.c_str(), script.c_str());
    for (const auto& target : targets) RegDeleteTreeA(target.Get(), nullptr);
  }
  const DWORD elapsed = GetTickCount() - start;
  for (size_t i = names.size(); i-- > 0;) delete redirects[i];
  for (auto& target : targets) target.Reset();

  std::printf("mutation run: %zu scripts in %lu ms, %d leave keys behind after install and remove (NoRemove)\n",
              cases.size(), static_cast<unsigned long>(elapsed), leftovers);
  for (const auto& [code, count] : counts) std::printf("  %-28s %d\n", code.c_str(), count);
  EXPECT_EQ(0, unexpected);
  EXPECT_LT(elapsed, 120000u);
  // The real roots never saw a script, and the scratch root goes away.
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
  DeleteTree(HKEY_CURRENT_USER, kScratchPath);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratchPath));
}

}  // namespace
}  // namespace devlore::regtest

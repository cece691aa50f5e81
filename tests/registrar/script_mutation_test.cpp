// Mutation run: thousands of damaged versions of the SysInfo script and random
// token soup, each run in install then remove mode. Every predefined root of
// this process is redirected into scratch keys, so whatever a damaged script
// names stays below HKEY_CURRENT_USER "Software\DevloreScratch".
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "server/script_registrar.h"
#include "tests/registrar/registrar_test_util.h"

namespace devlore::regtest {
namespace {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<uint32_t>(state_ >> 16);
  }
  size_t Below(size_t bound) { return bound ? Next() % bound : 0; }

 private:
  uint64_t state_;
};

const std::vector<std::string>& Vocabulary() {
  static const std::vector<std::string> words = {
      "{", "{", "{", "}", "}", "}", "=", "=", "s", "S", "d", "b", "val", "Val", "ForceRemove", "NoRemove",
      "Delete", "CLSID", "TypeLib", "Key", "Other", "'quoted name'", "''", "'it''s'", "'unclosed", "'0aFf'",
      "'0aF'", "'123'", "'12x'", "4294967296", "'%MODULE%'", "%%", "%nope%", "%", "a\\b", kClassId, "'{'", "=s",
      "{x", "}y", "HKCR", "HKEY_CLASSES_ROOT", "\x81\x40", "'\xE9t\xE9'", std::string(300, 'L'),
      "'" + std::string(4100, 'Q') + "'", "\t", "\r\n"};
  return words;
}

std::vector<std::string> SplitBlanks(const std::string& text) {
  std::vector<std::string> tokens;
  std::string current;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

std::string Join(const std::vector<std::string>& tokens, Random& random) {
  std::string text;
  for (const std::string& token : tokens) {
    text += token;
    text += random.Below(4) == 0 ? "\r\n" : " ";
  }
  return text;
}

std::string ByteMutation(const std::string& base, Random& random) {
  static const char kInteresting[] = "{}='%\\ \t\r\n\0\x81sdbSDB0aF";
  std::string text = base;
  const size_t edits = 1 + random.Below(3);
  for (size_t e = 0; e < edits && !text.empty(); ++e) {
    const size_t at = random.Below(text.size());
    switch (random.Below(5)) {
      case 0:
        text[at] = kInteresting[random.Below(sizeof kInteresting - 1)];
        break;
      case 1:
        text[at] = static_cast<char>(random.Below(256));
        break;
      case 2:
        text.erase(at, 1 + random.Below(24));
        break;
      case 3:
        text.insert(at, text.substr(at, 1 + random.Below(40)));
        break;
      default:
        text.insert(at, Vocabulary()[random.Below(Vocabulary().size())] + " ");
        break;
    }
  }
  return text;
}

std::string TokenMutation(const std::string& base, Random& random) {
  std::vector<std::string> tokens = SplitBlanks(base);
  const size_t edits = 1 + random.Below(3);
  for (size_t e = 0; e < edits && tokens.size() > 2; ++e) {
    const size_t at = 1 + random.Below(tokens.size() - 1);  // keep the root name
    switch (random.Below(4)) {
      case 0:
        std::swap(tokens[at], tokens[1 + random.Below(tokens.size() - 1)]);
        break;
      case 1:
        tokens.erase(tokens.begin() + at);
        break;
      case 2:
        tokens.insert(tokens.begin() + at, tokens[at]);
        break;
      default:
        tokens.insert(tokens.begin() + at, Vocabulary()[random.Below(Vocabulary().size())]);
        break;
    }
  }
  return Join(tokens, random);
}

std::string TokenSoup(Random& random) {
  std::vector<std::string> tokens = {random.Below(8) ? "HKCR" : "hkey_classes_root", "{"};
  const size_t count = 3 + random.Below(60);
  for (size_t i = 0; i < count; ++i) tokens.push_back(Vocabulary()[random.Below(Vocabulary().size())]);
  if (random.Below(2)) tokens.push_back("}");
  return Join(tokens, random);
}

std::string Describe(HRESULT hr) {
  switch (hr) {
    case S_OK: return "S_OK";
    case DISP_E_EXCEPTION: return "DISP_E_EXCEPTION";
    case E_FAIL: return "E_FAIL";
    case DISP_E_TYPEMISMATCH: return "DISP_E_TYPEMISMATCH";
    case DISP_E_OVERFLOW: return "DISP_E_OVERFLOW";
  }
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

bool Expected(HRESULT hr) {
  return hr == S_OK || hr == DISP_E_EXCEPTION || hr == E_FAIL || hr == DISP_E_TYPEMISMATCH ||
         hr == DISP_E_OVERFLOW;
}

struct Redirected {
  HKEY root;
  const char* name;
  HKEY target = nullptr;
  RootRedirect* redirect = nullptr;
};

TEST(ScriptMutation, DamagedScriptsEndInAnErrorOrSuccessAndStayInTheScratchRoot) {
  const std::string base = SysInfoScript();
  ASSERT_EQ(907u, base.size());
  DeleteTreeAt(HKEY_CURRENT_USER, kScratchPath);

  std::vector<Redirected> roots = {{HKEY_CLASSES_ROOT, "HKCR"},   {HKEY_CURRENT_USER, "HKCU"},
                                   {HKEY_LOCAL_MACHINE, "HKLM"},  {HKEY_USERS, "HKU"},
                                   {HKEY_CURRENT_CONFIG, "HKCC"}, {HKEY_DYN_DATA, "HKDD"}};
  for (Redirected& root : roots) {
    const std::string path = std::string(kScratchPath) + "\\Mutation\\" + root.name;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &root.target, nullptr));
  }
  // HKEY_CURRENT_USER last: the scratch keys above were opened through it.
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) it->redirect = new RootRedirect(it->root, it->target);
  ASSERT_TRUE(roots[0].redirect->ok());

  std::vector<std::pair<std::string, std::string>> cases;  // kind, script
  cases.push_back({"original", base});
  for (size_t length = 0; length < base.size(); ++length) cases.push_back({"truncated", base.substr(0, length)});
  Random random(0x5EED1234ABCDull);
  for (int i = 0; i < 2500; ++i) cases.push_back({"bytes", ByteMutation(base, random)});
  for (int i = 0; i < 1000; ++i) cases.push_back({"tokens", TokenMutation(base, random)});
  for (int i = 0; i < 1000; ++i) cases.push_back({"soup", TokenSoup(random)});

  std::map<std::string, int> installCounts, removeCounts;
  int unexpected = 0, leftovers = 0;
  // Set DEVLORE_MUTATION_VERBOSE to see every script that leaves keys behind.
  const bool verbose = GetEnvironmentVariableA("DEVLORE_MUTATION_VERBOSE", nullptr, 0) != 0;
  const DWORD start = GetTickCount();
  for (const auto& [kind, script] : cases) {
    ScriptRegistrar registrar;
    ASSERT_EQ(S_OK, registrar.AddReplacement(L"Module", L"C:\\Devlore''s\\Devlore.DLL"));
    const HRESULT installed = registrar.RunScript(script.c_str(), TRUE);
    const HRESULT removed = registrar.RunScript(script.c_str(), FALSE);
    ++installCounts[Describe(installed)];
    ++removeCounts[Describe(removed)];
    if (!Expected(installed) || !Expected(removed)) {
      if (++unexpected <= 5) {
        ADD_FAILURE() << kind << " script gave " << Describe(installed) << " / " << Describe(removed) << ":\n"
                      << script;
      }
    }
    if (kind == "original") {
      EXPECT_EQ(S_OK, installed);
      EXPECT_EQ(S_OK, removed);
    }
    // What install and remove together leave behind, besides the "CLSID" key
    // that the script never removes.
    Tree left;
    for (const Redirected& root : roots) {
      Tree tree;
      SnapshotInto(root.target, root.name, tree);
      for (auto& entry : tree) {
        if (entry.first != root.name && entry.first != "HKCR\\CLSID") left.insert(entry);
      }
      if (!tree[root.name].empty()) left.insert(*tree.find(root.name));
      RegDeleteTreeA(root.target, nullptr);
    }
    if (!left.empty()) {
      ++leftovers;
      if (verbose) {
        std::printf("--- %s script, %s / %s, left:\n", kind.c_str(), Describe(installed).c_str(),
                    Describe(removed).c_str());
        for (const auto& entry : left) std::printf("    %s (%zu values)\n", entry.first.c_str(), entry.second.size());
        std::printf("%s\n", script.c_str());
      }
    }
  }
  const DWORD elapsed = GetTickCount() - start;

  for (auto it = roots.begin(); it != roots.end(); ++it) {
    delete it->redirect;
    RegCloseKey(it->target);
  }
  std::printf("mutation run: %zu scripts in %lu ms; %d left keys besides CLSID after install+remove\n",
              cases.size(), static_cast<unsigned long>(elapsed), leftovers);
  for (const auto& [code, count] : installCounts) std::printf("  install %-20s %d\n", code.c_str(), count);
  for (const auto& [code, count] : removeCounts) std::printf("  remove  %-20s %d\n", code.c_str(), count);

  EXPECT_EQ(0, unexpected);
  EXPECT_LT(elapsed, 120000u);
  EXPECT_GT(installCounts["S_OK"], 0);
  EXPECT_GT(installCounts["DISP_E_EXCEPTION"], 0);
  // The real roots never saw the script, and the scratch root goes away.
  EXPECT_FALSE(KeyExistsAt(HKEY_CLASSES_ROOT, "Devlore.SysInfo.1"));
  EXPECT_FALSE(KeyExistsAt(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClassId));
  DeleteTreeAt(HKEY_CURRENT_USER, kScratchPath);
  EXPECT_FALSE(KeyExistsAt(HKEY_CURRENT_USER, kScratchPath));
}

}  // namespace
}  // namespace devlore::regtest

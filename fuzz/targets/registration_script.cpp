// A registration script is expanded and run against the in-memory registry:
// install, install again, then remove twice, each run starting from what the
// last one left. Every run leaves no key handle, BSTR or task block open, and
// removal never adds a key or value. Where the script's rules spare nothing
// (no "NoRemove" and no protected key name anywhere in the text, no keyword
// right after "Delete" or "ForceRemove"):
// - an install that fails in its first root block leaves the registry as it
//   was (empty);
// - removal after a successful install leaves the registry empty.
// A successful install run again leaves the registry as the first one did.
// A subkey that another program added below an installed key survives
// removal, and so do the keys above it, unless the key lies below a key of
// its parent's name (removal deletes such a subkey of a key's own name).
// Input: the script text (zero bytes dropped).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "model/same_text.h"
#include "server/script_interpreter.h"
#include "server/script_registrar.h"
#include "support/stand_ins.h"

namespace {

constexpr wchar_t kModule[] = L"C:\\Program Files\\Dev''lore\\Devlore.DLL";
constexpr wchar_t kName[] = L"Tolvane \xE9 Meadow";

HRESULT Run(const std::string& text, bool install) {
  devlore::ScriptRegistrar registrar;
  FUZZ_CHECK(SUCCEEDED(registrar.AddReplacement(L"Module", kModule)));
  FUZZ_CHECK(SUCCEEDED(registrar.AddReplacement(L"Name", kName)));
  const HRESULT hr = registrar.RunScript(text.c_str(), install ? TRUE : FALSE);
  FUZZ_CHECK(standin::OpenKeyCount() == 0);
  FUZZ_CHECK(standin::LiveBstrs() == 0 && standin::LiveTaskBlocks() == 0);
  return hr;
}

// The text as the interpreter reads it, with its variables expanded; empty
// when expansion fails.
std::string Expanded(const std::string& text) {
  devlore::ReplacementTable table;
  FUZZ_CHECK(SUCCEEDED(table.Add(L"Module", kModule)) && SUCCEEDED(table.Add(L"Name", kName)));
  devlore::UniqueArray<char> expanded;
  if (FAILED(devlore::ExpandVariables(text.c_str(), table, &expanded))) return std::string();
  return expanded.Get();
}

bool Contains(const std::string& text, const char* word) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return lower.find(word) != std::string::npos;
}

// Every line of inner (a snapshot: one key or value a line) is also a line of outer.
bool IsPartOf(const std::string& inner, const std::string& outer) {
  std::set<std::string> lines;
  for (size_t at = 0, end; at < outer.size(); at = end + 1) lines.insert(outer.substr(at, (end = outer.find('\n', at)) - at));
  for (size_t at = 0, end; at < inner.size(); at = end + 1)
    if (!lines.count(inner.substr(at, (end = inner.find('\n', at)) - at))) return false;
  return true;
}

// Whether a keyword follows "Delete" or "ForceRemove": install reads "Delete"
// and its name as a key to delete, removal reads the name on as an entry of its
// own ("Delete Val x = ..." removes value x), so removal does not take back
// what install wrote after it.
bool KeywordAfterRemoval(const std::string& text) {
  const char* cursor = text.c_str();
  char token[devlore::kScriptTokenSize];
  bool afterRemoval = false;
  while (SUCCEEDED(devlore::ReadToken(cursor, token, sizeof token))) {
    const bool removal = devlore::IsKeyword(token, "Delete") || devlore::IsKeyword(token, "ForceRemove");
    if (afterRemoval && (removal || devlore::IsKeyword(token, "Val") || devlore::IsKeyword(token, "NoRemove")))
      return true;
    afterRemoval = removal;
  }
  return false;
}

// Whether the install of the first root block on its own fails: then a
// failed install of the whole script failed there.
bool FirstBlockFails(const std::string& text) {
  const char* cursor = text.c_str();
  char token[devlore::kScriptTokenSize];
  devlore::SkipBlanks(cursor);
  if (!*cursor) return false;
  if (FAILED(devlore::ReadToken(cursor, token, sizeof token)) || !devlore::FindRootKey(token)) return true;
  if (FAILED(devlore::ReadToken(cursor, token, sizeof token)) || token[0] != '{') return true;
  devlore::ScriptInterpreter parser;
  FUZZ_CHECK(SUCCEEDED(parser.Initialize()));
  parser.SetCursor(cursor);
  // Only parsed: no key is opened on this walk.
  if (FAILED(parser.ProcessKeyBlock(nullptr, false, true))) return true;
  const std::string first(text.c_str(), parser.Cursor());
  standin::ResetRegistry();
  devlore::ScriptInterpreter interpreter;
  FUZZ_CHECK(SUCCEEDED(interpreter.Initialize()));
  const bool fails = FAILED(interpreter.RunRootBlocks(first.c_str(), true));
  standin::ResetRegistry();
  return fails;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i)
    if (data[i]) text += static_cast<char>(data[i]);
  // The rules are judged on the text as it runs, its variables expanded.
  const std::string expanded = Expanded(text);
  const bool spares = Contains(expanded, "noremove") || Contains(expanded, "clsid") ||
                      Contains(expanded, "typelib") || KeywordAfterRemoval(expanded);

  standin::ResetRegistry();
  const HRESULT installed = Run(text, true);
  const std::string once = standin::Snapshot();
  if (FAILED(installed)) {
    const bool empty = standin::Empty();
    if (!spares && !empty && FirstBlockFails(expanded)) {
      fprintf(stderr, "left after a failed install:\n%s", once.c_str());
      FUZZ_CHECK(!"a failed install left the registry as it was");
    }
    return 0;
  }
  FUZZ_CHECK(SUCCEEDED(Run(text, true)));
  FUZZ_CHECK(standin::Snapshot() == once);

  const HRESULT removed = Run(text, false);
  const std::string after = standin::Snapshot();
  FUZZ_CHECK(IsPartOf(after, once));
  if (!spares) {
    if (!standin::Empty()) fprintf(stderr, "left after removal:\n%s", after.c_str());
    FUZZ_CHECK(SUCCEEDED(removed) && standin::Empty());
    FUZZ_CHECK(SUCCEEDED(Run(text, false)) && standin::Empty());
  }
  if (Contains(expanded, "foreign")) return 0;

  FUZZ_CHECK(SUCCEEDED(Run(text, true)));
  std::vector<std::string> foreign;
  std::vector<HKEY> roots;
  for (const auto& key : standin::Keys()) {
    bool sameNameBelow = false;
    for (size_t i = 1; i < key.second.size(); ++i)
      sameNameBelow |= devlore::SameText(key.second[i - 1].c_str(), key.second[i].c_str(), true);
    if (sameNameBelow || foreign.size() == 40) continue;
    std::string path;
    for (const std::string& name : key.second) path += name + "\\";
    foreign.push_back(path + "Foreign");
    roots.push_back(key.first);
  }
  for (size_t i = 0; i < foreign.size(); ++i) {
    HKEY added = nullptr;
    FUZZ_CHECK(RegCreateKeyExA(roots[i], foreign[i].c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &added,
                               nullptr) == ERROR_SUCCESS);
    RegCloseKey(added);
  }
  Run(text, false);
  for (size_t i = 0; i < foreign.size(); ++i) {
    if (!standin::KeyExists(roots[i], foreign[i].c_str())) fprintf(stderr, "removal took %s\n", foreign[i].c_str());
    FUZZ_CHECK(standin::KeyExists(roots[i], foreign[i].c_str()));
  }
  return 0;
}

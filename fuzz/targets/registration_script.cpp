// A registration script is expanded and run against the in-memory registry:
// install, install again, then remove twice, each run starting from what the
// last one left. Every run leaves no key handle, BSTR or task block open, and
// removal never adds a key or value. Where the script's rules spare nothing
// (no "NoRemove" and no protected key name anywhere in the text):
// - an install that fails in its first root block leaves the registry as it
//   was (empty);
// - removal after a successful install leaves the registry empty.
// A successful install run again leaves the registry as the first one did.
// Input: the script text (zero bytes dropped).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "server/script_interpreter.h"
#include "server/script_registrar.h"
#include "support/stand_ins.h"

namespace {

HRESULT Run(const std::string& text, bool install) {
  devlore::ScriptRegistrar registrar;
  FUZZ_CHECK(SUCCEEDED(registrar.AddReplacement(L"Module", L"C:\\Program Files\\Dev''lore\\Devlore.DLL")));
  FUZZ_CHECK(SUCCEEDED(registrar.AddReplacement(L"Name", L"Tolvane \xE9 Meadow")));
  const HRESULT hr = registrar.RunScript(text.c_str(), install ? TRUE : FALSE);
  FUZZ_CHECK(standin::OpenKeyCount() == 0);
  FUZZ_CHECK(standin::LiveBstrs() == 0 && standin::LiveTaskBlocks() == 0);
  return hr;
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
  const bool fails = FAILED(Run(first, true));
  standin::ResetRegistry();
  return fails;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i)
    if (data[i]) text += static_cast<char>(data[i]);
  // The variables are expanded the same way in every run; the rules are
  // judged on the text as it runs.
  const bool spares = Contains(text, "noremove") || Contains(text, "clsid") || Contains(text, "typelib");

  standin::ResetRegistry();
  const HRESULT installed = Run(text, true);
  const std::string once = standin::Snapshot();
  if (FAILED(installed)) {
    const bool empty = standin::Empty();
    if (!spares && !empty && FirstBlockFails(text)) {
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
  return 0;
}

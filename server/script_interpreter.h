#pragma once
// Walks the nested blocks of an expanded registration script and applies them
// to the registry: install writes the keys and values, remove deletes them
// again, sparing "NoRemove" keys and the protected keys "CLSID" and "TYPELIB".
#include <windows.h>

#include "base/handles.h"
#include "server/script_text.h"

namespace devlore {

// Deepest nesting of blocks in one script, root block included; deeper scripts
// fail with DISP_E_EXCEPTION instead of exhausting the stack.
constexpr int kScriptMaxBlockDepth = 64;

class ScriptInterpreter {
 public:
  ScriptInterpreter() = default;
  ~ScriptInterpreter();
  ScriptInterpreter(const ScriptInterpreter&) = delete;
  ScriptInterpreter& operator=(const ScriptInterpreter&) = delete;

  // Allocates the buffers of a run; E_OUTOFMEMORY when that fails.
  [[nodiscard]] HRESULT Initialize();

  // Runs every root block of an expanded script. A root block whose install
  // fails is run once more in remove mode from its start to take back what it
  // wrote, and the install failure is returned.
  [[nodiscard]] HRESULT RunRootBlocks(const char* text, bool install);

  // Processes the block whose "{" was just read, up to and including its "}":
  // its entries are keys and values below parent. A recovering block is only
  // parsed (parent may then be null).
  [[nodiscard]] HRESULT ProcessKeyBlock(HKEY parent, bool install, bool recovering);

  // Reads "type value" after an "=" and writes it as value `valueName` of key
  // (null: the default value), then reads the token after it.
  [[nodiscard]] HRESULT WriteValue(HKEY key, const char* valueName);

  // If the current token begins with "=", reads over "type value" and the token
  // after it; otherwise does nothing.
  [[nodiscard]] HRESULT SkipValue();

  // The cursor and the current token, for callers that drive single steps
  // (the registration script's fuzz target finds where a root block ends).
  void SetCursor(const char* position) { cursor_ = position; }
  const char* Cursor() const { return cursor_; }
  const char* Token() const;

 private:
  struct Buffers;

  [[nodiscard]] HRESULT NextToken();
  // Reads "type value" after an "=": the type letter into the token, the text
  // into the value text buffer.
  [[nodiscard]] HRESULT ReadValue();
  // After a value: a block there is refused on install and read over on remove.
  [[nodiscard]] HRESULT PassBlockAfterValue(bool install);
  // Installs or removes the key named by the current token, with its value and
  // block, and reads the token after them. current holds the key while it is used.
  [[nodiscard]] HRESULT KeyEntry(HKEY parent, UniqueRegistryKey& current, bool install, bool deleteAllowed, bool recovering);

  const char* cursor_ = nullptr;
  Buffers* buffers_ = nullptr;
  int depth_ = 0;
};

// Deletes parent\name with every key below it. Returns the platform's error
// code: the first failure to open or delete a key, else ERROR_SUCCESS. depth
// counts the levels above parent in a walk; a tree deeper than 512 levels is
// not walked (ERROR_STACK_OVERFLOW).
LONG DeleteKeyTree(HKEY parent, const char* name, int depth = 0);

// Whether key has at least one subkey.
[[nodiscard]] bool KeyHasSubkeys(HKEY key);

// Whether key holds a value with a name; the unnamed default value alone does
// not count. A key that cannot be queried has none.
[[nodiscard]] bool KeyHasNamedValues(HKEY key);

}  // namespace devlore

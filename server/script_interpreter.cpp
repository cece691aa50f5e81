#include "server/script_interpreter.h"

#include <oleauto.h>

#include <new>

#include "model/same_text.h"
#include "model/text.h"

namespace devlore {

// The buffers of one run, on the heap so that nested blocks keep small frames.
struct ScriptInterpreter::Buffers {
  char token[kScriptTokenSize];  // shared by every nesting level; also holds a value's type letter
  char valueText[kScriptTokenSize];
  char valueName[kScriptNameSize];
  wchar_t wideText[kScriptTokenSize];
  BYTE binary[kScriptTokenSize / 2];
};

namespace {

// A registry tree deeper than this is not walked any further.
constexpr int kMaxTreeDepth = 512;

bool IsBlockOpen(const char* token) { return token[0] == '{' && token[1] == '\0'; }

__attribute__((noinline)) int HexDigitValue(char c) {
  unsigned value = static_cast<unsigned>(c - '0');
  if (value < 10) return static_cast<int>(value);
  // "A" to "F" become "a" to "f"; no other character does.
  value = static_cast<unsigned>((c | 0x20) - 'a');
  if (value < 6) return static_cast<int>(value) + 10;
  return 0;
}

// Closes the key of the previous entry, if any. False when the platform
// reports a failure to close it.
__attribute__((noinline)) bool CloseEntryKey(UniqueRegistryKey& key) {
  return !key.IsValid() || key.Close() == ERROR_SUCCESS;
}

// Opens parent\name with access, else with fallback; null when neither opens.
__attribute__((noinline)) HKEY OpenKeyEither(HKEY parent, const char* name, REGSAM access, REGSAM fallback) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, access, &key) == ERROR_SUCCESS) return key;
  key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, fallback, &key) == ERROR_SUCCESS) return key;
  return nullptr;
}

// Counts one more level of nested blocks while it lives.
class NestingLevel {
 public:
  explicit NestingLevel(int& depth) : depth_(depth) { ++depth_; }
  ~NestingLevel() { --depth_; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;

 private:
  int& depth_;
};

// A name that may stand for a subkey: not empty (that would address the parent
// itself) and without a backslash.
bool IsKeyName(const char* token) { return token[0] != '\0' && !ContainsBackslash(token); }

}  // namespace

LONG DeleteKeyTree(HKEY parent, const char* name, int depth) {
  if (depth >= kMaxTreeDepth) return ERROR_STACK_OVERFLOW;
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, &opened);
  if (result != ERROR_SUCCESS) return result;
  UniqueRegistryKey key(opened);
  char previous[256];
  previous[0] = '\0';
  for (;;) {
    char subkey[256];
    DWORD size = sizeof(subkey);
    if (RegEnumKeyExA(key.Get(), 0, subkey, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    // A subkey that is still listed after it was deleted would loop forever.
    // Names are compared the way the registry tells keys apart: "Stale" and
    // "Stale\xAD" are two keys, which a linguistic comparison takes for one.
    if (previous[0] && SameText(previous, subkey, true)) return ERROR_ACCESS_DENIED;
    result = DeleteKeyTree(key.Get(), subkey, depth + 1);
    if (result != ERROR_SUCCESS) return result;
    CopyText(previous, sizeof(previous), subkey);
  }
  key.Reset();
  return RegDeleteKeyA(parent, name);
}

bool KeyHasSubkeys(HKEY key) {
  DWORD subkeys = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  return subkeys > 0;
}

bool KeyHasNamedValues(HKEY key) {
  DWORD values = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (values == 0) return false;
  if (values > 1) return true;
  // One value: it counts unless it is the unnamed default value. A name too
  // long for the buffer is not empty.
  char name[kScriptNameSize];
  DWORD size = sizeof(name);
  LONG result = RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_MORE_DATA) return true;
  return result == ERROR_SUCCESS && name[0] != '\0';
}

ScriptInterpreter::~ScriptInterpreter() { delete buffers_; }

HRESULT ScriptInterpreter::Initialize() {
  if (!buffers_) buffers_ = new (std::nothrow) Buffers;
  if (!buffers_) return E_OUTOFMEMORY;
  buffers_->token[0] = '\0';
  return S_OK;
}

const char* ScriptInterpreter::Token() const { return buffers_ ? buffers_->token : ""; }

HRESULT ScriptInterpreter::NextToken() { return ReadToken(cursor_, buffers_->token, kScriptTokenSize); }

HRESULT ScriptInterpreter::RunRootBlocks(const char* text, bool install) {
  if (!buffers_) return E_UNEXPECTED;
  cursor_ = text;
  depth_ = 0;
  HRESULT hr = S_OK;
  for (;;) {
    SkipBlanks(cursor_);
    if (!*cursor_) return hr;
    hr = NextToken();
    if (FAILED(hr)) return hr;
    HKEY root = FindRootKey(buffers_->token);
    if (!root) return DISP_E_EXCEPTION;
    hr = NextToken();
    if (FAILED(hr)) return hr;
    if (buffers_->token[0] != '{') return DISP_E_EXCEPTION;
    const char* blockStart = cursor_;
    hr = ProcessKeyBlock(root, install, false);
    if (FAILED(hr)) {
      // Take back what a failed install wrote; the outcome of that is not ours to report.
      if (install) {
        cursor_ = blockStart;
        (void)ProcessKeyBlock(root, false, false);
      }
      return hr;
    }
  }
}

HRESULT ScriptInterpreter::ProcessKeyBlock(HKEY parent, bool install, bool recovering) {
  if (!buffers_) return E_UNEXPECTED;
  if (depth_ >= kScriptMaxBlockDepth) return DISP_E_EXCEPTION;
  NestingLevel level(depth_);
  char* token = buffers_->token;
  UniqueRegistryKey current;
  bool deleteAllowed = true;
  HRESULT hr = NextToken();
  if (FAILED(hr)) return hr;
  while (token[0] != '}') {
    const bool isDelete = IsKeyword(token, "Delete");
    if (isDelete || IsKeyword(token, "ForceRemove")) {
      hr = NextToken();
      if (FAILED(hr)) return hr;
      if (install) {
        if (!IsKeyName(token)) return DISP_E_EXCEPTION;
        if (!IsProtectedKey(token)) DeleteKeyTree(parent, token);
        if (isDelete) {
          // A deleted key has no entries of its own to write.
          hr = NextToken();
          if (SUCCEEDED(hr)) hr = SkipValue();
          if (SUCCEEDED(hr)) hr = PassBlockAfterValue(true);
          if (FAILED(hr)) return hr;
          continue;
        }
      }
      // ForceRemove in install mode, and either keyword in remove mode, go on
      // with the key name.
    }
    if (IsKeyword(token, "NoRemove")) {
      deleteAllowed = false;  // for this key and every later key of the block
      hr = NextToken();
      if (FAILED(hr)) return hr;
    }
    if (IsKeyword(token, "Val")) {
      char* valueName = buffers_->valueName;
      hr = ReadToken(cursor_, valueName, kScriptNameSize);
      if (FAILED(hr)) return hr;
      hr = NextToken();
      if (FAILED(hr)) return hr;
      if (token[0] != '=') return DISP_E_EXCEPTION;
      if (install) {
        hr = WriteValue(parent, valueName);
      } else {
        if (!recovering) RegDeleteValueA(parent, valueName);
        hr = SkipValue();
      }
      if (SUCCEEDED(hr)) hr = PassBlockAfterValue(install);
      if (FAILED(hr)) return hr;
      continue;
    }
    if (!IsKeyName(token) || !CloseEntryKey(current)) return DISP_E_EXCEPTION;
    hr = KeyEntry(parent, current, install, deleteAllowed, recovering);
    if (FAILED(hr)) return hr;
  }
  return CloseEntryKey(current) ? S_OK : DISP_E_EXCEPTION;
}

HRESULT ScriptInterpreter::PassBlockAfterValue(bool install) {
  if (!IsBlockOpen(buffers_->token)) return S_OK;
  // A value has no block: on install one would land under another key.
  // Removal reads over what install refuses, so that it can take back
  // everything before it.
  if (install) return DISP_E_EXCEPTION;
  HRESULT hr = ProcessKeyBlock(nullptr, false, true);
  if (FAILED(hr)) return hr;
  return NextToken();  // past the block's "}"
}

HRESULT ScriptInterpreter::KeyEntry(HKEY parent, UniqueRegistryKey& current, bool install, bool deleteAllowed,
                                    bool recovering) {
  char* token = buffers_->token;
  // The key's name is needed once its block has run; a name that does not fit
  // is not used at all.
  char name[kScriptNameSize];
  const bool nameWhole = CopyText(name, sizeof(name), token) != 0;
  // In remove mode, a key that cannot be opened is not an error: its entry and
  // block are only parsed. This holds for this entry alone; the next sibling
  // is looked at again.
  bool skipping = recovering;
  if (install) {
    HKEY key = OpenKeyEither(parent, token, KEY_ALL_ACCESS, KEY_READ);
    if (!key && RegCreateKeyExA(parent, token, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr) != ERROR_SUCCESS) {
      return DISP_E_EXCEPTION;
    }
    current.Reset(key);
  } else {
    if (!skipping) {
      // Read access is what the walk needs; the right to delete values is asked
      // for too where the platform checks it, so that "Val" entries go as well.
      HKEY key = parent ? OpenKeyEither(parent, token, KEY_READ | KEY_SET_VALUE, KEY_READ) : nullptr;
      current.Reset(key);
      skipping = !key;
    }
    if (!skipping && !KeyHasSubkeys(current.Get()) && !KeyHasNamedValues(current.Get())) {
      // Nothing below the key that the script could spare: it goes at once, and
      // its block, if any, is only read over.
      if (!CloseEntryKey(current)) return DISP_E_EXCEPTION;
      if (deleteAllowed) RegDeleteKeyA(parent, token);
      skipping = true;
    }
  }

  HRESULT hr = NextToken();
  if (FAILED(hr)) return hr;
  if (token[0] == '=') {
    hr = install ? WriteValue(current.Get(), nullptr) : SkipValue();
    if (FAILED(hr)) return hr;
  }
  const bool hasBlock = IsBlockOpen(token);
  if (hasBlock) hr = ProcessKeyBlock(skipping ? nullptr : current.Get(), install, skipping);
  // In remove mode, even when the block failed, this key is finished as usual:
  // a failure deep in a script (the rollback of an install that failed there,
  // above all) still takes back the keys that enclose it once they are empty.
  if (!install && !skipping) {
    if (KeyHasSubkeys(current.Get())) {
      // Something the script does not list is still below the key: the key
      // stays, and only a subkey of its own name goes.
      if (nameWhole && !IsProtectedKey(name)) DeleteKeyTree(current.Get(), name);
    } else {
      if (!CloseEntryKey(current)) return DISP_E_EXCEPTION;
      if (deleteAllowed && nameWhole) RegDeleteKeyA(parent, name);
    }
  }
  if (FAILED(hr)) return hr;
  if (hasBlock) hr = NextToken();  // past the block's "}"
  return hr;
}

HRESULT ScriptInterpreter::ReadValue() {
  HRESULT hr = NextToken();  // the type letter
  if (FAILED(hr)) return hr;
  return ReadToken(cursor_, buffers_->valueText, kScriptTokenSize);
}

HRESULT ScriptInterpreter::WriteValue(HKEY key, const char* valueName) {
  Buffers& b = *buffers_;
  HRESULT hr = ReadValue();
  if (FAILED(hr)) return hr;
  const DWORD type = FindValueType(b.token);
  if (type == REG_NONE) return DISP_E_EXCEPTION;

  const char* text = b.valueText;
  const DWORD length = static_cast<DWORD>(lstrlenA(text));
  const BYTE* data = reinterpret_cast<const BYTE*>(text);
  DWORD size = length + 1;
  DWORD number;
  if (type == REG_DWORD) {
    // A text that is no number fails the run: nothing is written, and an
    // install is taken back.
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, b.wideText, kScriptTokenSize) == 0) return LastErrorResult();
    hr = VarUI4FromStr(b.wideText, 0, 0, &number);
    if (FAILED(hr)) return hr;
    data = reinterpret_cast<const BYTE*>(&number);
    size = sizeof(number);
  } else if (type == REG_BINARY) {
    if (length % 2 != 0) return E_FAIL;
    size = length / 2;
    for (DWORD i = 0; i < size; ++i) {
      b.binary[i] = static_cast<BYTE>(HexDigitValue(text[2 * i]) << 4 | HexDigitValue(text[2 * i + 1]));
    }
    data = b.binary;
  }
  RegSetValueExA(key, valueName, 0, type, data, size);
  return NextToken();
}

HRESULT ScriptInterpreter::SkipValue() {
  if (buffers_->token[0] != '=') return S_OK;
  HRESULT hr = ReadValue();
  if (FAILED(hr)) return hr;
  return NextToken();
}

}  // namespace devlore

#pragma once
// The text side of the registration script language: variable expansion, the
// blank and token rules, and the name tables. Nothing here touches the
// registry. Text is ANSI text of the system code page; every walk advances by
// whole characters, a double-byte character counting as one.
#include <windows.h>

#include "base/unique_array.h"

namespace devlore {

// Token buffer shared by all nesting levels, and the buffers of a value's type
// letter and text.
constexpr DWORD kScriptTokenSize = 4096;
// Buffer of the value name after "Val" and of a remembered key name.
constexpr DWORD kScriptNameSize = 260;
// Longest variable name between two percent signs, in bytes.
constexpr DWORD kScriptVariableNameMax = 31;

// Bytes of the character at text: 0 at the terminating zero, 2 for a lead byte
// followed by a trail byte, else 1. A lead byte right before the terminating
// zero counts as one byte, so a walk never steps over the end of the text.
int ScriptCharLength(const char* text);

// Space, tab, carriage return and line feed; no other character.
[[nodiscard]] inline bool IsScriptBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The variables of one run: (name, text) pairs given as wide strings and kept
// in the ANSI code page, looked up by name without regard to case, first match
// wins.
class ReplacementTable {
 public:
  ReplacementTable() = default;
  ~ReplacementTable() { Clear(); }
  ReplacementTable(const ReplacementTable&) = delete;
  ReplacementTable& operator=(const ReplacementTable&) = delete;

  // Appends the pair, converted to the ANSI code page. E_OUTOFMEMORY (nothing
  // added) when memory runs out, E_INVALIDARG for a null name or text, the
  // platform's error when a text cannot be converted.
  [[nodiscard]] HRESULT Add(const wchar_t* name, const wchar_t* text);
  // The ANSI text of the first pair whose name, in the ANSI code page, equals
  // name without regard to case; null when there is none.
  const char* Find(const char* name) const;
  DWORD Count() const { return count_; }
  void Clear();

 private:
  // Each pair is one block: this header, then the name, its zero, the text and
  // its zero. The pairs are listed in the order they were added.
  struct Pair {
    Pair* next;
    const char* Name() const { return reinterpret_cast<const char*>(this + 1); }
  };
  Pair* first_ = nullptr;
  DWORD count_ = 0;
};

// Replaces every "%name%" of text by the table's text for name and every "%%"
// by "%". The new text, ended by a zero, is handed to expanded. E_FAIL for a
// name longer than 31 bytes; DISP_E_EXCEPTION for a "%" without a closing one
// or a name the table does not hold; E_OUTOFMEMORY when memory runs out. On
// failure expanded is left empty.
[[nodiscard]] HRESULT ExpandVariables(const char* text, const ReplacementTable& table, UniqueArray<char>* expanded);

// Moves cursor over blanks.
void SkipBlanks(const char*& cursor);

// Reads the next token into buffer (size bytes) and moves cursor past it.
// A quoted token runs from "'" to the next "'" not followed by another one,
// "''" standing for one "'"; it may hold up to size - 2 bytes (one more when
// its last character is a double-byte one). A bare token runs to the next blank
// or the end of the text and must fit buffer with its terminating zero.
// DISP_E_EXCEPTION at the end of the text, for an unclosed quote and for a
// token that does not fit.
[[nodiscard]] HRESULT ReadToken(const char*& cursor, char* buffer, DWORD size);

// The root key named name ("HKCR", "HKEY_CLASSES_ROOT", ...), without regard
// to case; null when the name is not a root key.
HKEY FindRootKey(const char* name);

// The registry type of a type letter ("S", "D", "B", without regard to case);
// REG_NONE when the letter is unknown.
DWORD FindValueType(const char* letter);

// Whether name contains a backslash character (walked by whole characters, so
// a trail byte of the same value does not count).
[[nodiscard]] bool ContainsBackslash(const char* name);

// "CLSID" and "TYPELIB", without regard to case: never deleted as a tree.
[[nodiscard]] bool IsProtectedKey(const char* name);

// Exact keyword match without regard to case.
[[nodiscard]] bool IsKeyword(const char* token, const char* keyword);

}  // namespace devlore

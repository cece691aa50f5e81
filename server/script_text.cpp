#include "server/script_text.h"

#include <new>

#include "model/same_text.h"
#include "model/text.h"

namespace devlore {
namespace {

// Name lists: each name ended by a zero, the list by an empty name.
// The i-th root key name stands for the predefined key HKEY_CLASSES_ROOT + i % 7:
// the platform numbers its root keys in this order.
const char kRootKeyNames[] =
    "HKCR\0HKCU\0HKLM\0HKU\0HKPD\0HKCC\0HKDD\0"
    "HKEY_CLASSES_ROOT\0HKEY_CURRENT_USER\0HKEY_LOCAL_MACHINE\0HKEY_USERS\0"
    "HKEY_PERFORMANCE_DATA\0HKEY_CURRENT_CONFIG\0HKEY_DYN_DATA\0";
constexpr int kRootKeyCount = 7;

const char kValueTypeLetters[] = "S\0D\0B\0";
const BYTE kValueTypes[] = {REG_SZ, REG_DWORD, REG_BINARY};

const char kProtectedKeyNames[] = "CLSID\0TYPELIB\0";

// The index of name in a name list, compared without regard to case; -1 when
// the list does not hold it.
int FindName(const char* names, const char* name) {
  for (int index = 0; *names; names += lstrlenA(names) + 1, ++index) {
    if (SameText(names, name, true)) return index;
  }
  return -1;
}

}  // namespace

int ScriptCharLength(const char* text) {
  if (*text == '\0') return 0;
  if (text[1] != '\0' && IsDBCSLeadByte(static_cast<BYTE>(*text))) return 2;
  return 1;
}

HRESULT ReplacementTable::Add(const wchar_t* name, const wchar_t* text) {
  if (!name || !text) return E_INVALIDARG;
  // Name and text are kept in the ANSI code page, one after the other.
  const wchar_t* const parts[2] = {name, text};
  int sizes[2];
  for (int i = 0; i < 2; ++i) {
    sizes[i] = WideCharToMultiByte(CP_ACP, 0, parts[i], -1, nullptr, 0, nullptr, nullptr);
    if (sizes[i] <= 0) return LastErrorResult();
  }
  char* block = new (std::nothrow) char[sizeof(Pair) + static_cast<DWORD>(sizes[0]) + static_cast<DWORD>(sizes[1])];
  if (!block) return E_OUTOFMEMORY;
  Pair* pair = reinterpret_cast<Pair*>(block);
  pair->next = nullptr;
  char* at = block + sizeof(Pair);
  for (int i = 0; i < 2; ++i) {
    WideCharToMultiByte(CP_ACP, 0, parts[i], -1, at, sizes[i], nullptr, nullptr);
    at += sizes[i];
  }
  Pair** link = &first_;
  while (*link) link = &(*link)->next;
  *link = pair;
  ++count_;
  return S_OK;
}

const char* ReplacementTable::Find(const char* name) const {
  for (const Pair* pair = first_; pair; pair = pair->next) {
    const char* pairName = pair->Name();
    if (SameText(pairName, name, true)) return pairName + lstrlenA(pairName) + 1;
  }
  return nullptr;
}

void ReplacementTable::Clear() {
  while (Pair* pair = first_) {
    first_ = pair->next;
    delete[] reinterpret_cast<char*>(pair);
  }
  count_ = 0;
}

HRESULT ExpandVariables(const char* text, const ReplacementTable& table, UniqueArray<char>* expanded) {
  expanded->Reset();
  if (static_cast<DWORD>(lstrlenA(text)) > 0x3FFFFFFF) return E_OUTOFMEMORY;
  // Two walks over the text: the first checks it and measures the result, the
  // second writes the result into a buffer of just that size.
  UniqueArray<char> out;
  DWORD room = 0x7FFFFFFE;  // bytes the text may take; its terminating zero comes on top
  for (;;) {
    DWORD used = 0;
    const char* cursor = text;
    while (*cursor) {
      const char* piece;
      DWORD pieceLength;
      if (*cursor == '%' && cursor[1] != '%') {
        // A variable: the name runs to the next "%".
        char name[kScriptVariableNameMax + 1];
        DWORD nameLength = 0;
        ++cursor;
        while (*cursor != '%') {
          if (*cursor == '\0') return DISP_E_EXCEPTION;
          for (int size = ScriptCharLength(cursor); size > 0; --size) {
            if (nameLength >= kScriptVariableNameMax) return E_FAIL;
            name[nameLength++] = *cursor++;
          }
        }
        name[nameLength] = '\0';
        ++cursor;
        piece = table.Find(name);
        if (!piece) return DISP_E_EXCEPTION;
        pieceLength = static_cast<DWORD>(lstrlenA(piece));
      } else {
        if (*cursor == '%') ++cursor;  // "%%" stands for one "%"
        piece = cursor;
        pieceLength = static_cast<DWORD>(ScriptCharLength(cursor));
        cursor += pieceLength;
      }
      if (pieceLength > room - used) return E_OUTOFMEMORY;
      if (out) {
        for (DWORD i = 0; i < pieceLength; ++i) out[used + i] = piece[i];
      }
      used += pieceLength;
    }
    if (out) {
      out[used] = '\0';
      break;
    }
    out.Reset(new (std::nothrow) char[used + 1]);
    if (!out) return E_OUTOFMEMORY;
    room = used;
  }
  expanded->Reset(out.Detach());
  return S_OK;
}

void SkipBlanks(const char*& cursor) {
  while (IsScriptBlank(*cursor)) ++cursor;
}

HRESULT ReadToken(const char*& cursor, char* buffer, DWORD size) {
  if (size < 2) return DISP_E_EXCEPTION;
  SkipBlanks(cursor);
  if (*cursor == '\0') return DISP_E_EXCEPTION;
  const bool quoted = *cursor == '\'';
  if (quoted) ++cursor;
  DWORD used = 0;
  for (;;) {
    if (quoted) {
      if (*cursor == '\0') return DISP_E_EXCEPTION;  // never closed
      if (*cursor == '\'') {
        ++cursor;                       // the closing quote, or the first of a doubled one
        if (*cursor != '\'') break;
      }
      if (used >= size - 2) return DISP_E_EXCEPTION;
    } else if (*cursor == '\0' || IsScriptBlank(*cursor)) {
      break;
    }
    // A quoted token has room for this character at this point; a bare one must
    // still fit with its terminating zero.
    int length = ScriptCharLength(cursor);
    if (used + static_cast<DWORD>(length) >= size) return DISP_E_EXCEPTION;
    for (; length > 0; --length) buffer[used++] = *cursor++;
  }
  buffer[used] = '\0';
  return S_OK;
}

HKEY FindRootKey(const char* name) {
  const int index = FindName(kRootKeyNames, name);
  if (index < 0) return nullptr;
  return reinterpret_cast<HKEY>(reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) + index % kRootKeyCount);
}

DWORD FindValueType(const char* letter) {
  const int index = FindName(kValueTypeLetters, letter);
  return index < 0 ? REG_NONE : kValueTypes[index];
}

bool ContainsBackslash(const char* name) {
  for (const char* p = name; *p; p += ScriptCharLength(p)) {
    if (*p == '\\') return true;
  }
  return false;
}

bool IsProtectedKey(const char* name) { return FindName(kProtectedKeyNames, name) >= 0; }

bool IsKeyword(const char* token, const char* keyword) { return SameText(token, keyword, true); }

}  // namespace devlore

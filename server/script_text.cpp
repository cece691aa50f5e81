#include "server/script_text.h"

#include <new>

#include "model/text.h"

namespace devlore {
namespace {

struct RootKeyName {
  const char* name;
  HKEY key;
};

// Searched in this order.
const RootKeyName kRootKeys[] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

struct ValueTypeName {
  const char* letter;
  DWORD type;
};

const ValueTypeName kValueTypes[] = {
    {"S", REG_SZ},
    {"D", REG_DWORD},
    {"B", REG_BINARY},
};

// A heap copy of a wide string, or null when memory runs out.
wchar_t* CopyWide(const wchar_t* text) {
  DWORD length = 0;
  while (text[length]) ++length;
  wchar_t* copy = new (std::nothrow) wchar_t[length + 1];
  if (!copy) return nullptr;
  for (DWORD i = 0; i <= length; ++i) copy[i] = text[i];
  return copy;
}

// The growing output of ExpandVariables; always leaves room for the final zero.
class ExpandedText {
 public:
  bool Reserve(DWORD room) {
    data_ = UniqueArray<char>(new (std::nothrow) char[room]);
    room_ = data_ ? room : 0;
    return room_ != 0;
  }

  // Makes sure that extra more bytes and a terminating zero fit.
  bool MakeRoom(DWORD extra) {
    if (extra > 0x7FFFFFFF - used_ - 1) return false;
    DWORD needed = used_ + extra + 1;
    if (needed <= room_) return true;
    DWORD room = room_;
    while (room < needed) {
      if (room > 0x3FFFFFFF) return false;
      room *= 2;
    }
    char* grown = new (std::nothrow) char[room];
    if (!grown) return false;
    for (DWORD i = 0; i < used_; ++i) grown[i] = data_[i];
    data_.reset(grown);
    room_ = room;
    return true;
  }

  bool Append(const char* bytes, DWORD count) {
    if (!MakeRoom(count)) return false;
    for (DWORD i = 0; i < count; ++i) data_[used_ + i] = bytes[i];
    used_ += count;
    return true;
  }

  // Converts a wide text to the ANSI code page straight into the output.
  HRESULT AppendWide(const wchar_t* text) {
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return LastErrorResult();
    if (!MakeRoom(static_cast<DWORD>(needed))) return E_OUTOFMEMORY;
    int written = WideCharToMultiByte(CP_ACP, 0, text, -1, data_.get() + used_, needed, nullptr, nullptr);
    if (written <= 0) return LastErrorResult();
    used_ += static_cast<DWORD>(written) - 1;  // the converted zero is not part of the text
    return S_OK;
  }

  UniqueArray<char> Finish() {
    data_[used_] = '\0';
    return UniqueArray<char>(data_.release());
  }

 private:
  UniqueArray<char> data_;
  DWORD used_ = 0;
  DWORD room_ = 0;
};

}  // namespace

int ScriptCharLength(const char* text) {
  if (*text == '\0') return 0;
  if (text[1] != '\0' && IsDBCSLeadByte(static_cast<BYTE>(*text))) return 2;
  return 1;
}

HRESULT ReplacementTable::Add(const wchar_t* name, const wchar_t* text) {
  if (!name || !text) return E_INVALIDARG;
  if (count_ == room_) {
    DWORD room = room_ ? room_ * 2 : 10;
    if (room < room_ || room > 0x0FFFFFFF) return E_OUTOFMEMORY;
    Pair* grown = new (std::nothrow) Pair[room];
    if (!grown) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < count_; ++i) grown[i] = pairs_[i];
    delete[] pairs_;
    pairs_ = grown;
    room_ = room;
  }
  Pair pair = {CopyWide(name), CopyWide(text)};
  if (!pair.name || !pair.text) {
    delete[] pair.name;
    delete[] pair.text;
    return E_OUTOFMEMORY;
  }
  pairs_[count_++] = pair;
  return S_OK;
}

const wchar_t* ReplacementTable::Find(const char* name) const {
  for (DWORD i = 0; i < count_; ++i) {
    // A stored name whose ANSI form does not fit cannot equal a variable name,
    // which is at most 31 bytes long.
    char stored[2 * (kScriptVariableNameMax + 1)];
    if (WideCharToMultiByte(CP_ACP, 0, pairs_[i].name, -1, stored, sizeof(stored), nullptr, nullptr) <= 0) {
      continue;
    }
    if (lstrcmpiA(stored, name) == 0) return pairs_[i].text;
  }
  return nullptr;
}

void ReplacementTable::Clear() {
  for (DWORD i = 0; i < count_; ++i) {
    delete[] pairs_[i].name;
    delete[] pairs_[i].text;
  }
  delete[] pairs_;
  pairs_ = nullptr;
  count_ = 0;
  room_ = 0;
}

HRESULT ExpandVariables(const char* text, const ReplacementTable& table, UniqueArray<char>* expanded) {
  expanded->reset();
  DWORD length = static_cast<DWORD>(lstrlenA(text));
  if (length > 0x3FFFFFFF) return E_OUTOFMEMORY;
  ExpandedText out;
  if (!out.Reserve(length * 2 + 2)) return E_OUTOFMEMORY;

  const char* cursor = text;
  while (*cursor) {
    if (*cursor != '%') {
      int size = ScriptCharLength(cursor);
      if (!out.Append(cursor, static_cast<DWORD>(size))) return E_OUTOFMEMORY;
      cursor += size;
      continue;
    }
    if (cursor[1] == '%') {
      if (!out.Append("%", 1)) return E_OUTOFMEMORY;
      cursor += 2;
      continue;
    }
    // A variable: the name runs to the next "%".
    const char* name = cursor + 1;
    const char* end = name;
    DWORD nameLength = 0;
    while (*end != '%') {
      if (*end == '\0') return DISP_E_EXCEPTION;
      int size = ScriptCharLength(end);
      nameLength += static_cast<DWORD>(size);
      if (nameLength > kScriptVariableNameMax) return E_FAIL;
      end += size;
    }
    char nameText[kScriptVariableNameMax + 1];
    for (DWORD i = 0; i < nameLength; ++i) nameText[i] = name[i];
    nameText[nameLength] = '\0';
    const wchar_t* replacement = table.Find(nameText);
    if (!replacement) return DISP_E_EXCEPTION;
    HRESULT hr = out.AppendWide(replacement);
    if (FAILED(hr)) return hr;
    cursor = end + 1;
  }
  *expanded = out.Finish();
  return S_OK;
}

void SkipBlanks(const char*& cursor) {
  while (IsScriptBlank(*cursor)) ++cursor;
}

HRESULT ReadToken(const char*& cursor, char* buffer, DWORD size) {
  if (size < 2) return DISP_E_EXCEPTION;
  SkipBlanks(cursor);
  if (*cursor == '\0') return DISP_E_EXCEPTION;
  DWORD used = 0;
  if (*cursor == '\'') {
    ++cursor;
    for (;;) {
      if (*cursor == '\0') return DISP_E_EXCEPTION;  // never closed
      if (*cursor == '\'') {
        if (cursor[1] != '\'') break;  // the closing quote
        ++cursor;                      // first of a doubled quote
      }
      if (used >= size - 2) return DISP_E_EXCEPTION;
      int length = ScriptCharLength(cursor);
      for (int i = 0; i < length; ++i) buffer[used++] = *cursor++;
    }
    buffer[used] = '\0';
    ++cursor;
    return S_OK;
  }
  while (*cursor && !IsScriptBlank(*cursor)) {
    int length = ScriptCharLength(cursor);
    if (used + static_cast<DWORD>(length) >= size) return DISP_E_EXCEPTION;
    for (int i = 0; i < length; ++i) buffer[used++] = *cursor++;
  }
  buffer[used] = '\0';
  return S_OK;
}

HKEY FindRootKey(const char* name) {
  for (const RootKeyName& root : kRootKeys) {
    if (lstrcmpiA(root.name, name) == 0) return root.key;
  }
  return nullptr;
}

DWORD FindValueType(const char* letter) {
  for (const ValueTypeName& type : kValueTypes) {
    if (lstrcmpiA(type.letter, letter) == 0) return type.type;
  }
  return REG_NONE;
}

bool ContainsBackslash(const char* name) {
  for (const char* p = name; *p; p += ScriptCharLength(p)) {
    if (*p == '\\') return true;
  }
  return false;
}

bool IsProtectedKey(const char* name) {
  return lstrcmpiA(name, "CLSID") == 0 || lstrcmpiA(name, "TYPELIB") == 0;
}

bool IsKeyword(const char* token, const char* keyword) { return lstrcmpiA(token, keyword) == 0; }

}  // namespace devlore

#include "model/text.h"

#include "base/handles.h"

namespace devlore {

HRESULT AnsiToWide(const char* text, wchar_t** wideCopy) {
  if (!text) {
    *wideCopy = nullptr;
    return S_OK;
  }
  const int length = lstrlenA(text);
  wchar_t* block = static_cast<wchar_t*>(CoTaskMemAlloc(2 * (static_cast<SIZE_T>(length) + 1)));
  *wideCopy = block;
  if (!block) return E_OUTOFMEMORY;
  if (MultiByteToWideChar(CP_ACP, 0, text, length + 1, block, length + 1) != 0) return S_OK;
  // Read before the free, which may change it.
  const HRESULT failure = LastErrorResult();
  CoTaskMemFree(block);
  *wideCopy = nullptr;
  return failure;
}

bool ConvertElementStrings(char* const* texts, BSTR* strings, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    // A table formatted again holds the strings of the last time.
    SysFreeString(strings[i]);
    strings[i] = nullptr;
    wchar_t* wide = nullptr;
    if (FAILED(AnsiToWide(texts[i], &wide))) continue;
    UniqueTaskMemory owner(wide);
    strings[i] = SysAllocString(wide);
    if (!strings[i]) return false;
  }
  return true;
}

void GroupThousands(uint64_t value, char* out) {
  // The digits are made from the lowest up, then written out in reverse.
  char reversed[26];
  uint32_t count = 0;
  for (uint32_t group = 3;;) {
    // One division: the digit is what the quotient leaves, exact in 32 bits.
    const uint64_t quotient = value / 10;
    reversed[count++] = static_cast<char>('0' + (static_cast<uint32_t>(value) - static_cast<uint32_t>(quotient) * 10));
    value = quotient;
    if (value == 0) break;
    if (--group == 0) {
      reversed[count++] = ',';
      group = 3;
    }
  }
  for (uint32_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  out[count] = '\0';
}

bool FormatByteSize(uint64_t value, char* out) {
  if (!out) return false;
  // The largest unit of which the value holds at least one: 2^30, 2^20 or 2^10.
  uint32_t shift = 30;
  while (!(value >> shift)) {
    if (shift == 10) return false;
    shift -= 10;
  }
  // The tenth is the first decimal of the remainder below one unit, truncated.
  const uint32_t remainder = static_cast<uint32_t>(value) & ((1u << shift) - 1);
  const uint32_t tenth = static_cast<uint32_t>((static_cast<uint64_t>(remainder) * 10) >> shift);
  static const char kUnits[] = "KB\0MB\0GB";
  wsprintfA(out, "%lu.%lu %s", static_cast<unsigned long>(value >> shift), static_cast<unsigned long>(tenth),
            kUnits + 3 * (shift / 10 - 1));
  return true;
}

bool ReadRegistryValue(HKEY root, const char* subkey, const char* name, void* buffer, DWORD size,
                      DWORD type) {
  if (!root || !subkey || !name || !buffer || size == 0) return false;
  UniqueRegistryKey key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  DWORD valueType = type;
  DWORD byteCount = size;
  if (RegQueryValueExA(key.Get(), name, nullptr, &valueType, static_cast<BYTE*>(buffer), &byteCount) !=
      ERROR_SUCCESS)
    return false;
  // Values are used as text: make sure a terminator lies within the buffer.
  BYTE* bytes = static_cast<BYTE*>(buffer);
  if (byteCount < size) {
    bytes[byteCount] = 0;
  } else if (bytes[size - 1] != 0) {
    return false;
  }
  return true;
}

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

bool CopyText(char* destination, uint32_t size, const char* source) {
  if (size == 0) return false;
  uint32_t i = 0;
  for (; i + 1 < size && source[i]; ++i) destination[i] = source[i];
  destination[i] = '\0';
  return source[i] == '\0';
}

bool AppendText(char* destination, uint32_t size, const char* source) {
  uint32_t used = 0;
  while (used < size && destination[used]) ++used;
  if (used >= size) return false;
  return CopyText(destination + used, size - used, source);
}

}  // namespace devlore

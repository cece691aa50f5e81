#include "model/text.h"

#include "base/handles.h"

namespace devlore {

HRESULT AnsiToWide(const char* text, wchar_t** wideCopy) {
  if (!text) {
    *wideCopy = nullptr;
    return 0;
  }
  const int length = lstrlenA(text);
  wchar_t* block = static_cast<wchar_t*>(CoTaskMemAlloc(2 * (static_cast<SIZE_T>(length) + 1)));
  *wideCopy = block;
  if (!block) return E_OUTOFMEMORY;
  if (MultiByteToWideChar(CP_ACP, 0, text, length + 1, block, length + 1) != 0) return 0;
  const DWORD error = GetLastError();
  CoTaskMemFree(block);
  *wideCopy = nullptr;
  return error == 0 ? 0 : static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

int ConvertElementStrings(char* const* texts, BSTR* strings, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    wchar_t* wide = nullptr;
    if (AnsiToWide(texts[i], &wide) != 0) {
      strings[i] = nullptr;
      continue;
    }
    UniqueTaskMemory owner(wide);
    strings[i] = SysAllocString(wide);
    if (!strings[i]) return 0;
  }
  return 1;
}

int GroupThousands(char* text) {
  if (!text) return 0;
  // The text is the plain decimal form of an unsigned 64-bit number; its digits
  // are read up to the first non-digit.
  uint64_t value = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<uint64_t>(*p - '0');

  uint32_t digits = 1;
  for (uint64_t rest = value / 10; rest != 0; rest /= 10) ++digits;
  const uint32_t length = digits + (digits - 1) / 3;

  char work[kLineSize] = {};
  const char* digit = text + digits - 1;
  uint32_t copied = 0;
  bool separatorJustWritten = false;
  for (int32_t position = static_cast<int32_t>(length) - 1; position >= 0; --position) {
    if (!separatorJustWritten && copied != 0 && copied % 3 == 0) {
      work[position] = ',';
      separatorJustWritten = true;
    } else {
      work[position] = *digit--;
      ++copied;
      separatorJustWritten = false;
    }
  }
  for (uint32_t i = 0; i <= length; ++i) text[i] = work[i];
  return 1;
}

int FormatByteSize(uint64_t value, char* out) {
  if (value == 0 || !out) return 0;
  uint64_t divisor;
  const char* unit;
  if (value >> 30) {
    divisor = 1ull << 30;
    unit = "GB";
  } else if (value >> 20) {
    divisor = 1ull << 20;
    unit = "MB";
  } else if (value >> 10) {
    divisor = 1ull << 10;
    unit = "KB";
  } else {
    return 0;
  }
  const double units = static_cast<double>(value) / static_cast<double>(divisor);
  const unsigned long whole = static_cast<unsigned long>(units);
  const unsigned long tenth = static_cast<unsigned long>(static_cast<uint64_t>(units * 10.0) % 10);
  wsprintfA(out, "%lu.%lu %s", whole, tenth, unit);
  return 1;
}

void FormatUnsigned64(uint64_t value, char* out) {
  char reversed[21];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  out[count] = '\0';
}

int ReadRegistryValue(HKEY root, const char* subkey, const char* name, void* buffer, DWORD size,
                      DWORD type) {
  if (!root || !subkey || !name || !buffer || size == 0) return 0;
  UniqueRegistryKey key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return 0;
  DWORD valueType = type;
  DWORD byteCount = size;
  if (RegQueryValueExA(key.get(), name, nullptr, &valueType, static_cast<BYTE*>(buffer), &byteCount) !=
      ERROR_SUCCESS)
    return 0;
  // Values are used as text: make sure a terminator lies within the buffer.
  BYTE* bytes = static_cast<BYTE*>(buffer);
  if (byteCount < size) {
    bytes[byteCount] = 0;
  } else if (bytes[size - 1] != 0) {
    return 0;
  }
  return 1;
}

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

int CopyText(char* destination, uint32_t size, const char* source) {
  if (size == 0) return 0;
  uint32_t i = 0;
  for (; i + 1 < size && source[i]; ++i) destination[i] = source[i];
  destination[i] = '\0';
  return source[i] == '\0';
}

int AppendText(char* destination, uint32_t size, const char* source) {
  uint32_t used = 0;
  while (used < size && destination[used]) ++used;
  if (used >= size) return 0;
  return CopyText(destination + used, size - used, source);
}

}  // namespace devlore

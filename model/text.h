#pragma once
// Text routines shared by the device kinds: ANSI to wide conversion, the
// conversion of a category's lines into automation strings, grouping of decimal
// digits, byte sizes as KB/MB/GB, and the read of one registry value.
#include <windows.h>
#include <oleauto.h>
#include <stdint.h>

namespace devlore {

// Every display line, registry text and path is held in a buffer of this size.
constexpr uint32_t kLineSize = 260;

// Makes a wide copy of an ANSI text with the task allocator. Returns S_OK on
// success; E_OUTOFMEMORY, or the platform error as LastErrorResult gives it, on
// failure (the copy is then null). A null text gives S_OK and a null copy.
[[nodiscard]] HRESULT AnsiToWide(const char* text, wchar_t** wideCopy);

// Converts count ANSI lines into new BSTRs, freeing the strings the table held
// (its entries are BSTRs or null). A line that fails to convert leaves a null
// entry; a failed SysAllocString ends the work and returns false.
bool ConvertElementStrings(char* const* texts, BSTR* strings, uint32_t count);

// Writes the decimal form of value with "," between groups of three digits;
// out needs room for 27 bytes (the grouped 64-bit maximum and its terminator).
void GroupThousands(uint64_t value, char* out);

// Writes a non-zero byte count of at least 1024 as "%lu.%lu KB|MB|GB", the
// decimal digit truncated. Writes nothing and returns false below 1024.
bool FormatByteSize(uint64_t value, char* out);

// Reads one value below root\subkey into the buffer. True when read. The
// value is copied whatever its registry type; a text that fills the buffer
// without room for its terminator is refused, so a successful read is always a
// terminated text within the buffer.
bool ReadRegistryValue(HKEY root, const char* subkey, const char* name, void* buffer, DWORD size,
                      DWORD type);

// The calling thread's last platform error as HRESULT_FROM_WIN32 gives it; a
// failure that left no error code is still E_FAIL.
[[nodiscard]] HRESULT LastErrorResult();

// Bounded helpers over lstrcpynA semantics: copy or append, always terminated,
// never writing past size bytes. They return false when the text had to be cut.
bool CopyText(char* destination, uint32_t size, const char* source);
bool AppendText(char* destination, uint32_t size, const char* source);

}  // namespace devlore

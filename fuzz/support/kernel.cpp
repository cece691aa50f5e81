// Kernel, task-memory and automation stand-ins: code page 1252 (single-byte,
// so every byte maps to one character), the last error, BSTRs and task memory
// counted so that leaks show. Entry points the targets must never reach abort.
#include <windows.h>
#include <oleauto.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/stand_ins.h"

namespace {
DWORD g_lastError = 0;
long g_taskBlocks = 0;
long g_bstrs = 0;
[[noreturn]] void Unreached(const char* name) {
  fprintf(stderr, "stand-in: %s is not available to the fuzz targets\n", name);
  abort();
}
}  // namespace

namespace standin {
long LiveTaskBlocks() { return g_taskBlocks; }
long LiveBstrs() { return g_bstrs; }
}  // namespace standin

extern "C" {
DWORD WINAPI GetLastError() { return g_lastError; }
void WINAPI SetLastError(DWORD error) { g_lastError = error; }
INT WINAPI lstrlenA(LPCSTR text) { return text ? static_cast<INT>(strlen(text)) : 0; }
BOOL WINAPI IsDBCSLeadByte(BYTE) { return FALSE; }
LPSTR WINAPI CharNextA(LPCSTR p) { return const_cast<LPSTR>(*p ? p + 1 : p); }

// Code page 1252 is single-byte; characters 0x80-0x9F are taken as their
// Latin-1 values, which is enough for the round trips the targets make.
INT WINAPI MultiByteToWideChar(UINT, DWORD, LPCSTR text, INT length, LPWSTR out, INT room) {
  if (length < 0) length = static_cast<INT>(strlen(text)) + 1;
  if (room == 0) return length;
  if (room < length) {
    g_lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  for (INT i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(text[i]);
  return length;
}
INT WINAPI WideCharToMultiByte(UINT, DWORD, LPCWSTR text, INT length, LPSTR out, INT room, LPCSTR, LPBOOL) {
  if (length < 0) {
    length = 0;
    while (text[length]) ++length;
    ++length;
  }
  if (room == 0) return length;
  if (room < length) {
    g_lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  for (INT i = 0; i < length; ++i) out[i] = text[i] < 0x100 ? static_cast<char>(text[i]) : '?';
  return length;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) {
  void* block = malloc(size ? size : 1);
  if (block) ++g_taskBlocks;
  return block;
}
void WINAPI CoTaskMemFree(LPVOID block) {
  if (block) --g_taskBlocks;
  free(block);
}

// A BSTR is preceded by its byte length.
BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  char* block = static_cast<char*>(calloc(1, sizeof(DWORD) + (length + 1) * sizeof(OLECHAR)));
  if (!block) return nullptr;
  *reinterpret_cast<DWORD*>(block) = length * sizeof(OLECHAR);
  BSTR string = reinterpret_cast<BSTR>(block + sizeof(DWORD));
  if (text) memcpy(string, text, length * sizeof(OLECHAR));
  ++g_bstrs;
  return string;
}
BSTR WINAPI SysAllocString(LPCOLESTR text) {
  if (!text) return nullptr;
  UINT length = 0;
  while (text[length]) ++length;
  return SysAllocStringLen(text, length);
}
UINT WINAPI SysStringLen(BSTR string) {
  return string ? reinterpret_cast<DWORD*>(string)[-1] / sizeof(OLECHAR) : 0;
}
void WINAPI SysFreeString(BSTR string) {
  if (!string) return;
  --g_bstrs;
  free(reinterpret_cast<char*>(string) - sizeof(DWORD));
}

// Decimal digits between optional blanks; what the script's "d" values use.
HRESULT WINAPI VarUI4FromStr(const OLECHAR* text, LCID, ULONG, ULONG* out) {
  const OLECHAR* p = text;
  while (*p == ' ') ++p;
  if (*p < '0' || *p > '9') return DISP_E_TYPEMISMATCH;
  unsigned long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 0xFFFFFFFFull) return DISP_E_OVERFLOW;
  }
  while (*p == ' ') ++p;
  if (*p) return DISP_E_TYPEMISMATCH;
  *out = static_cast<ULONG>(value);
  return S_OK;
}

// The conversions the library's formats use: %lu, %u, %d and %s.
INT WINAPIV wsprintfA(LPSTR out, LPCSTR format, ...) {
  __builtin_ms_va_list args;
  __builtin_ms_va_start(args, format);
  char* at = out;
  for (const char* f = format; *f; ++f) {
    if (*f != '%') {
      *at++ = *f;
      continue;
    }
    ++f;
    if (*f == 'l') ++f;
    if (*f == 's') {
      for (const char* s = __builtin_va_arg(args, const char*); *s; ++s) *at++ = *s;
    } else if (*f == 'd') {
      at += sprintf(at, "%d", __builtin_va_arg(args, int));
    } else if (*f == 'u') {
      at += sprintf(at, "%u", __builtin_va_arg(args, unsigned));
    } else {
      Unreached("wsprintfA format");
    }
  }
  *at = '\0';
  __builtin_ms_va_end(args);
  return static_cast<INT>(at - out);
}

}  // extern "C"

// Two modules that exports may forward to: "LOADED" is already in the process,
// "LOADABLE" is found by LoadLibraryA, which counts its references. Their
// procedures are the names beginning with "F" and the ordinals 1 to 63.
namespace {
char g_procedures[2][64];
long g_loadableReferences = 0;
HMODULE const kLoaded = reinterpret_cast<HMODULE>(&g_procedures[0]);
HMODULE const kLoadable = reinterpret_cast<HMODULE>(&g_procedures[1]);
bool NameIs(const char* name, const char* expected) {
  for (;; ++name, ++expected) {
    const char a = (*name >= 'a' && *name <= 'z') ? static_cast<char>(*name - 32) : *name;
    if (a != *expected) return false;
    if (!a) return true;
  }
}
}  // namespace

namespace standin {
long LoadableReferences() { return g_loadableReferences; }
FARPROC ForwardedProcedure(const char* module, const char* name, unsigned ordinal) {
  const int which = NameIs(module, "LOADED") ? 0 : NameIs(module, "LOADABLE") ? 1 : -1;
  if (which < 0) return nullptr;
  unsigned index = ordinal;
  if (name) {
    if (name[0] != 'F') return nullptr;
    index = static_cast<unsigned char>(name[1]) % 64;
  } else if (ordinal == 0 || ordinal >= 64) {
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(&g_procedures[which][index]);
}
}  // namespace standin

extern "C" {
HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  if (!name) Unreached("GetModuleHandleA of the executable");
  return NameIs(name, "LOADED") ? kLoaded : nullptr;
}
HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (NameIs(name, "LOADED")) return kLoaded;
  if (!NameIs(name, "LOADABLE")) {
    g_lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  ++g_loadableReferences;
  return kLoadable;
}
BOOL WINAPI FreeLibrary(HMODULE module) {
  if (module == kLoadable) --g_loadableReferences;
  else if (module != kLoaded) Unreached("FreeLibrary of an unknown module");
  return TRUE;
}
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procedure) {
  const char* moduleName = module == kLoaded ? "LOADED" : module == kLoadable ? "LOADABLE" : nullptr;
  if (!moduleName) Unreached("GetProcAddress of an unknown module");
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(procedure);
  return value >> 16 ? standin::ForwardedProcedure(moduleName, procedure, 0)
                     : standin::ForwardedProcedure(moduleName, nullptr, static_cast<unsigned>(value));
}
}  // extern "C"

extern "C" {
// Reached only by code paths no target drives.
HMODULE WINAPI LoadLibraryExA(LPCSTR, HANDLE, DWORD) { Unreached("LoadLibraryExA"); }
HRSRC WINAPI FindResourceA(HMODULE, LPCSTR, LPCSTR) { Unreached("FindResourceA"); }
HGLOBAL WINAPI LoadResource(HMODULE, HRSRC) { Unreached("LoadResource"); }
DWORD WINAPI SizeofResource(HMODULE, HRSRC) { Unreached("SizeofResource"); }
LPVOID WINAPI LockResource(HGLOBAL) { Unreached("LockResource"); }
DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR, DWORD) { Unreached("GetModuleFileNameA"); }
DWORD WINAPI GetShortPathNameA(LPCSTR, LPSTR, DWORD) { Unreached("GetShortPathNameA"); }
}  // extern "C"

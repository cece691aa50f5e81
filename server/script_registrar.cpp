#include "server/script_registrar.h"

#include <new>

#include "base/handles.h"
#include "base/unique_array.h"
#include "model/text.h"
#include "server/script_interpreter.h"

namespace devlore {
namespace {

constexpr DWORD kModuleNameSize = 260;

// Room for a module name with every "'" doubled, and its terminating zero.
constexpr DWORD kQuotedNameSize = 2 * kModuleNameSize;

// A wide copy of an ANSI name with every "'" doubled, so that it may stand
// inside a quoted token.
HRESULT QuoteModuleName(const char* name, wchar_t (&quoted)[kQuotedNameSize]) {
  wchar_t wide[kModuleNameSize];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kModuleNameSize) <= 0) return LastErrorResult();
  // At most kModuleNameSize - 1 characters, each written at most twice.
  DWORD used = 0;
  for (const wchar_t* p = wide; *p; ++p) {
    if (*p == L'\'') quoted[used++] = L'\'';
    quoted[used++] = *p;
  }
  quoted[used] = L'\0';
  return S_OK;
}

}  // namespace

HRESULT ScriptRegistrar::RunScript(const char* text, BOOL install) {
  if (!text) return E_INVALIDARG;
  UniqueArray<char> expanded;
  HRESULT hr = ExpandVariables(text, replacements_, &expanded);
  if (FAILED(hr)) return hr;
  ScriptInterpreter interpreter;
  hr = interpreter.Initialize();
  if (FAILED(hr)) return hr;
  return interpreter.RunRootBlocks(expanded.Get(), install != FALSE);
}

HRESULT ScriptRegistrar::RunScriptResource(const char* fileName, UINT resourceId, const char* resourceType,
                                           BOOL install) {
  UniqueModule module(LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return LastErrorResult();
  HRSRC info = FindResourceA(module.Get(), MAKEINTRESOURCEA(resourceId), resourceType);
  if (!info) return LastErrorResult();
  HGLOBAL loaded = LoadResource(module.Get(), info);
  if (!loaded) return LastErrorResult();
  const DWORD size = SizeofResource(module.Get(), info);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  if (!bytes && size) return LastErrorResult();
  if (size > 0x3FFFFFFF) return E_OUTOFMEMORY;
  // The resource need not end with a zero, and nothing past its last byte may
  // be read: the script is run from a terminated copy.
  UniqueArray<char> text(new (std::nothrow) char[size + 1]);
  if (!text) return E_OUTOFMEMORY;
  for (DWORD i = 0; i < size; ++i) text[i] = bytes[i];
  text[size] = '\0';
  return RunScript(text.Get(), install);
}

HRESULT UpdateRegistryFromScript(HINSTANCE instance, UINT resourceId, BOOL install,
                                 const ScriptReplacement* extra) {
  ScriptRegistrar registrar;
  char fileName[kModuleNameSize];
  DWORD length = GetModuleFileNameA(instance, fileName, kModuleNameSize);
  if (length == 0) return LastErrorResult();
  if (length >= kModuleNameSize) return E_OUTOFMEMORY;  // the name was cut
  fileName[length] = '\0';

  // The main executable is named by its short form.
  const char* moduleName = fileName;
  char shortName[kModuleNameSize];
  if (!instance || instance == GetModuleHandleA(nullptr)) {
    DWORD shortLength = GetShortPathNameA(fileName, shortName, kModuleNameSize);
    if (shortLength >= kModuleNameSize) return E_OUTOFMEMORY;
    if (shortLength != 0) moduleName = shortName;
  }

  wchar_t quoted[kQuotedNameSize];
  HRESULT hr = QuoteModuleName(moduleName, quoted);
  if (FAILED(hr)) return hr;
  hr = registrar.AddReplacement(L"Module", quoted);
  if (FAILED(hr)) return hr;
  for (const ScriptReplacement* entry = extra; entry && entry->name; ++entry) {
    hr = registrar.AddReplacement(entry->name, entry->text);
    if (FAILED(hr)) return hr;
  }
  return registrar.RunScriptResource(moduleName, resourceId, "REGISTRY", install);
}

}  // namespace devlore

#pragma once
// Owners for the platform handles the library uses.
#include <windows.h>
#include <oleauto.h>

#include "base/unique_resource.h"

namespace devlore {

struct RegistryKeyTraits {
  using Value = HKEY;
  static HKEY Invalid() { return nullptr; }
  static LONG Close(HKEY key) { return RegCloseKey(key); }
};
// An opened registry key. Never wrap a predefined root such as HKEY_LOCAL_MACHINE.
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

struct FileHandleTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static BOOL Close(HANDLE handle) { return CloseHandle(handle); }
};
// A handle from CreateFileA (whose failure value is INVALID_HANDLE_VALUE).
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

struct ModuleTraits {
  using Value = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static BOOL Close(HMODULE module) { return FreeLibrary(module); }
};
// A module reference taken with LoadLibraryA/LoadLibraryExA.
using UniqueModule = UniqueResource<ModuleTraits>;

struct WindowTraits {
  using Value = HWND;
  static HWND Invalid() { return nullptr; }
  static BOOL Close(HWND window) { return DestroyWindow(window); }
};
// A window this code created and destroys.
using UniqueWindow = UniqueResource<WindowTraits>;

struct BstrTraits {
  using Value = BSTR;
  static BSTR Invalid() { return nullptr; }
  static int Close(BSTR text) {
    SysFreeString(text);
    return 0;
  }
};
// An automation string this code owns and frees with SysFreeString.
using UniqueBstr = UniqueResource<BstrTraits>;

struct TaskMemoryTraits {
  using Value = void*;
  static void* Invalid() { return nullptr; }
  static int Close(void* block) {
    CoTaskMemFree(block);
    return 0;
  }
};
// A block from the COM task allocator, freed with CoTaskMemFree.
using UniqueTaskMemory = UniqueResource<TaskMemoryTraits>;

}  // namespace devlore

#pragma once
// Registration of the library's classes, their component categories and the
// type library that the library carries as resource "TYPELIB" 1.
#include <windows.h>
#include <oleauto.h>

#include "server/class_table.h"

namespace devlore {

// Install: runs the registration function of every visited row of the
// module's class table with install, then registers the row's categories;
// afterwards the type library when typeLib is set. With classId, only that
// class's row is visited; without, rows with a description are passed over.
// The first failure is returned and nothing later happens.
// Otherwise the reverse: removes the rows' entries and categories and, when
// typeLib is set, the type library registration. Always S_OK.
[[nodiscard]] HRESULT UpdateServerClasses(BOOL install, BOOL typeLib, const CLSID* classId);

[[nodiscard]] inline HRESULT RegisterServerClasses(BOOL registerTypeLib, const CLSID* classId) {
  return UpdateServerClasses(TRUE, registerTypeLib, classId);
}
[[nodiscard]] inline HRESULT UnregisterServerClasses(BOOL unregisterTypeLib, const CLSID* classId) {
  return UpdateServerClasses(FALSE, unregisterTypeLib, classId);
}

// Registers (install) or removes the component categories of a class through the
// component category manager. No list, or no manager: S_OK.
[[nodiscard]] HRESULT UpdateClassCategories(REFCLSID classId, const CategoryEntry* categories, BOOL install);

// Loads the type library from the file of the module's type-library handle, with
// index text appended when given; failing that, from the same name with its
// extension replaced by ".tlb". *path receives the name that loaded.
[[nodiscard]] HRESULT LoadServerTypeLib(const OLECHAR* index, BSTR* path, ITypeLib** typeLib);

// Install: registers the type library with the folder of its file as help
// directory. Otherwise removes the type library registration (UnRegisterTypeLib,
// looked up at run time) and returns the loading result only.
[[nodiscard]] HRESULT UpdateServerTypeLib(const OLECHAR* index, BOOL install);

// Replaces the extension of an ANSI path by ".tlb": the last "." of the whole
// text (a folder's when the file name has none) or, with no "." at all, the end.
// False when the result would not fit in size bytes; path is then unchanged.
[[nodiscard]] bool ReplaceWithTypeLibExtension(char* path, size_t size);

// The length of the help directory of a type library path: everything up to and
// including its last backslash, slash or colon; 0 when it has none.
size_t HelpDirectoryLength(const OLECHAR* path);

}  // namespace devlore

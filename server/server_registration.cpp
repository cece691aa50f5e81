#include "server/server_registration.h"

#include <comcat.h>

#include "base/com_ptr.h"
#include "base/handles.h"
#include "model/text.h"
#include "server/server_module.h"

namespace devlore {
namespace {

// Room for the module's file name (at most MAX_PATH) plus an index text and the
// ".tlb" ending.
constexpr size_t kTypeLibNameSize = 2 * MAX_PATH;

typedef HRESULT(WINAPI* UnRegisterTypeLibFunction)(REFGUID, WORD, WORD, LCID, SYSKIND);

// With a class identifier only its row is visited; without one, a row that
// describes itself is left to its own registration.
bool VisitRow(const ClassEntry& row, const CLSID* classId) {
  if (classId) return IsEqualCLSID(*row.classId, *classId) != FALSE;
  return !(row.description && row.description());
}

class TypeLibAttributes {
 public:
  explicit TypeLibAttributes(ITypeLib* typeLib) : typeLib_(typeLib) {
    if (FAILED(typeLib_->GetLibAttr(&attributes_))) attributes_ = nullptr;
  }
  ~TypeLibAttributes() {
    if (attributes_) typeLib_->ReleaseTLibAttr(attributes_);
  }
  TypeLibAttributes(const TypeLibAttributes&) = delete;
  TypeLibAttributes& operator=(const TypeLibAttributes&) = delete;

  const TLIBATTR* Get() const { return attributes_; }

 private:
  ITypeLib* typeLib_;
  TLIBATTR* attributes_ = nullptr;
};

}  // namespace

bool ReplaceWithTypeLibExtension(char* path, size_t size) {
  static const char kExtension[] = ".tlb";
  char* dot = nullptr;
  char* end = path;
  // Whole characters only: the second byte of a double-byte character may
  // have the value of ".".
  while (*end) {
    if (*end == '.') dot = end;
    end = CharNextA(end);
  }
  char* at = dot ? dot : end;
  const size_t offset = static_cast<size_t>(at - path);
  if (offset + sizeof(kExtension) > size) return false;
  for (size_t i = 0; i < sizeof(kExtension); ++i) at[i] = kExtension[i];
  return true;
}

size_t HelpDirectoryLength(const OLECHAR* path) {
  size_t length = 0;
  for (size_t i = 0; path[i]; ++i) {
    if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') length = i + 1;
  }
  return length;
}

HRESULT LoadServerTypeLib(const OLECHAR* index, BSTR* path, ITypeLib** typeLib) {
  if (path) *path = nullptr;
  if (typeLib) *typeLib = nullptr;
  if (!path || !typeLib) return E_POINTER;

  char name[kTypeLibNameSize];
  const DWORD nameLength = GetModuleFileNameA(Module().typeLibraryInstance, name, MAX_PATH);
  if (nameLength == 0) return LastErrorResult();
  // A name that filled the whole buffer may have been cut short.
  if (nameLength >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  name[nameLength] = '\0';
  if (index && *index) {
    const int written = WideCharToMultiByte(CP_ACP, 0, index, -1, name + nameLength,
                                            static_cast<int>(kTypeLibNameSize - nameLength), nullptr, nullptr);
    if (written == 0) return E_INVALIDARG;
  }

  OLECHAR wideName[kTypeLibNameSize];
  ComPtr<ITypeLib> loaded;
  for (bool besideFile = false;; besideFile = true) {
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, kTypeLibNameSize)) return LastErrorResult();
    const HRESULT result = LoadTypeLib(wideName, loaded.Receive());
    if (SUCCEEDED(result)) break;
    // No type library inside the file: look for one beside it.
    if (besideFile || !ReplaceWithTypeLibExtension(name, sizeof(name))) return result;
  }

  BSTR loadedPath = SysAllocString(wideName);
  if (!loadedPath) return E_OUTOFMEMORY;
  *path = loadedPath;
  *typeLib = loaded.Detach();
  return S_OK;
}

HRESULT UpdateServerTypeLib(const OLECHAR* index, BOOL install) {
  UniqueBstr path;
  ComPtr<ITypeLib> typeLib;
  const HRESULT result = LoadServerTypeLib(index, path.Receive(), typeLib.Receive());
  if (FAILED(result)) return result;

  if (install) {
    UniqueBstr helpDirectory(
        SysAllocStringLen(path.Get(), static_cast<UINT>(HelpDirectoryLength(path.Get()))));
    if (!helpDirectory) return E_OUTOFMEMORY;
    return RegisterTypeLib(typeLib.Get(), path.Get(), helpDirectory.Get());
  }

  TypeLibAttributes attributes(typeLib.Get());
  if (const TLIBATTR* library = attributes.Get()) {
    // Looked up at run time: the platform's automation library may not offer it.
    // The library is loaded already, as this module imports from it.
    if (HMODULE automation = GetModuleHandleA("oleaut32.dll")) {
      auto unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
          reinterpret_cast<void*>(GetProcAddress(automation, "UnRegisterTypeLib")));
      if (unregister) {
        unregister(library->guid, library->wMajorVerNum, library->wMinorVerNum, library->lcid, library->syskind);
      }
    }
  }
  return result;
}

HRESULT UpdateClassCategories(REFCLSID classId, const CategoryEntry* categories, BOOL install) {
  if (!categories) return S_OK;
  ComPtr<ICatRegister> manager;
  if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                              manager.ReceiveVoid()))) {
    return S_OK;
  }
  for (const CategoryEntry* entry = categories; entry->kind != 0; ++entry) {
    if (!entry->category) continue;
    // The manager only reads the identifier it is given.
    CATID* category = const_cast<CATID*>(entry->category);
    if (install) {
      const HRESULT result = entry->kind == 1 ? manager->RegisterClassImplCategories(classId, 1, category)
                                              : manager->RegisterClassReqCategories(classId, 1, category);
      if (FAILED(result)) return result;
    } else if (entry->kind == 1) {
      manager->UnRegisterClassImplCategories(classId, 1, category);
    } else {
      manager->UnRegisterClassReqCategories(classId, 1, category);
    }
  }
  return S_OK;
}

HRESULT UpdateServerClasses(BOOL install, BOOL typeLib, const CLSID* classId) {
  for (ClassEntry* row = Module().classTable; row && row->classId; ++row) {
    if (!VisitRow(*row, classId)) continue;
    // Removal goes on whatever fails; the first failure ends an install.
    HRESULT result = S_OK;
    if (row->updateRegistry) result = row->updateRegistry(install);
    if (install && FAILED(result)) return result;
    if (row->categories) result = UpdateClassCategories(*row->classId, row->categories(), install);
    if (install && FAILED(result)) return result;
  }
  const HRESULT result = typeLib ? UpdateServerTypeLib(nullptr, install) : S_OK;
  return install ? result : S_OK;
}

}  // namespace devlore

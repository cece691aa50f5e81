#include "control/dispatch_impl.h"

#include "Devlore_h.h"
#include "base/com_ptr.h"
#include "server/server_module.h"

namespace devlore {
namespace {

// Cached for the life of the module; released by a termination callback.
struct TypeInfoCache {
  ITypeInfo* scripting;
  ITypeInfo* coclass;
  BOOL callbackAdded;
};
TypeInfoCache g_cache = {};

// The locale the type library declares (and is registered under).
constexpr LCID kLibraryLocale = 0x0409;

constexpr DISPID kIsVersionCompatibleId = 8;
constexpr DISPID kMethodCount = 10;
// By dispatch identifier, the script arguments of the methods whose last one is
// an output (0: none): GetCatCountByIndex, GetDeviceTypeByIndex,
// GetElementsInCatByIndices, GetSingleString, IsVersionCompatible.
constexpr unsigned char kScriptArguments[kMethodCount] = {0, 2, 2, 3, 0, 0, 0, 4, 4, 0};

void __stdcall ReleaseTypeInfoCache(DWORD_PTR) {
  if (g_cache.scripting) g_cache.scripting->Release();
  if (g_cache.coclass) g_cache.coclass->Release();
  g_cache.scripting = nullptr;
  g_cache.coclass = nullptr;
  g_cache.callbackAdded = FALSE;
}

HRESULT LoadCachedTypeInfo(REFGUID guid, ITypeInfo* TypeInfoCache::*slot, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  CriticalSectionLock lock(Module().typeInfoLock);
  if (!(g_cache.*slot)) {
    // The release must be registered before anything is cached.
    if (!g_cache.callbackAdded) {
      const HRESULT hr = AddTerminationCallback(&ReleaseTypeInfoCache, 0);
      if (FAILED(hr)) return hr;
      g_cache.callbackAdded = TRUE;
    }
    ITypeLib* library = nullptr;
    // The library declares US English; a registration without a locale is
    // accepted as well.
    HRESULT hr = LoadRegTypeLib(LIBID_DEVLORELib, 1, 0, kLibraryLocale, &library);
    if (FAILED(hr)) hr = LoadRegTypeLib(LIBID_DEVLORELib, 1, 0, LANG_NEUTRAL, &library);
    if (FAILED(hr)) return hr;
    ITypeInfo* loaded = nullptr;
    hr = library->GetTypeInfoOfGuid(guid, &loaded);
    library->Release();
    if (FAILED(hr)) return hr;
    g_cache.*slot = loaded;
  }
  *typeInfo = g_cache.*slot;
  (*typeInfo)->AddRef();
  return S_OK;
}

}  // namespace

HRESULT GetScriptingTypeInfo(ITypeInfo** typeInfo) {
  return LoadCachedTypeInfo(IID_ISysInfo1, &TypeInfoCache::scripting, typeInfo);
}

HRESULT GetClassTypeInfo(ITypeInfo** typeInfo) {
  return LoadCachedTypeInfo(CLSID_SysInfo, &TypeInfoCache::coclass, typeInfo);
}

HRESULT DispatchGetTypeInfo(UINT index, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return GetScriptingTypeInfo(typeInfo);
}

HRESULT DispatchGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!IsEqualGUID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  ITypeInfo* info = nullptr;
  const HRESULT hr = GetScriptingTypeInfo(&info);
  if (FAILED(hr)) return hr;
  const HRESULT result = info->GetIDsOfNames(names, count, ids);
  info->Release();
  return result;
}

HRESULT DispatchInvoke(IDispatch* self, DISPID id, REFIID iid, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* argumentError) {
  if (!IsEqualGUID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!params) return E_POINTER;
  ComPtr<ITypeInfo> info;
  HRESULT hr = GetScriptingTypeInfo(info.Receive());
  if (FAILED(hr)) return hr;
  // A script passes its variable for the last argument as VT_BYREF |
  // VT_VARIANT, holding whatever it held before. IsVersionCompatible's flag has
  // no direction, so the type information passes it only as VT_BYREF | VT_BOOL:
  // the call gets a flag of its own, and the variable receives the answer as
  // VT_BOOL. An output variant is written over by its method: the call gets an
  // empty variant of its own, and the variable's old value is released when the
  // answer (or the emptied output of a failed call) replaces it; a refused call
  // leaves it as it was. The caller's argument is put back before returning.
  VARIANT* const last = params->rgvarg;
  VARIANT* variable = nullptr;
  VARIANT output;
  VariantInit(&output);
  VARIANT_BOOL flag = VARIANT_FALSE;
  const bool flagCall = id == kIsVersionCompatibleId;
  if (id > 0 && id < kMethodCount && params->cArgs == kScriptArguments[id] && !params->cNamedArgs && last &&
      V_VT(last) == (VT_BYREF | VT_VARIANT) && (variable = V_VARIANTREF(last)) != nullptr) {
    if (flagCall) {
      V_VT(last) = VT_BYREF | VT_BOOL;
      V_BOOLREF(last) = &flag;
    } else {
      V_VARIANTREF(last) = &output;
    }
  }
  hr = info->Invoke(self, id, flags, params, result, exception, argumentError);
  if (variable) {
    V_VT(last) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(last) = variable;
    if (flagCall ? SUCCEEDED(hr) : hr != E_ACCESSDENIED) {
      VariantClear(variable);
      *variable = output;
      if (flagCall) {
        V_VT(variable) = VT_BOOL;
        V_BOOL(variable) = flag;
      }
    }
  }
  return hr;
}

}  // namespace devlore

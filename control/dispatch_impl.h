#pragma once
// Type information of the registered type library (DEVLORELib 1.0), loaded on
// first use under the type-information lock and kept until the module stops.
#include <windows.h>
#include <oleauto.h>

namespace devlore {

// The type information of ISysInfo1, with a reference added for the caller.
[[nodiscard]] HRESULT GetScriptingTypeInfo(ITypeInfo** typeInfo);
// The type information of the SysInfo class, with a reference added.
[[nodiscard]] HRESULT GetClassTypeInfo(ITypeInfo** typeInfo);

// IDispatch on a dual interface answered from the type information.
[[nodiscard]] HRESULT DispatchGetTypeInfo(UINT index, ITypeInfo** typeInfo);
[[nodiscard]] HRESULT DispatchGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids);
[[nodiscard]] HRESULT DispatchInvoke(IDispatch* self, DISPID id, REFIID iid, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* argumentError);

}  // namespace devlore

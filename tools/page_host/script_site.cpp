#include "tools/page_host/script_site.h"

#include <cstdio>

#include "base/handles.h"

namespace devlore::page_host {

HRESULT ScriptSite::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScriptSite)) {
    *object = static_cast<IActiveScriptSite*>(this);
  } else if (IsEqualIID(iid, IID_IActiveScriptSiteWindow)) {
    *object = static_cast<IActiveScriptSiteWindow*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT ScriptSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) {
  if (item) *item = nullptr;
  if (typeInfo) *typeInfo = nullptr;
  if (!name) return E_INVALIDARG;
  if ((mask & SCRIPTINFO_IUNKNOWN) && !item) return E_POINTER;
  for (const auto& entry : items_) {
    if (entry.first != name) continue;  // the name exactly as the host added it
    if (mask & SCRIPTINFO_IUNKNOWN) {
      *item = entry.second.Get();
      (*item)->AddRef();
    }
    // No type information: the page binds no events of its objects.
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT ScriptSite::OnScriptError(IActiveScriptError* error) {
  ++errors_;
  if (!error) return S_OK;
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  error->GetSourcePosition(&context, &line, &column);
  EXCEPINFO exception = {};
  error->GetExceptionInfo(&exception);
  // The strings of the account are the host's to free.
  const UniqueBstr source(exception.bstrSource);
  const UniqueBstr description(exception.bstrDescription);
  const UniqueBstr helpFile(exception.bstrHelpFile);
  const HRESULT code = exception.scode ? exception.scode : static_cast<HRESULT>(exception.wCode);
  std::fprintf(stderr, "script error: line %lu, column %ld: number 0x%08lX: %ls\n",
               static_cast<unsigned long>(line) + 1, static_cast<long>(column) + 1, static_cast<unsigned long>(code),
               description ? description.Get() : L"(no description)");
  return S_OK;
}

void ScriptSite::ReportHostError(const wchar_t* what, HRESULT hr) {
  ++errors_;
  std::fprintf(stderr, "script error: %ls failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
}

HRESULT ScriptSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return S_OK;
}

}  // namespace devlore::page_host

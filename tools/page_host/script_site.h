#pragma once
// The page host's side of the script engines: named items by name (the page's
// objects, window, document, elements by ID) and the account of script errors.
#include <windows.h>
#include <activscp.h>

#include <string>
#include <utility>
#include <vector>

#include "base/com_ptr.h"

namespace devlore::page_host {

class ScriptSite : public IActiveScriptSite, public IActiveScriptSiteWindow {
 public:
  ScriptSite(std::vector<std::pair<std::wstring, ComPtr<IUnknown>>> items, HWND window)
      : items_(std::move(items)), window_(window) {}
  ScriptSite(const ScriptSite&) = delete;
  ScriptSite& operator=(const ScriptSite&) = delete;

  unsigned Errors() const { return errors_; }
  // Reports an error that no engine reported itself (such as a failed call from the host).
  void ReportHostError(const wchar_t* what, HRESULT hr);

  // IUnknown
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override { return InterlockedIncrement(&references_); }
  STDMETHOD_(ULONG, Release)() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  // IActiveScriptSite
  STDMETHOD(GetLCID)(LCID* lcid) override {
    if (lcid) *lcid = 0;
    return E_NOTIMPL;
  }
  STDMETHOD(GetItemInfo)(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) override;
  STDMETHOD(GetDocVersionString)(BSTR* version) override {
    if (version) *version = nullptr;
    return E_NOTIMPL;
  }
  STDMETHOD(OnScriptTerminate)(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHOD(OnStateChange)(SCRIPTSTATE) override { return S_OK; }
  STDMETHOD(OnScriptError)(IActiveScriptError* error) override;
  STDMETHOD(OnEnterScript)() override { return S_OK; }
  STDMETHOD(OnLeaveScript)() override { return S_OK; }

  // IActiveScriptSiteWindow
  STDMETHOD(GetWindow)(HWND* window) override;
  STDMETHOD(EnableModeless)(BOOL) override { return S_OK; }

 private:
  virtual ~ScriptSite() = default;

  LONG references_ = 1;
  std::vector<std::pair<std::wstring, ComPtr<IUnknown>>> items_;
  HWND window_;
  unsigned errors_ = 0;
};

}  // namespace devlore::page_host

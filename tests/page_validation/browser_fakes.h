#pragma once
// A small browser object model for the hosting page check: a client site that
// offers the browser through IServiceProvider, the browser (IWebBrowserApp) with
// its URL and document, script objects read by property name through IDispatch,
// and the container moniker. Every fake counts its references; the tests start
// each object at 1 (the test's own) and expect every count back at 1 at the end.
#include <windows.h>
#include <exdisp.h>
#include <oaidl.h>
#include <ole2.h>
#include <servprov.h>
#include <shlguid.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace devlore::test {

class Counted {
 public:
  virtual ~Counted() = default;
  LONG refs = 1;
  ULONG Add() { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
  ULONG Drop() { return static_cast<ULONG>(InterlockedDecrement(&refs)); }
};

// A script object: named properties that are objects, strings, or ill-formed
// answers. Unknown names fail in GetIDsOfNames.
class FakeDispatch : public IDispatch, public Counted {
 public:
  enum class Kind { Object, String, NullObject, NullString, Number, InvokeFails };
  struct Property {
    Kind kind = Kind::Object;
    FakeDispatch* object = nullptr;
    std::wstring text;
  };

  void SetObject(const std::wstring& name, FakeDispatch* object) { Set(name, {Kind::Object, object, L""}); }
  void SetString(const std::wstring& name, const std::wstring& text) { Set(name, {Kind::String, nullptr, text}); }
  void SetOdd(const std::wstring& name, Kind kind) { Set(name, {kind, nullptr, L""}); }
  void Remove(const std::wstring& name) {
    for (auto& entry : properties_) {
      if (entry.first == name) entry.first.clear();
    }
  }

  int gets = 0;  // successful property reads

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!IsEqualIID(iid, IID_NULL) || count != 1 || !names || !ids) return E_INVALIDARG;
    for (size_t i = 0; i < properties_.size(); ++i) {
      if (!properties_[i].first.empty() && properties_[i].first == names[0]) {
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!IsEqualIID(iid, IID_NULL) || flags != DISPATCH_PROPERTYGET || !params || params->cArgs != 0 ||
        !result) {
      return E_INVALIDARG;
    }
    if (id < 1 || static_cast<size_t>(id) > properties_.size()) return DISP_E_MEMBERNOTFOUND;
    const Property& property = properties_[id - 1].second;
    switch (property.kind) {
      case Kind::Object:
        result->vt = VT_DISPATCH;
        result->pdispVal = property.object;
        if (property.object) property.object->AddRef();
        break;
      case Kind::String:
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(property.text.data(), static_cast<UINT>(property.text.size()));
        break;
      case Kind::NullObject:
        result->vt = VT_DISPATCH;
        result->pdispVal = nullptr;
        break;
      case Kind::NullString:
        result->vt = VT_BSTR;
        result->bstrVal = nullptr;
        break;
      case Kind::Number:
        // A number whose bits would make a plausible pointer.
        result->vt = VT_I4;
        result->lVal = 0x12345678;
        break;
      case Kind::InvokeFails:
        return DISP_E_EXCEPTION;
    }
    ++gets;
    return S_OK;
  }

 private:
  void Set(const std::wstring& name, const Property& property) {
    for (auto& entry : properties_) {
      if (entry.first == name) {
        entry.second = property;
        return;
      }
    }
    properties_.emplace_back(name, property);
  }
  std::vector<std::pair<std::wstring, Property>> properties_;
};

// The container moniker: only its display name matters.
class FakeMoniker : public IMoniker, public Counted {
 public:
  std::wstring displayName;
  HRESULT displayNameResult = S_OK;
  bool nullDisplayName = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMoniker)) {
      *out = static_cast<IMoniker*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsEqual(IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Hash(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx* context, IMoniker* left, LPOLESTR* name) override {
    if (!name || context || left) return E_INVALIDARG;
    *name = nullptr;
    if (FAILED(displayNameResult)) return displayNameResult;
    if (nullDisplayName) return S_OK;
    const size_t bytes = (displayName.size() + 1) * sizeof(wchar_t);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*name) return E_OUTOFMEMORY;
    CopyMemory(*name, displayName.c_str(), bytes);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD*) override { return S_FALSE; }
};

// The browser: its current URL and its document.
class FakeBrowser : public IWebBrowserApp, public Counted {
 public:
  std::wstring url;
  bool urlFails = false;
  bool nullUrl = false;
  FakeDispatch* document = nullptr;
  bool documentFails = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IWebBrowser) ||
        IsEqualIID(iid, IID_IWebBrowserApp)) {
      *out = static_cast<IWebBrowserApp*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (urlFails) return E_FAIL;
    if (!nullUrl) *out = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (documentFails) return E_FAIL;
    if (!document) return S_FALSE;
    *out = document;
    document->AddRef();
    return S_OK;
  }

  // Nothing else of the browser is used.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GoBack() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoForward() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoHome() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GoSearch() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Refresh() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Refresh2(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Application(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Parent(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Container(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Type(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Left(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Left(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Top(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Top(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Width(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Width(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Height(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Height(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LocationName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Quit() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ClientToWindow(int*, int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FullName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Path(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StatusBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_StatusBar(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StatusText(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_StatusText(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ToolBar(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ToolBar(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_MenuBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_MenuBar(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FullScreen(VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FullScreen(VARIANT_BOOL) override { return E_NOTIMPL; }
};

// The client site; the service provider is a separate object reached by
// QueryInterface, as in a real container, sharing the site's count.
class FakeSite : public IOleClientSite, public Counted {
 public:
  bool offersServices = true;
  FakeBrowser* browser = nullptr;  // answer to SID_SWebBrowserApp; null: no such service
  FakeMoniker* moniker = nullptr;  // answer to GetMoniker; null: GetMoniker fails
  bool nullMonikerSucceeds = false;
  int pageChecks = 0;              // QueryService calls seen
  void (*onQueryService)(FakeSite* site, void* context) = nullptr;  // a call back into the control
  void* callbackContext = nullptr;
  DWORD monikerAssign = 0, monikerWhich = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IServiceProvider) && offersServices) {
      *out = &services_;
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** out) override {
    if (!out) return E_POINTER;
    monikerAssign = assign;
    monikerWhich = which;
    *out = nullptr;
    if (nullMonikerSucceeds) return S_OK;
    if (!moniker) return E_FAIL;
    *out = moniker;
    moniker->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

 private:
  class Services : public IServiceProvider {
   public:
    explicit Services(FakeSite* site) : site_(site) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return site_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return site_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return site_->Release(); }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
      if (!out) return E_POINTER;
      *out = nullptr;
      ++site_->pageChecks;
      if (site_->onQueryService) site_->onQueryService(site_, site_->callbackContext);
      if (!IsEqualGUID(service, SID_SWebBrowserApp) || !site_->browser) return E_NOINTERFACE;
      return site_->browser->QueryInterface(iid, out);
    }

   private:
    FakeSite* site_;
  };
  Services services_{this};
};

}  // namespace devlore::test

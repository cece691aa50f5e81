// IOleObject: embedding, the access gate, verbs, extents and OLE advises.
#include "control/sysinfo_object.h"

namespace devlore {
namespace {

// A property read from the container's ambient dispatch.
HRESULT ReadAmbient(IDispatch* ambient, DISPID id, VARIANT* value) {
  VariantInit(value);
  if (!ambient) return E_FAIL;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
}

}  // namespace

bool SysInfoObject::AmbientUserModeIsFalse() {
  VARIANT value;
  const HRESULT hr = ReadAmbient(ambientDispatch_, DISPID_AMBIENT_USERMODE, &value);
  const bool designMode = SUCCEEDED(hr) && V_VT(&value) == VT_BOOL && V_BOOL(&value) == VARIANT_FALSE;
  VariantClear(&value);
  return designMode;
}

LCID SysInfoObject::AmbientLocale() {
  VARIANT value;
  LCID locale = LOCALE_USER_DEFAULT;
  if (SUCCEEDED(ReadAmbient(ambientDispatch_, DISPID_AMBIENT_LOCALEID, &value)) && V_VT(&value) == VT_I4) {
    locale = static_cast<LCID>(V_I4(&value));
  }
  VariantClear(&value);
  return locale;
}

IOleControlSite* SysInfoObject::ControlSite() {
  IOleControlSite* site = nullptr;
  if (clientSite_) clientSite_->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&site));
  return site;
}

HRESULT SysInfoObject::SetClientSite(IOleClientSite* site) {
  SiteLockSetClientSite(gate_, site);
  // The standard handling: keep the site and take its IDispatch for ambients.
  if (site) site->AddRef();
  if (clientSite_) clientSite_->Release();
  clientSite_ = site;
  if (ambientDispatch_) {
    IDispatch* old = ambientDispatch_;
    ambientDispatch_ = nullptr;
    old->Release();
  }
  if (site) site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambientDispatch_));
  return S_OK;
}

HRESULT SysInfoObject::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = clientSite_;
  if (clientSite_) clientSite_->AddRef();
  return S_OK;
}

HRESULT SysInfoObject::SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) {
  return SiteLockSetHostNames(gate_, containerApp, containerObject);
}

HRESULT SysInfoObject::Close(DWORD saveOption) {
  InPlaceDeactivate();
  if ((state_ & kRequiresSave) && clientSite_ &&
      (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE)) {
    clientSite_->SaveObject();
    if (oleAdviseHolder_) oleAdviseHolder_->SendOnSave();
  }
  if (oleAdviseHolder_) oleAdviseHolder_->SendOnClose();
  return S_OK;
}

HRESULT SysInfoObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT SysInfoObject::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT SysInfoObject::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT SysInfoObject::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT SysInfoObject::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT position) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
      if (AmbientUserModeIsFalse()) return PropertiesVerb(parent);
      return DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent, position);
    case OLEIVERB_SHOW: {
      const HRESULT hr = InPlaceActivate(OLEIVERB_SHOW, position);
      return FAILED(hr) ? hr : S_OK;
    }
    case OLEIVERB_OPEN:
      return S_OK;
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (window_) ShowWindow(window_, SW_HIDE);
      return S_OK;
    case OLEIVERB_UIACTIVATE:
      if (state_ & kUiActive) return S_OK;
      return InPlaceActivate(OLEIVERB_UIACTIVATE, position);
    case OLEIVERB_INPLACEACTIVATE: {
      const HRESULT hr = InPlaceActivate(OLEIVERB_INPLACEACTIVATE, position);
      FireViewChange();
      return hr;
    }
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    case OLEIVERB_PROPERTIES:
      return PropertiesVerb(parent);
    default:
      return E_NOTIMPL;
  }
}

HRESULT SysInfoObject::PropertiesVerb(HWND parent) {
  if (IOleControlSite* site = ControlSite()) {
    const HRESULT hr = site->ShowPropertyFrame();
    site->Release();
    if (SUCCEEDED(hr)) return hr;
  }
  CAUUID pages = {0, nullptr};
  if (FAILED(GetPages(&pages))) return OLEOBJ_S_CANNOT_DOVERB_NOW;
  LPOLESTR name = nullptr;
  if (FAILED(GetUserType(USERCLASSTYPE_SHORT, &name)) || !name) {
    CoTaskMemFree(pages.pElems);
    return OLEOBJ_S_CANNOT_DOVERB_NOW;
  }
  IUnknown* self = static_cast<IOleObject*>(this);
  const HRESULT hr = OleCreatePropertyFrame(parent, 0, 0, name, 1, &self, pages.cElems, pages.pElems,
                                            AmbientLocale(), 0, nullptr);
  CoTaskMemFree(name);
  CoTaskMemFree(pages.pElems);
  return hr;
}

void SysInfoObject::FireViewChange() {
  if (state_ & kInPlaceActive) {
    if (window_) {
      InvalidateRect(window_, nullptr, TRUE);
    } else if (siteKind_ == SiteKind::kWindowless && inPlaceSite_) {
      static_cast<IOleInPlaceSiteWindowless*>(inPlaceSite_)->InvalidateRect(nullptr, TRUE);
    }
  } else if (viewAdviseSink_) {
    viewAdviseSink_->OnViewChange(DVASPECT_CONTENT, -1);
  }
}

HRESULT SysInfoObject::EnumVerbs(IEnumOLEVERB** verbs) { return OleRegEnumVerbs(CLSID_SysInfo, verbs); }

HRESULT SysInfoObject::Update() { return S_OK; }
HRESULT SysInfoObject::IsUpToDate() { return S_OK; }

HRESULT SysInfoObject::GetUserClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = CLSID_SysInfo;
  return S_OK;
}

HRESULT SysInfoObject::GetUserType(DWORD form, LPOLESTR* userType) {
  return OleRegGetUserType(CLSID_SysInfo, form, userType);
}

HRESULT SysInfoObject::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  properties_.currentExtent = *size;
  return S_OK;
}

HRESULT SysInfoObject::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  if (!size) return E_POINTER;
  *size = properties_.currentExtent;
  return S_OK;
}

HRESULT SysInfoObject::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!connection) return E_POINTER;
  *connection = 0;
  if (!oleAdviseHolder_) {
    const HRESULT hr = CreateOleAdviseHolder(&oleAdviseHolder_);
    if (FAILED(hr)) return hr;
  }
  return oleAdviseHolder_->Advise(sink, connection);
}

HRESULT SysInfoObject::Unadvise(DWORD connection) {
  if (!oleAdviseHolder_) return E_FAIL;
  return oleAdviseHolder_->Unadvise(connection);
}

HRESULT SysInfoObject::EnumAdvise(IEnumSTATDATA** advises) {
  if (!advises) return E_POINTER;
  *advises = nullptr;
  if (!oleAdviseHolder_) return E_FAIL;
  return oleAdviseHolder_->EnumAdvise(advises);
}

HRESULT SysInfoObject::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  return OleRegGetMiscStatus(CLSID_SysInfo, aspect, status);
}

HRESULT SysInfoObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

}  // namespace devlore

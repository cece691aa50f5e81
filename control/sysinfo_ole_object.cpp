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
  const HRESULT hr = ReadAmbient(ambientDispatch_.Get(), DISPID_AMBIENT_USERMODE, &value);
  const bool designMode = SUCCEEDED(hr) && V_VT(&value) == VT_BOOL && V_BOOL(&value) == VARIANT_FALSE;
  VariantClear(&value);
  return designMode;
}

LCID SysInfoObject::AmbientLocale() {
  VARIANT value;
  LCID locale = LOCALE_USER_DEFAULT;
  if (SUCCEEDED(ReadAmbient(ambientDispatch_.Get(), DISPID_AMBIENT_LOCALEID, &value)) && V_VT(&value) == VT_I4) {
    locale = static_cast<LCID>(V_I4(&value));
  }
  VariantClear(&value);
  return locale;
}

ComPtr<IOleControlSite> SysInfoObject::ControlSite() {
  ComPtr<IOleControlSite> site;
  // A site without the interface leaves the result null, which is the answer.
  if (clientSite_) (void)clientSite_.QueryInto(IID_IOleControlSite, site);
  return site;
}

HRESULT OleObjectFacet::SetClientSite(IOleClientSite* site) {
  SysInfoObject* self = Self();
  SiteLockSetClientSite(self->gate_, site);
  // The standard handling: keep the site and take its IDispatch for ambients.
  self->clientSite_ = site;
  self->ambientDispatch_.Reset();
  if (site) site->QueryInterface(IID_IDispatch, self->ambientDispatch_.ReceiveVoid());
  return S_OK;
}

HRESULT OleObjectFacet::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  Self()->clientSite_.CopyTo(site);
  return S_OK;
}

HRESULT OleObjectFacet::SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) {
  return SiteLockSetHostNames(Self()->gate_, containerApp, containerObject);
}

HRESULT OleObjectFacet::Close(DWORD saveOption) {
  SysInfoObject* self = Self();
  self->InPlaceFacet::InPlaceDeactivate();
  if ((self->state_ & kRequiresSave) && self->clientSite_ &&
      (saveOption == OLECLOSE_SAVEIFDIRTY || saveOption == OLECLOSE_PROMPTSAVE)) {
    self->clientSite_->SaveObject();
    if (self->oleAdviseHolder_) self->oleAdviseHolder_->SendOnSave();
  }
  if (self->oleAdviseHolder_) self->oleAdviseHolder_->SendOnClose();
  return S_OK;
}

HRESULT OleObjectFacet::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT OleObjectFacet::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT OleObjectFacet::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT OleObjectFacet::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT OleObjectFacet::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT position) {
  SysInfoObject* self = Self();
  switch (verb) {
    case OLEIVERB_PRIMARY:
      if (self->AmbientUserModeIsFalse()) return self->PropertiesVerb(parent);
      return OleObjectFacet::DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent, position);
    case OLEIVERB_SHOW: {
      const HRESULT hr = self->InPlaceActivate(OLEIVERB_SHOW, position);
      return FAILED(hr) ? hr : S_OK;
    }
    case OLEIVERB_OPEN:
      return S_OK;
    case OLEIVERB_HIDE:
      self->InPlaceFacet::UIDeactivate();
      if (self->window_) ShowWindow(self->window_, SW_HIDE);
      return S_OK;
    case OLEIVERB_UIACTIVATE:
      if (self->state_ & kUiActive) return S_OK;
      return self->InPlaceActivate(OLEIVERB_UIACTIVATE, position);
    case OLEIVERB_INPLACEACTIVATE: {
      const HRESULT hr = self->InPlaceActivate(OLEIVERB_INPLACEACTIVATE, position);
      self->FireViewChange();
      return hr;
    }
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    case OLEIVERB_PROPERTIES:
      return self->PropertiesVerb(parent);
    default:
      return E_NOTIMPL;
  }
}

HRESULT SysInfoObject::PropertiesVerb(HWND parent) {
  if (const ComPtr<IOleControlSite> site = ControlSite()) {
    const HRESULT hr = site->ShowPropertyFrame();
    if (SUCCEEDED(hr)) return hr;
  }
  CAUUID pages = {0, nullptr};
  if (FAILED(PagesFacet::GetPages(&pages))) return OLEOBJ_S_CANNOT_DOVERB_NOW;
  LPOLESTR name = nullptr;
  if (FAILED(OleObjectFacet::GetUserType(USERCLASSTYPE_SHORT, &name)) || !name) {
    CoTaskMemFree(pages.pElems);
    return OLEOBJ_S_CANNOT_DOVERB_NOW;
  }
  IUnknown* self = static_cast<OleObjectFacet*>(this);
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
      static_cast<IOleInPlaceSiteWindowless*>(inPlaceSite_.Get())->InvalidateRect(nullptr, TRUE);
    }
  } else if (viewAdviseSink_) {
    viewAdviseSink_->OnViewChange(DVASPECT_CONTENT, -1);
  }
}

HRESULT OleObjectFacet::EnumVerbs(IEnumOLEVERB** verbs) { return OleRegEnumVerbs(CLSID_SysInfo, verbs); }

HRESULT OleObjectFacet::Update() { return S_OK; }
HRESULT OleObjectFacet::IsUpToDate() { return S_OK; }

HRESULT OleObjectFacet::GetUserClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = CLSID_SysInfo;
  return S_OK;
}

HRESULT OleObjectFacet::GetUserType(DWORD form, LPOLESTR* userType) {
  return OleRegGetUserType(CLSID_SysInfo, form, userType);
}

HRESULT OleObjectFacet::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  Self()->properties_.currentExtent = *size;
  return S_OK;
}

HRESULT OleObjectFacet::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  if (!size) return E_POINTER;
  *size = Self()->properties_.currentExtent;
  return S_OK;
}

HRESULT OleObjectFacet::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!connection) return E_POINTER;
  *connection = 0;
  ComPtr<IOleAdviseHolder>& holder = Self()->oleAdviseHolder_;
  if (!holder) {
    const HRESULT hr = CreateOleAdviseHolder(holder.Receive());
    if (FAILED(hr)) return hr;
  }
  return holder->Advise(sink, connection);
}

HRESULT OleObjectFacet::Unadvise(DWORD connection) {
  IOleAdviseHolder* holder = Self()->oleAdviseHolder_.Get();
  if (!holder) return E_FAIL;
  return holder->Unadvise(connection);
}

HRESULT OleObjectFacet::EnumAdvise(IEnumSTATDATA** advises) {
  if (!advises) return E_POINTER;
  *advises = nullptr;
  IOleAdviseHolder* holder = Self()->oleAdviseHolder_.Get();
  if (!holder) return E_FAIL;
  return holder->EnumAdvise(advises);
}

HRESULT OleObjectFacet::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  return OleRegGetMiscStatus(CLSID_SysInfo, aspect, status);
}

HRESULT OleObjectFacet::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

}  // namespace devlore

#include "control/sysinfo_object.h"

#include <new>
#include <stddef.h>

#include "control/dispatch_impl.h"
#include "control/sysinfo_factory.h"
#include "server/server_module.h"

namespace devlore {
namespace {

template <typename T>
void ReleaseMember(T*& pointer) {
  if (pointer) {
    T* held = pointer;
    pointer = nullptr;
    held->Release();
  }
}

}  // namespace

HRESULT CreateSysInfoObject(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // An aggregated object hands its creator only its non-delegating unknown.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  SysInfoObject* created = new (std::nothrow) SysInfoObject(outer);
  if (!created) return E_OUTOFMEMORY;
  // The query takes the first reference; when it fails the count is still 0.
  const HRESULT hr = created->InternalQueryInterface(iid, object);
  if (hr != S_OK) delete created;
  return hr;
}

SysInfoObject::SysInfoObject(IUnknown* outer) : outer_(outer) {
  inner_.owner = this;
  properties_.currentExtent.cx = 5080;
  properties_.currentExtent.cy = 5080;
  AddModuleLock();
}

SysInfoObject::~SysInfoObject() {
  // References taken and dropped from here on never bring the count to zero again.
  refCount_ = 1;
  ReleaseModuleLock();
  SiteLockRelease(gate_);
  if (window_) DestroyWindow(window_);
  ReleaseMember(ambientDispatch_);
  ReleaseMember(viewAdviseSink_);
  ReleaseMember(clientSite_);
  ReleaseMember(oleAdviseHolder_);
  ReleaseMember(dataAdviseHolder_);
  ReleaseMember(inPlaceSite_);
}

// ---- IUnknown -------------------------------------------------------------

HRESULT SysInfoObject::InternalQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // The interfaces in the order they are looked up, each with the base that
  // serves it.
  enum : BYTE { kScripting, kView, kInPlace, kActive, kControl, kOle, kStream, kPages, kQuick, kStorage, kData,
                kClassInfo, kSafety };
  static const struct {
    const IID* iid;
    BYTE base;
  } kInterfaces[] = {
      {&IID_ISysInfo1, kScripting},        {&IID_IDispatch, kScripting},
      {&IID_IViewObjectEx, kView},         {&IID_IViewObject2, kView},
      {&IID_IViewObject, kView},           {&IID_IOleInPlaceObjectWindowless, kInPlace},
      {&IID_IOleInPlaceObject, kInPlace},  {&IID_IOleWindow, kInPlace},
      {&IID_IOleInPlaceActiveObject, kActive}, {&IID_IOleControl, kControl},
      {&IID_IOleObject, kOle},             {&IID_IPersistStreamInit, kStream},
      {&IID_IPersist, kStream},            {&IID_ISpecifyPropertyPages, kPages},
      {&IID_IQuickActivate, kQuick},       {&IID_IPersistStorage, kStorage},
      {&IID_IDataObject, kData},           {&IID_IProvideClassInfo, kClassInfo},
      {&IID_IProvideClassInfo2, kClassInfo}, {&IID_IObjectSafety, kSafety},
  };
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    // Aggregated, the inner object's identity is its non-delegating unknown.
    found = outer_ ? static_cast<IUnknown*>(&inner_) : static_cast<ISysInfo1*>(this);
  } else {
    IUnknown* const bases[] = {static_cast<ISysInfo1*>(this),
                               static_cast<IViewObjectEx*>(this),
                               static_cast<IOleInPlaceObjectWindowless*>(this),
                               static_cast<IOleInPlaceActiveObject*>(this),
                               static_cast<IOleControl*>(this),
                               static_cast<IOleObject*>(this),
                               static_cast<IPersistStreamInit*>(this),
                               static_cast<ISpecifyPropertyPages*>(this),
                               static_cast<IQuickActivate*>(this),
                               static_cast<IPersistStorage*>(this),
                               static_cast<IDataObject*>(this),
                               static_cast<IProvideClassInfo2*>(this),
                               static_cast<IObjectSafety*>(this)};
    for (const auto& row : kInterfaces) {
      if (IsEqualIID(iid, *row.iid)) {
        found = bases[row.base];
        break;
      }
    }
  }
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *object = found;
  return S_OK;
}

ULONG SysInfoObject::InternalAddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG SysInfoObject::InternalRelease() {
  const LONG count = InterlockedDecrement(&refCount_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT SysInfoObject::QueryInterface(REFIID iid, void** object) {
  if (outer_) return outer_->QueryInterface(iid, object);
  return InternalQueryInterface(iid, object);
}

ULONG SysInfoObject::AddRef() { return outer_ ? outer_->AddRef() : InternalAddRef(); }

ULONG SysInfoObject::Release() { return outer_ ? outer_->Release() : InternalRelease(); }

HRESULT SysInfoObject::Inner::QueryInterface(REFIID iid, void** object) {
  return owner->InternalQueryInterface(iid, object);
}
ULONG SysInfoObject::Inner::AddRef() { return owner->InternalAddRef(); }
ULONG SysInfoObject::Inner::Release() { return owner->InternalRelease(); }

HRESULT SysInfoObject::ControlQueryInterface(REFIID iid, void** object) { return InternalQueryInterface(iid, object); }

// ---- IDispatch ------------------------------------------------------------

HRESULT SysInfoObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT SysInfoObject::GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo) {
  return DispatchGetTypeInfo(index, typeInfo);
}

HRESULT SysInfoObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispatchGetIDsOfNames(iid, names, count, ids);
}

HRESULT SysInfoObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError) {
  return DispatchInvoke(static_cast<ISysInfo1*>(this), id, iid, flags, params, result, exception, argumentError);
}

// ---- IProvideClassInfo2 ---------------------------------------------------

HRESULT SysInfoObject::GetClassInfo(ITypeInfo** typeInfo) { return GetClassTypeInfo(typeInfo); }

HRESULT SysInfoObject::GetGUID(DWORD, GUID* guid) {
  if (!guid) return E_POINTER;
  *guid = GUID_NULL;  // there is no default source interface to name
  return E_FAIL;
}

// ---- ISpecifyPropertyPages ------------------------------------------------

HRESULT SysInfoObject::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

// ---- IObjectSafety --------------------------------------------------------

namespace {
constexpr DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
}

HRESULT SysInfoObject::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  IUnknown* answered = nullptr;
  const HRESULT hr = InternalQueryInterface(iid, reinterpret_cast<void**>(&answered));
  if (FAILED(hr)) {
    *supported = 0;
    *enabled = 0;
    return hr;
  }
  answered->Release();
  *supported = kSupportedSafety;
  *enabled = safetyOptions_;
  return S_OK;
}

HRESULT SysInfoObject::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) {
  IUnknown* answered = nullptr;
  if (FAILED(InternalQueryInterface(iid, reinterpret_cast<void**>(&answered)))) return E_NOINTERFACE;
  answered->Release();
  if (mask & ~kSupportedSafety) return E_FAIL;
  safetyOptions_ = (safetyOptions_ & ~mask) | (enabled & mask);
  return S_OK;
}

// ---- IOleControl ----------------------------------------------------------

HRESULT SysInfoObject::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
HRESULT SysInfoObject::OnMnemonic(MSG*) { return E_NOTIMPL; }
HRESULT SysInfoObject::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT SysInfoObject::FreezeEvents(BOOL freeze) {
  if (freeze) {
    ++freezeCount_;
  } else {
    --freezeCount_;
  }
  return S_OK;
}

// ---- IQuickActivate -------------------------------------------------------

HRESULT SysInfoObject::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (!container || !control) return E_POINTER;
  // Both structures must at least reach the fields read and written here.
  if (container->cbSize < offsetof(QACONTAINER, pAdviseSink) + sizeof(IAdviseSink*) ||
      control->cbSize < offsetof(QACONTROL, dwViewStatus) + sizeof(DWORD)) {
    return E_INVALIDARG;
  }
  const ULONG size = control->cbSize;
  BYTE* bytes = reinterpret_cast<BYTE*>(control);
  const ULONG clear = size < sizeof(QACONTROL) ? size : static_cast<ULONG>(sizeof(QACONTROL));
  for (ULONG i = 0; i < clear; ++i) bytes[i] = 0;
  control->cbSize = size;

  SetClientSite(container->pClientSite);
  if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  DWORD misc = 0;
  if (SUCCEEDED(GetMiscStatus(DVASPECT_CONTENT, &misc))) control->dwMiscStatus = misc;
  GetViewStatus(&control->dwViewStatus);
  return S_OK;
}

HRESULT SysInfoObject::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }

HRESULT SysInfoObject::GetContentExtent(LPSIZEL size) {
  if (!size) return E_POINTER;
  *size = properties_.currentExtent;
  return S_OK;
}

// ---- IPersistStreamInit, IPersistStorage ----------------------------------

HRESULT SysInfoObject::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = CLSID_SysInfo;
  return S_OK;
}

HRESULT SysInfoObject::IsDirty() { return (state_ & kRequiresSave) ? S_OK : S_FALSE; }

HRESULT SysInfoObject::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  const HRESULT hr = LoadMemberProperties(stream, ControlPropertySet(), properties_);
  if (SUCCEEDED(hr)) state_ &= ~kRequiresSave;
  return hr;
}

HRESULT SysInfoObject::Save(LPSTREAM stream, BOOL) {
  if (!stream) return E_POINTER;
  return SaveMemberProperties(stream, ControlPropertySet(), properties_);
}

HRESULT SysInfoObject::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }

HRESULT SysInfoObject::InitNew() { return S_OK; }

HRESULT SysInfoObject::InitNew(IStorage*) { return InitNew(); }

namespace {
const wchar_t kContentsStream[] = L"Contents";
}

HRESULT SysInfoObject::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  IPersistStreamInit* persist = nullptr;
  if (FAILED(InternalQueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) return E_FAIL;
  IStream* stream = nullptr;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (SUCCEEDED(hr)) {
    hr = persist->Load(stream);
    stream->Release();
  }
  persist->Release();
  return hr;
}

HRESULT SysInfoObject::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  IPersistStreamInit* persist = nullptr;
  if (FAILED(InternalQueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) return E_FAIL;
  IStream* stream = nullptr;
  HRESULT hr = storage->CreateStream(kContentsStream, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                     &stream);
  if (SUCCEEDED(hr)) {
    hr = persist->Save(stream, sameAsLoad);
    stream->Release();
  }
  persist->Release();
  return hr;
}

HRESULT SysInfoObject::SaveCompleted(IStorage*) { return S_OK; }
HRESULT SysInfoObject::HandsOffStorage() { return S_OK; }

}  // namespace devlore

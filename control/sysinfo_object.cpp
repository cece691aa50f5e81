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

namespace {

// The facets in the order of the object's bases.
enum : BYTE { kScripting, kView, kInPlace, kActive, kControl, kOle, kStream, kPages, kQuick, kStorage, kData,
              kClassInfo, kSafety };

}  // namespace

IUnknown* SysInfoObject::FacetAt(BYTE facet) {
  switch (facet) {
    case kScripting: return static_cast<ScriptingFacet*>(this);
    case kView: return static_cast<ViewFacet*>(this);
    case kInPlace: return static_cast<InPlaceFacet*>(this);
    case kActive: return static_cast<ActiveFacet*>(this);
    case kControl: return static_cast<ControlFacet*>(this);
    case kOle: return static_cast<OleObjectFacet*>(this);
    case kStream: return static_cast<StreamFacet*>(this);
    case kPages: return static_cast<PagesFacet*>(this);
    case kQuick: return static_cast<QuickFacet*>(this);
    case kStorage: return static_cast<StorageFacet*>(this);
    case kData: return static_cast<DataFacet*>(this);
    case kClassInfo: return static_cast<ClassInfoFacet*>(this);
    default: return static_cast<SafetyFacet*>(this);
  }
}

HRESULT InnerUnknown::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  SysInfoObject* self = Self();
  // The interfaces in the order they are looked up, each with the facet that
  // serves it.
  static const struct {
    const IID* iid;
    BYTE facet;
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
    found = self->outer_ ? static_cast<IUnknown*>(this) : self->Unknown();
  } else {
    for (const auto& row : kInterfaces) {
      if (IsEqualIID(iid, *row.iid)) {
        found = self->FacetAt(row.facet);
        break;
      }
    }
  }
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *object = found;
  return S_OK;
}

ULONG InnerUnknown::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&Self()->refCount_)); }

ULONG InnerUnknown::Release() {
  SysInfoObject* self = Self();
  const LONG count = InterlockedDecrement(&self->refCount_);
  if (count == 0) delete self;
  return static_cast<ULONG>(count);
}

HRESULT ScriptingFacet::QueryInterface(REFIID iid, void** object) {
  SysInfoObject* self = Self();
  if (self->outer_) return self->outer_->QueryInterface(iid, object);
  return self->InnerUnknown::QueryInterface(iid, object);
}

ULONG ScriptingFacet::AddRef() {
  SysInfoObject* self = Self();
  return self->outer_ ? self->outer_->AddRef() : self->InnerUnknown::AddRef();
}

ULONG ScriptingFacet::Release() {
  SysInfoObject* self = Self();
  return self->outer_ ? self->outer_->Release() : self->InnerUnknown::Release();
}

// ---- IDispatch ------------------------------------------------------------

HRESULT ScriptingFacet::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ScriptingFacet::GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo) {
  return DispatchGetTypeInfo(index, typeInfo);
}

HRESULT ScriptingFacet::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispatchGetIDsOfNames(iid, names, count, ids);
}

HRESULT ScriptingFacet::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argumentError) {
  return DispatchInvoke(static_cast<ISysInfo1*>(this), id, iid, flags, params, result, exception, argumentError);
}

// ---- IProvideClassInfo2 ---------------------------------------------------

HRESULT ClassInfoFacet::GetClassInfo(ITypeInfo** typeInfo) { return GetClassTypeInfo(typeInfo); }

HRESULT ClassInfoFacet::GetGUID(DWORD, GUID* guid) {
  if (!guid) return E_POINTER;
  *guid = GUID_NULL;  // there is no default source interface to name
  return E_FAIL;
}

// ---- ISpecifyPropertyPages ------------------------------------------------

HRESULT PagesFacet::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  return S_OK;
}

// ---- IObjectSafety --------------------------------------------------------

namespace {
constexpr DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
}

HRESULT SafetyFacet::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  IUnknown* answered = nullptr;
  const HRESULT hr = Self()->InternalQueryInterface(iid, reinterpret_cast<void**>(&answered));
  if (FAILED(hr)) {
    *supported = 0;
    *enabled = 0;
    return hr;
  }
  answered->Release();
  *supported = kSupportedSafety;
  *enabled = Self()->safetyOptions_;
  return S_OK;
}

HRESULT SafetyFacet::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) {
  SysInfoObject* self = Self();
  IUnknown* answered = nullptr;
  if (FAILED(self->InternalQueryInterface(iid, reinterpret_cast<void**>(&answered)))) return E_NOINTERFACE;
  answered->Release();
  if (mask & ~kSupportedSafety) return E_FAIL;
  self->safetyOptions_ = (self->safetyOptions_ & ~mask) | (enabled & mask);
  return S_OK;
}

// ---- IOleControl ----------------------------------------------------------

HRESULT ControlFacet::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
HRESULT ControlFacet::OnMnemonic(MSG*) { return E_NOTIMPL; }
HRESULT ControlFacet::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT ControlFacet::FreezeEvents(BOOL freeze) {
  if (freeze) {
    ++Self()->freezeCount_;
  } else {
    --Self()->freezeCount_;
  }
  return S_OK;
}

// ---- IQuickActivate -------------------------------------------------------

HRESULT QuickFacet::QuickActivate(QACONTAINER* container, QACONTROL* control) {
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

  SysInfoObject* self = Self();
  self->OleObjectFacet::SetClientSite(container->pClientSite);
  if (container->pAdviseSink) self->ViewFacet::SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  DWORD misc = 0;
  if (SUCCEEDED(self->OleObjectFacet::GetMiscStatus(DVASPECT_CONTENT, &misc))) control->dwMiscStatus = misc;
  self->ViewFacet::GetViewStatus(&control->dwViewStatus);
  return S_OK;
}

HRESULT QuickFacet::SetContentExtent(LPSIZEL size) { return Self()->OleObjectFacet::SetExtent(DVASPECT_CONTENT, size); }

HRESULT QuickFacet::GetContentExtent(LPSIZEL size) {
  if (!size) return E_POINTER;
  *size = Self()->properties_.currentExtent;
  return S_OK;
}

// ---- IPersistStreamInit, IPersistStorage ----------------------------------

HRESULT StreamFacet::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = CLSID_SysInfo;
  return S_OK;
}

HRESULT StreamFacet::IsDirty() { return (Self()->state_ & kRequiresSave) ? S_OK : S_FALSE; }

HRESULT StreamFacet::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  SysInfoObject* self = Self();
  const HRESULT hr = LoadMemberProperties(stream, ControlPropertySet(), self->properties_);
  if (SUCCEEDED(hr)) self->state_ &= ~kRequiresSave;
  return hr;
}

HRESULT StreamFacet::Save(LPSTREAM stream, BOOL) {
  if (!stream) return E_POINTER;
  return SaveMemberProperties(stream, ControlPropertySet(), Self()->properties_);
}

HRESULT StreamFacet::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }

HRESULT StreamFacet::InitNew() { return S_OK; }

HRESULT StorageFacet::GetClassID(CLSID* classId) { return Self()->StreamFacet::GetClassID(classId); }

HRESULT StorageFacet::IsDirty() { return Self()->StreamFacet::IsDirty(); }

HRESULT StorageFacet::InitNew(IStorage*) { return S_OK; }

namespace {
const wchar_t kContentsStream[] = L"Contents";
}

HRESULT StorageFacet::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (SUCCEEDED(hr)) {
    hr = Self()->StreamFacet::Load(stream);
    stream->Release();
  }
  return hr;
}

HRESULT StorageFacet::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT hr = storage->CreateStream(kContentsStream, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                     &stream);
  if (SUCCEEDED(hr)) {
    hr = Self()->StreamFacet::Save(stream, sameAsLoad);
    stream->Release();
  }
  return hr;
}

HRESULT StorageFacet::SaveCompleted(IStorage*) { return S_OK; }
HRESULT StorageFacet::HandsOffStorage() { return S_OK; }

}  // namespace devlore

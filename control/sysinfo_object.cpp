#include "control/sysinfo_object.h"

#include <new>
#include <stddef.h>

#include "control/dispatch_impl.h"
#include "control/sysinfo_factory.h"
#include "server/server_module.h"

namespace devlore {

HRESULT CreateSysInfoObject(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // An aggregated object hands its creator only its non-delegating unknown.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  SysInfoObject* created = new (std::nothrow) SysInfoObject(outer);
  if (!created) return E_OUTOFMEMORY;
  // The query takes the first reference; when it fails the count is still 0.
  const HRESULT hr = created->InternalQueryInterface(iid, object);
  if (hr != S_OK) created->Destroy();
  return hr;
}

SysInfoObject::SysInfoObject(IUnknown* outer) : WindowImpl(), ControlState() {
  outer_ = outer;
  naturalExtent_.cx = naturalExtent_.cy = 5080;
  properties_.currentExtent = naturalExtent_;
  AddModuleLock();
}

void SysInfoObject::Destroy() {
  // References taken and dropped from here on never bring the count to zero again.
  refCount_ = 1;
  ReleaseModuleLock();
  SiteLockRelease(gate_);
  if (window_) DestroyWindow(window_);
  // Only the state holds anything to release: the facets and the window part
  // are table pointers and plain values. Destroying the state alone spares the
  // object's destructor, which would reset every facet's table pointer first.
  static_cast<ControlState*>(this)->~ControlState();
  ::operator delete(this);
}

// ---- IUnknown -------------------------------------------------------------

namespace {

// The facets in the order of the object's bases. Each facet holds nothing but
// its table pointer, so facet k lies k pointers into the object.
enum : BYTE { kScripting, kStream, kControl, kActive, kView, kInPlace, kStorage, kPages, kQuick, kData, kClassInfo,
              kSafety, kOle };
static_assert(sizeof(ScriptingFacet) == sizeof(void*) && sizeof(ViewFacet) == sizeof(void*) &&
                  sizeof(InPlaceFacet) == sizeof(void*) && sizeof(ActiveFacet) == sizeof(void*) &&
                  sizeof(ControlFacet) == sizeof(void*) && sizeof(OleObjectFacet) == sizeof(void*) &&
                  sizeof(StreamFacet) == sizeof(void*) && sizeof(PagesFacet) == sizeof(void*) &&
                  sizeof(QuickFacet) == sizeof(void*) && sizeof(StorageFacet) == sizeof(void*) &&
                  sizeof(DataFacet) == sizeof(void*) && sizeof(ClassInfoFacet) == sizeof(void*) &&
                  sizeof(SafetyFacet) == sizeof(void*),
              "a facet is its table pointer alone");

// The interfaces in the order they are looked up, each with the facet that
// serves it.
const IID* const kInterfaceIds[] = {
    &IID_ISysInfo1,          &IID_IDispatch,         &IID_IViewObjectEx,          &IID_IViewObject2,
    &IID_IViewObject,        &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject, &IID_IOleWindow,
    &IID_IOleInPlaceActiveObject, &IID_IOleControl,  &IID_IOleObject,             &IID_IPersistStreamInit,
    &IID_IPersist,           &IID_ISpecifyPropertyPages, &IID_IQuickActivate,      &IID_IPersistStorage,
    &IID_IDataObject,        &IID_IProvideClassInfo, &IID_IProvideClassInfo2,     &IID_IObjectSafety,
};
const BYTE kInterfaceFacets[] = {
    kScripting, kScripting, kView,    kView,  kView,      kInPlace,   kInPlace,  kInPlace, kActive, kControl,
    kOle,       kStream,    kStream,  kPages, kQuick,     kStorage,   kData,     kClassInfo, kClassInfo, kSafety,
};
static_assert(sizeof kInterfaceFacets == sizeof kInterfaceIds / sizeof kInterfaceIds[0], "one facet per interface");

}  // namespace

HRESULT InnerUnknown::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  SysInfoObject* self = Self();
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    // Aggregated, the inner object's identity is its non-delegating unknown.
    found = self->outer_ ? static_cast<IUnknown*>(this) : self->Unknown();
  } else {
    for (unsigned row = 0; row < sizeof kInterfaceFacets; ++row) {
      if (IsEqualIID(iid, *kInterfaceIds[row])) {
        found = reinterpret_cast<IUnknown*>(reinterpret_cast<void**>(self) + kInterfaceFacets[row]);
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
  if (count == 0) self->Destroy();
  return static_cast<ULONG>(count);
}

namespace {

// The object a facet belongs to, found through the facet's table. A facet is
// passed as untyped pointer: every interface pointer is also its IUnknown, and
// the same types in every facet's methods let the compiler fold them.
SysInfoObject* OwnerOf(void* facet) {
  return static_cast<SysInfoObject*>(dynamic_cast<void*>(static_cast<IUnknown*>(facet)));
}

}  // namespace

// The IUnknown methods of one facet. Every facet's are the same code, which
// the compiler folds into one copy of each. It folds methods of different
// classes only where it does not track their classes for devirtualisation, so
// this file is compiled without it (see the build); the calls here go through
// a known object and gain nothing from it.
#define DEVLORE_FACET_UNKNOWN(Interface)                                                                  \
  template <>                                                                                             \
  HRESULT STDMETHODCALLTYPE Facet<Interface>::QueryInterface(REFIID iid, void** object) {                \
    return OwnerOf(this)->ScriptingFacet::QueryInterface(iid, object);                                    \
  }                                                                                                       \
  template <>                                                                                             \
  ULONG STDMETHODCALLTYPE Facet<Interface>::AddRef() { return OwnerOf(this)->ScriptingFacet::AddRef(); }  \
  template <>                                                                                             \
  ULONG STDMETHODCALLTYPE Facet<Interface>::Release() { return OwnerOf(this)->ScriptingFacet::Release(); }

DEVLORE_FACET_UNKNOWN(IViewObjectEx)
DEVLORE_FACET_UNKNOWN(IOleInPlaceObjectWindowless)
DEVLORE_FACET_UNKNOWN(IOleInPlaceActiveObject)
DEVLORE_FACET_UNKNOWN(IOleControl)
DEVLORE_FACET_UNKNOWN(IOleObject)
DEVLORE_FACET_UNKNOWN(IPersistStreamInit)
DEVLORE_FACET_UNKNOWN(ISpecifyPropertyPages)
DEVLORE_FACET_UNKNOWN(IQuickActivate)
DEVLORE_FACET_UNKNOWN(IPersistStorage)
DEVLORE_FACET_UNKNOWN(IDataObject)
DEVLORE_FACET_UNKNOWN(IProvideClassInfo2)
DEVLORE_FACET_UNKNOWN(IObjectSafety)
#undef DEVLORE_FACET_UNKNOWN

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
  ComPtr<IUnknown> answered;
  const HRESULT hr = Self()->InternalQueryInterface(iid, answered.ReceiveVoid());
  if (FAILED(hr)) {
    *supported = 0;
    *enabled = 0;
    return hr;
  }
  *supported = kSupportedSafety;
  *enabled = Self()->safetyOptions_;
  return S_OK;
}

HRESULT SafetyFacet::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) {
  SysInfoObject* self = Self();
  ComPtr<IUnknown> answered;
  if (FAILED(self->InternalQueryInterface(iid, answered.ReceiveVoid()))) return E_NOINTERFACE;
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
  ComPtr<IStream> stream;
  HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Receive());
  if (SUCCEEDED(hr)) hr = Self()->StreamFacet::Load(stream.Get());
  return hr;
}

HRESULT StorageFacet::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(kContentsStream, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                     stream.Receive());
  if (SUCCEEDED(hr)) hr = Self()->StreamFacet::Save(stream.Get(), sameAsLoad);
  return hr;
}

HRESULT StorageFacet::SaveCompleted(IStorage*) { return S_OK; }
HRESULT StorageFacet::HandsOffStorage() { return S_OK; }

}  // namespace devlore

#pragma once
// The SysInfo control object: the scripting interface ISysInfo1 and the
// embedding, activation, view, data, persistence and safety protocols that a
// container needs in order to embed it. It draws nothing and fires no events.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <objsafe.h>

#include "Devlore_h.h"
#include "control/control_window.h"
#include "control/site_lock.h"
#include "control/property_persistence.h"

namespace devlore {

// What one draw operation works on.
struct DrawInfo {
  DWORD aspect;
  LONG index;
  DVTARGETDEVICE* targetDevice;
  HDC targetDc;
  HDC dc;
  RECTL bounds;
  RECTL windowBounds;  // the metafile's window bounds, when drawing into one
  BOOL metafile;
};

// The control base: window creation, interface query, draw with preparation
// and plain draw, in this order.
class ControlBase {
 public:
  virtual HWND CreateControlWindowFor(HWND parent, const RECT& position) = 0;
  virtual HRESULT ControlQueryInterface(REFIID iid, void** object) = 0;
  virtual HRESULT DrawWithPreparation(DrawInfo& info) = 0;
  virtual HRESULT DrawPlain(DrawInfo& info) = 0;

 protected:
  ControlBase() = default;
  ~ControlBase() = default;
};

// State flags.
enum : DWORD {
  kInPlaceActive = 0x1,
  kUiActive = 0x2,
  kWindowless = 0x4,
  kRequiresSave = 0x8,
};

// The kind of in-place site the container gave.
enum class SiteKind { kNone, kPlain, kExtended, kWindowless };

class SysInfoObject final : public ISysInfo1,
                      public ControlBase,
                      public WindowImpl,
                      public IPersistStreamInit,
                      public IOleControl,
                      public IOleInPlaceActiveObject,
                      public IViewObjectEx,
                      public IOleInPlaceObjectWindowless,
                      public IPersistStorage,
                      public ISpecifyPropertyPages,
                      public IQuickActivate,
                      public IDataObject,
                      public IProvideClassInfo2,
                      public IObjectSafety,
                      public IOleObject {
 public:
  // outer null: stand-alone; otherwise aggregated under outer.
  explicit SysInfoObject(IUnknown* outer);
  ~SysInfoObject();
  SysInfoObject(const SysInfoObject&) = delete;
  SysInfoObject& operator=(const SysInfoObject&) = delete;

  // The non-delegating unknown (the object's own identity when aggregated).
  IUnknown* InnerUnknown() { return &inner_; }
  HRESULT InternalQueryInterface(REFIID iid, void** object);
  ULONG InternalAddRef();
  ULONG InternalRelease();

  // IUnknown (delegates to the outer object when aggregated).
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  // IDispatch
  STDMETHOD(GetTypeInfoCount)(UINT* count) override;
  STDMETHOD(GetTypeInfo)(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, UINT* argumentError) override;

  // ISysInfo1
  STDMETHOD(GetCatCountByIndex)(VARIANT* pvarIndex, VARIANT* pvarCount, VARIANT* pvarResult) override;
  STDMETHOD(GetDeviceTypeByIndex)(VARIANT* pvarIndex, VARIANT* pvarDeviceType, VARIANT* pvarResult) override;
  STDMETHOD(GetElementsInCatByIndices)(VARIANT* pvarDeviceIndex, VARIANT* pvarCatIndex, VARIANT* pvarElementCount,
                                       VARIANT* pvarResult) override;
  STDMETHOD(InitializeDeviceObjects)(VARIANT* pvarResult) override;
  STDMETHOD(DeInitializeDeviceObjects)(VARIANT* pvarResult) override;
  STDMETHOD(GetObjectCount)(VARIANT* pvarCount) override;
  STDMETHOD(GetSingleString)(VARIANT* pvarObjectIndex, VARIANT* pvarCatIndex, VARIANT* pvarElementIndex,
                             VARIANT* pvarString, VARIANT* pvarResult) override;
  STDMETHOD(IsVersionCompatible)(short nMajorVersion, short nMinorVersion, short nBuildNumber,
                                 VARIANT_BOOL* pbResult) override;
  STDMETHOD(ValidateSession)(LONG* pVal) override;

  // Control base
  HWND CreateControlWindowFor(HWND parent, const RECT& position) override;
  HRESULT ControlQueryInterface(REFIID iid, void** object) override;
  HRESULT DrawWithPreparation(DrawInfo& info) override;
  HRESULT DrawPlain(DrawInfo& info) override;

  // Window implementation
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  // IPersist, IPersistStreamInit
  STDMETHOD(GetClassID)(CLSID* classId) override;
  STDMETHOD(IsDirty)() override;
  STDMETHOD(Load)(LPSTREAM stream) override;
  STDMETHOD(Save)(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) override;
  STDMETHOD(InitNew)() override;

  // IOleControl
  STDMETHOD(GetControlInfo)(CONTROLINFO* info) override;
  STDMETHOD(OnMnemonic)(MSG* message) override;
  STDMETHOD(OnAmbientPropertyChange)(DISPID id) override;
  STDMETHOD(FreezeEvents)(BOOL freeze) override;

  // IOleWindow (shared by the in-place object and the in-place active object)
  STDMETHOD(GetWindow)(HWND* window) override;
  STDMETHOD(ContextSensitiveHelp)(BOOL enterMode) override;

  // IOleInPlaceActiveObject
  STDMETHOD(TranslateAccelerator)(LPMSG message) override;
  STDMETHOD(OnFrameWindowActivate)(BOOL activate) override;
  STDMETHOD(OnDocWindowActivate)(BOOL activate) override;
  STDMETHOD(ResizeBorder)(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
  STDMETHOD(EnableModeless)(BOOL enable) override;

  // IViewObject, IViewObject2, IViewObjectEx
  STDMETHOD(Draw)(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* targetDevice, HDC targetDc, HDC dc,
                  LPCRECTL bounds, LPCRECTL windowBounds, BOOL(STDMETHODCALLTYPE* proceed)(ULONG_PTR),
                  ULONG_PTR proceedArgument) override;
  STDMETHOD(GetColorSet)(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* targetDevice, HDC targetDc,
                         LOGPALETTE** colorSet) override;
  STDMETHOD(Freeze)(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHOD(Unfreeze)(DWORD freeze) override;
  STDMETHOD(SetAdvise)(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHOD(GetAdvise)(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHOD(GetExtent)(DWORD aspect, LONG index, DVTARGETDEVICE* targetDevice, LPSIZEL size) override;
  STDMETHOD(GetRect)(DWORD aspect, LPRECTL rect) override;
  STDMETHOD(GetViewStatus)(DWORD* status) override;
  STDMETHOD(QueryHitPoint)(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint, DWORD* hitResult) override;
  STDMETHOD(QueryHitRect)(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint, DWORD* hitResult) override;
  STDMETHOD(GetNaturalExtent)(DWORD aspect, LONG index, DVTARGETDEVICE* targetDevice, HDC targetDc,
                              DVEXTENTINFO* extentInfo, LPSIZEL size) override;

  // IOleInPlaceObject, IOleInPlaceObjectWindowless
  STDMETHOD(InPlaceDeactivate)() override;
  STDMETHOD(UIDeactivate)() override;
  STDMETHOD(SetObjectRects)(LPCRECT position, LPCRECT clip) override;
  STDMETHOD(ReactivateAndUndo)() override;
  STDMETHOD(OnWindowMessage)(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  STDMETHOD(GetDropTarget)(IDropTarget** target) override;

  // IPersistStorage
  STDMETHOD(InitNew)(IStorage* storage) override;
  STDMETHOD(Load)(IStorage* storage) override;
  STDMETHOD(Save)(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHOD(SaveCompleted)(IStorage* storage) override;
  STDMETHOD(HandsOffStorage)() override;

  // ISpecifyPropertyPages
  STDMETHOD(GetPages)(CAUUID* pages) override;

  // IQuickActivate
  STDMETHOD(QuickActivate)(QACONTAINER* container, QACONTROL* control) override;
  STDMETHOD(SetContentExtent)(LPSIZEL size) override;
  STDMETHOD(GetContentExtent)(LPSIZEL size) override;

  // IDataObject
  STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHOD(GetDataHere)(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHOD(QueryGetData)(FORMATETC* format) override;
  STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* in, FORMATETC* out) override;
  STDMETHOD(SetData)(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHOD(EnumFormatEtc)(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHOD(DAdvise)(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  STDMETHOD(DUnadvise)(DWORD connection) override;
  STDMETHOD(EnumDAdvise)(IEnumSTATDATA** advises) override;

  // IProvideClassInfo, IProvideClassInfo2
  STDMETHOD(GetClassInfo)(ITypeInfo** typeInfo) override;
  STDMETHOD(GetGUID)(DWORD kind, GUID* guid) override;

  // IObjectSafety
  STDMETHOD(GetInterfaceSafetyOptions)(REFIID iid, DWORD* supported, DWORD* enabled) override;
  STDMETHOD(SetInterfaceSafetyOptions)(REFIID iid, DWORD mask, DWORD enabled) override;

  // IOleObject
  STDMETHOD(SetClientSite)(IOleClientSite* site) override;
  STDMETHOD(GetClientSite)(IOleClientSite** site) override;
  STDMETHOD(SetHostNames)(LPCOLESTR containerApp, LPCOLESTR containerObject) override;
  STDMETHOD(Close)(DWORD saveOption) override;
  STDMETHOD(SetMoniker)(DWORD which, IMoniker* moniker) override;
  STDMETHOD(GetMoniker)(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHOD(InitFromData)(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHOD(GetClipboardData)(DWORD reserved, IDataObject** data) override;
  STDMETHOD(DoVerb)(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index, HWND parent,
                    LPCRECT position) override;
  STDMETHOD(EnumVerbs)(IEnumOLEVERB** verbs) override;
  STDMETHOD(Update)() override;
  STDMETHOD(IsUpToDate)() override;
  STDMETHOD(GetUserClassID)(CLSID* classId) override;
  STDMETHOD(GetUserType)(DWORD form, LPOLESTR* userType) override;
  STDMETHOD(SetExtent)(DWORD aspect, SIZEL* size) override;
  STDMETHOD(GetExtent)(DWORD aspect, SIZEL* size) override;
  STDMETHOD(Advise)(IAdviseSink* sink, DWORD* connection) override;
  STDMETHOD(Unadvise)(DWORD connection) override;
  STDMETHOD(EnumAdvise)(IEnumSTATDATA** advises) override;
  STDMETHOD(GetMiscStatus)(DWORD aspect, DWORD* status) override;
  STDMETHOD(SetColorScheme)(LOGPALETTE* palette) override;

 private:
  // The non-delegating unknown of the aggregated form.
  struct Inner : IUnknown {
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    SysInfoObject* owner;
  };

  bool AccessGranted() const { return SiteLockAccessGranted(gate_); }
  // The ambient user mode: false only when the container says so.
  bool AmbientUserModeIsFalse();
  LCID AmbientLocale();
  HRESULT InPlaceActivate(LONG verb, LPCRECT position);
  HRESULT UiActivate();
  HRESULT PropertiesVerb(HWND parent);
  void FireViewChange();
  HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** uiWindow, RECT* position, RECT* clip);
  IOleControlSite* ControlSite();  // with a reference, or null

  // Members, all zero at construction unless stated.
  volatile LONG refCount_ = 0;
  IUnknown* outer_ = nullptr;
  Inner inner_;
  IOleClientSite* clientSite_ = nullptr;
  IDispatch* ambientDispatch_ = nullptr;
  IOleInPlaceSite* inPlaceSite_ = nullptr;  // the site as the kind below
  SiteKind siteKind_ = SiteKind::kNone;
  IOleAdviseHolder* oleAdviseHolder_ = nullptr;
  IDataAdviseHolder* dataAdviseHolder_ = nullptr;
  IAdviseSink* viewAdviseSink_ = nullptr;
  SIZEL naturalExtent_ = {5080, 5080};
  ControlProperties properties_;  // the current extent
  RECT position_ = {};
  DWORD state_ = 0;
  LONG freezeCount_ = 0;
  DWORD safetyOptions_ = 0;
  SiteLock gate_ = {};
};

}  // namespace devlore

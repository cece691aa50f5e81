#pragma once
// The SysInfo control object: the scripting interface ISysInfo1 and the
// embedding, activation, view, data, persistence and safety protocols that a
// container needs in order to embed it. It draws nothing and fires no events.
//
// Each interface is implemented by a facet of its own: a small class that
// derives from that one interface and reaches the object's state through
// Self(). The object derives from the facets and overrides none of their
// methods, so every interface's table holds only that interface's entries and
// no call needs an adjusting thunk. The facets carry no data of their own.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <objsafe.h>

#include "Devlore_h.h"
#include "base/com_ptr.h"
#include "control/control_window.h"
#include "control/site_lock.h"
#include "control/property_persistence.h"

namespace devlore {

class SysInfoObject;

// State flags.
enum : DWORD {
  kInPlaceActive = 0x1,
  kUiActive = 0x2,
  kWindowless = 0x4,
  kRequiresSave = 0x8,
};

// The kind of in-place site the container gave: the interface it was asked for.
enum class SiteKind { kNone, kPlain, kExtended, kWindowless };

// One interface of the object. Its IUnknown methods are the object's
// delegating unknown (the scripting facet's). They find the object from the
// facet's table alone, so the methods of every facet are the same code and the
// compiler keeps one copy of each.
template <class Interface>
class Facet : public Interface {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

 protected:
  SysInfoObject* Self();
};

// ISysInfo1 and IDispatch, the object's primary interface. Its IUnknown
// delegates to the outer object when aggregated, else to the inner unknown.
class ScriptingFacet : public ISysInfo1 {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

  STDMETHOD(GetTypeInfoCount)(UINT* count) override;
  STDMETHOD(GetTypeInfo)(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, UINT* argumentError) override;

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

 private:
  SysInfoObject* Self();
};

// The non-delegating unknown: the object's identity when aggregated.
class InnerUnknown : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;

 private:
  SysInfoObject* Self();
};

class ViewFacet : public Facet<IViewObjectEx> {
 public:
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
};

class InPlaceFacet : public Facet<IOleInPlaceObjectWindowless> {
 public:
  STDMETHOD(GetWindow)(HWND* window) override;
  STDMETHOD(ContextSensitiveHelp)(BOOL enterMode) override;
  STDMETHOD(InPlaceDeactivate)() override;
  STDMETHOD(UIDeactivate)() override;
  STDMETHOD(SetObjectRects)(LPCRECT position, LPCRECT clip) override;
  STDMETHOD(ReactivateAndUndo)() override;
  STDMETHOD(OnWindowMessage)(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  STDMETHOD(GetDropTarget)(IDropTarget** target) override;
};

class ActiveFacet : public Facet<IOleInPlaceActiveObject> {
 public:
  STDMETHOD(GetWindow)(HWND* window) override;
  STDMETHOD(ContextSensitiveHelp)(BOOL enterMode) override;
  STDMETHOD(TranslateAccelerator)(LPMSG message) override;
  STDMETHOD(OnFrameWindowActivate)(BOOL activate) override;
  STDMETHOD(OnDocWindowActivate)(BOOL activate) override;
  STDMETHOD(ResizeBorder)(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
  STDMETHOD(EnableModeless)(BOOL enable) override;
};

class ControlFacet : public Facet<IOleControl> {
 public:
  STDMETHOD(GetControlInfo)(CONTROLINFO* info) override;
  STDMETHOD(OnMnemonic)(MSG* message) override;
  STDMETHOD(OnAmbientPropertyChange)(DISPID id) override;
  STDMETHOD(FreezeEvents)(BOOL freeze) override;
};

class OleObjectFacet : public Facet<IOleObject> {
 public:
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
};

class StreamFacet : public Facet<IPersistStreamInit> {
 public:
  STDMETHOD(GetClassID)(CLSID* classId) override;
  STDMETHOD(IsDirty)() override;
  STDMETHOD(Load)(LPSTREAM stream) override;
  STDMETHOD(Save)(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) override;
  STDMETHOD(InitNew)() override;
};

class PagesFacet : public Facet<ISpecifyPropertyPages> {
 public:
  STDMETHOD(GetPages)(CAUUID* pages) override;
};

class QuickFacet : public Facet<IQuickActivate> {
 public:
  STDMETHOD(QuickActivate)(QACONTAINER* container, QACONTROL* control) override;
  STDMETHOD(SetContentExtent)(LPSIZEL size) override;
  STDMETHOD(GetContentExtent)(LPSIZEL size) override;
};

class StorageFacet : public Facet<IPersistStorage> {
 public:
  STDMETHOD(GetClassID)(CLSID* classId) override;
  STDMETHOD(IsDirty)() override;
  STDMETHOD(InitNew)(IStorage* storage) override;
  STDMETHOD(Load)(IStorage* storage) override;
  STDMETHOD(Save)(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHOD(SaveCompleted)(IStorage* storage) override;
  STDMETHOD(HandsOffStorage)() override;
};

class DataFacet : public Facet<IDataObject> {
 public:
  STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHOD(GetDataHere)(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHOD(QueryGetData)(FORMATETC* format) override;
  STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* in, FORMATETC* out) override;
  STDMETHOD(SetData)(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
  STDMETHOD(EnumFormatEtc)(DWORD direction, IEnumFORMATETC** formats) override;
  STDMETHOD(DAdvise)(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) override;
  STDMETHOD(DUnadvise)(DWORD connection) override;
  STDMETHOD(EnumDAdvise)(IEnumSTATDATA** advises) override;
};

class ClassInfoFacet : public Facet<IProvideClassInfo2> {
 public:
  STDMETHOD(GetClassInfo)(ITypeInfo** typeInfo) override;
  STDMETHOD(GetGUID)(DWORD kind, GUID* guid) override;
};

class SafetyFacet : public Facet<IObjectSafety> {
 public:
  STDMETHOD(GetInterfaceSafetyOptions)(REFIID iid, DWORD* supported, DWORD* enabled) override;
  STDMETHOD(SetInterfaceSafetyOptions)(REFIID iid, DWORD mask, DWORD enabled) override;
};

// The object's state. It is all zero at construction except for the extents,
// which start at 5080 x 5080 HIMETRIC. The interface references are released
// from the last listed to the first: the ambient dispatch first, the in-place
// site last.
struct ControlState {
  volatile LONG refCount_;
  IUnknown* outer_;  // not counted: the outer object owns this one
  ComPtr<IOleInPlaceSite> inPlaceSite_;  // the site as the kind below
  SiteKind siteKind_;
  ComPtr<IDataAdviseHolder> dataAdviseHolder_;
  ComPtr<IOleAdviseHolder> oleAdviseHolder_;
  ComPtr<IOleClientSite> clientSite_;
  ComPtr<IAdviseSink> viewAdviseSink_;
  ComPtr<IDispatch> ambientDispatch_;
  SIZEL naturalExtent_;
  ControlProperties properties_;  // the current extent
  RECT position_;
  DWORD state_;
  LONG freezeCount_;
  DWORD safetyOptions_;
  SiteLock gate_;
};

class SysInfoObject final : public ScriptingFacet,
                            public StreamFacet,
                            public ControlFacet,
                            public ActiveFacet,
                            public ViewFacet,
                            public InPlaceFacet,
                            public StorageFacet,
                            public PagesFacet,
                            public QuickFacet,
                            public DataFacet,
                            public ClassInfoFacet,
                            public SafetyFacet,
                            public OleObjectFacet,
                            public InnerUnknown,
                            public WindowImpl,
                            private ControlState {
 public:
  // outer null: stand-alone; otherwise aggregated under outer.
  explicit SysInfoObject(IUnknown* outer);
  // Releases what the object holds, then frees it.
  void Destroy();
  SysInfoObject(const SysInfoObject&) = delete;
  SysInfoObject& operator=(const SysInfoObject&) = delete;

  // The object's one delegating unknown, which every facet's IUnknown uses.
  IUnknown* Unknown() { return static_cast<ScriptingFacet*>(this); }
  [[nodiscard]] HRESULT InternalQueryInterface(REFIID iid, void** object) { return InnerUnknown::QueryInterface(iid, object); }

 private:
  friend class ScriptingFacet;
  friend class InnerUnknown;
  friend class ViewFacet;
  friend class InPlaceFacet;
  friend class ActiveFacet;
  friend class ControlFacet;
  friend class OleObjectFacet;
  friend class StreamFacet;
  friend class PagesFacet;
  friend class QuickFacet;
  friend class StorageFacet;
  friend class DataFacet;
  friend class ClassInfoFacet;
  friend class SafetyFacet;
  friend class WindowImpl;

  [[nodiscard]] bool AccessGranted() const { return SiteLockAccessGranted(gate_); }
  // The ambient user mode: false only when the container says so.
  [[nodiscard]] bool AmbientUserModeIsFalse();
  LCID AmbientLocale();
  [[nodiscard]] HRESULT InPlaceActivate(LONG verb, LPCRECT position);
  [[nodiscard]] HRESULT UiActivate();
  [[nodiscard]] HRESULT PropertiesVerb(HWND parent);
  void FireViewChange();
  // The in-place site's windows and rectangles; on failure both windows are null.
  struct WindowContext {
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> uiWindow;
    RECT position;
    RECT clip;
  };
  [[nodiscard]] HRESULT GetWindowContext(WindowContext& context);
  ComPtr<IOleControlSite> ControlSite();  // null when the site has none
  // Draws the control into a screen (not metafile) device context.
  void DrawOnScreen(HDC dc);
  // The UI activation a click or the focus brings, with window's parent.
  void UiActivateFromWindow(HWND window);
  // Tells the container's control site that the control gained or lost the focus.
  void NotifyFocus(BOOL gained);
};

template <class Interface>
inline SysInfoObject* Facet<Interface>::Self() {
  return static_cast<SysInfoObject*>(this);
}

// The facets' IUnknown methods, defined in the object's own file.
#define DEVLORE_FACET_UNKNOWN_DECLARATION(Interface)                  \
  template <>                                                         \
  HRESULT STDMETHODCALLTYPE Facet<Interface>::QueryInterface(REFIID iid, void** object); \
  template <>                                                         \
  ULONG STDMETHODCALLTYPE Facet<Interface>::AddRef();                                   \
  template <>                                                         \
  ULONG STDMETHODCALLTYPE Facet<Interface>::Release();
DEVLORE_FACET_UNKNOWN_DECLARATION(IViewObjectEx)
DEVLORE_FACET_UNKNOWN_DECLARATION(IOleInPlaceObjectWindowless)
DEVLORE_FACET_UNKNOWN_DECLARATION(IOleInPlaceActiveObject)
DEVLORE_FACET_UNKNOWN_DECLARATION(IOleControl)
DEVLORE_FACET_UNKNOWN_DECLARATION(IOleObject)
DEVLORE_FACET_UNKNOWN_DECLARATION(IPersistStreamInit)
DEVLORE_FACET_UNKNOWN_DECLARATION(ISpecifyPropertyPages)
DEVLORE_FACET_UNKNOWN_DECLARATION(IQuickActivate)
DEVLORE_FACET_UNKNOWN_DECLARATION(IPersistStorage)
DEVLORE_FACET_UNKNOWN_DECLARATION(IDataObject)
DEVLORE_FACET_UNKNOWN_DECLARATION(IProvideClassInfo2)
DEVLORE_FACET_UNKNOWN_DECLARATION(IObjectSafety)
#undef DEVLORE_FACET_UNKNOWN_DECLARATION

inline SysInfoObject* ScriptingFacet::Self() { return static_cast<SysInfoObject*>(this); }
inline SysInfoObject* InnerUnknown::Self() { return static_cast<SysInfoObject*>(this); }

}  // namespace devlore

#pragma once
// What the control tests share: the process set-up (module record, COM, the
// registered type library and class), a container site written for the tests,
// and small helpers.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <objsafe.h>

#include <gtest/gtest.h>

#include <string>

#include "Devlore_h.h"
#include "base/com_ptr.h"
#include "control/sysinfo_factory.h"

namespace devlore::test {

// The host access code that opens the scripting methods.
inline const wchar_t* HostAccessCode() { return L"{7C3E5A91-B46D-42e8-A1F7-5D09C2E84B3F}"; }

// A new stand-alone control, asked for T.
template <typename T>
ComPtr<T> NewControl(REFIID iid) {
  ComPtr<T> control;
  EXPECT_EQ(S_OK, CreateSysInfoObject(nullptr, iid, control.ReceiveVoid()));
  return control;
}

// A control whose access was granted with the host access code.
inline ComPtr<ISysInfo1> NewGrantedControl() {
  ComPtr<IOleObject> object = NewControl<IOleObject>(IID_IOleObject);
  EXPECT_EQ(S_OK, object->SetHostNames(L"Test Container", HostAccessCode()));
  ComPtr<ISysInfo1> scripting;
  EXPECT_EQ(S_OK, object.QueryInto(IID_ISysInfo1, scripting));
  return scripting;
}

// The reference count an object reports after one AddRef/Release pair.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// The folder of the test program, with a trailing backslash.
inline std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path);
  return text.substr(0, text.rfind(L'\\') + 1);
}

// A top-level window that serves as the container's window.
class ContainerWindow {
 public:
  ContainerWindow();
  ~ContainerWindow();
  HWND Get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// A container site written for the tests. Which of its interfaces it answers is
// configurable; it counts the calls the control makes.
class TestSite : public IOleClientSite,
                 public IOleInPlaceSiteWindowless,
                 public IOleControlSite,
                 public IDispatch,
                 public IAdviseSinkEx {
 public:
  enum InPlaceKind { kNoInPlace, kPlain, kExtended, kWindowless };

  explicit TestSite(HWND window, InPlaceKind kind = kPlain) : window_(window), kind_(kind) {}
  virtual ~TestSite() = default;

  // Configuration.
  bool answerDispatch = true;     // ambient properties
  VARIANT userMode = {};          // VT_EMPTY: the property cannot be read
  bool answerControlSite = true;
  bool allowWindowless = true;    // CanWindowlessActivate
  HRESULT showPropertyFrameResult = S_OK;
  HRESULT translateResult = S_FALSE;
  RECT position = {10, 20, 110, 70};
  RECT clip = {0, 0, 1000, 1000};

  // Counters.
  int inPlaceActivations = 0, inPlaceActivationsEx = 0, uiActivations = 0, uiDeactivations = 0;
  int inPlaceDeactivations = 0, propertyFrames = 0, focusGained = 0, focusLost = 0, invalidations = 0;
  int viewChanges = 0, translations = 0, closes = 0, dataChanges = 0;
  DWORD activateFlags = 0xFFFFFFFF;
  DWORD lastModifiers = 0xFFFFFFFF;

  // IUnknown
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
      if (kind_ != kNoInPlace) *object = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceSiteEx)) {
      if (kind_ == kExtended || kind_ == kWindowless) *object = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceSiteWindowless)) {
      if (kind_ == kWindowless) *object = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (IsEqualIID(iid, IID_IOleControlSite)) {
      if (answerControlSite) *object = static_cast<IOleControlSite*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch)) {
      if (answerDispatch) *object = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_IAdviseSink) || IsEqualIID(iid, IID_IAdviseSinkEx)) {
      *object = static_cast<IAdviseSinkEx*>(this);
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
  STDMETHOD_(ULONG, Release)() override { return --refs_; }  // lives on the test's stack
  ULONG References() const { return refs_; }

  // IOleClientSite
  STDMETHOD(SaveObject)() override { return S_OK; }
  STDMETHOD(GetMoniker)(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHOD(GetContainer)(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHOD(ShowObject)() override { return S_OK; }
  STDMETHOD(OnShowWindow)(BOOL) override { return S_OK; }
  STDMETHOD(RequestNewObjectLayout)() override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHOD(GetWindow)(HWND* window) override {
    *window = window_;
    return window_ ? S_OK : E_FAIL;
  }
  STDMETHOD(ContextSensitiveHelp)(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHOD(CanInPlaceActivate)() override { return S_OK; }
  STDMETHOD(OnInPlaceActivate)() override {
    ++inPlaceActivations;
    return S_OK;
  }
  STDMETHOD(OnUIActivate)() override {
    ++uiActivations;
    return S_OK;
  }
  STDMETHOD(GetWindowContext)(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clipRect,
                              LPOLEINPLACEFRAMEINFO) override {
    *frame = nullptr;
    *doc = nullptr;
    *pos = position;
    *clipRect = clip;
    return S_OK;
  }
  STDMETHOD(Scroll)(SIZE) override { return E_NOTIMPL; }
  STDMETHOD(OnUIDeactivate)(BOOL) override {
    ++uiDeactivations;
    return S_OK;
  }
  STDMETHOD(OnInPlaceDeactivate)() override {
    ++inPlaceDeactivations;
    return S_OK;
  }
  STDMETHOD(DiscardUndoState)() override { return S_OK; }
  STDMETHOD(DeactivateAndUndo)() override { return S_OK; }
  STDMETHOD(OnPosRectChange)(LPCRECT) override { return S_OK; }

  // IOleInPlaceSiteEx
  STDMETHOD(OnInPlaceActivateEx)(BOOL* noRedraw, DWORD flags) override {
    ++inPlaceActivationsEx;
    activateFlags = flags;
    if (noRedraw) *noRedraw = FALSE;
    return S_OK;
  }
  STDMETHOD(OnInPlaceDeactivateEx)(BOOL) override {
    ++inPlaceDeactivations;
    return S_OK;
  }
  STDMETHOD(RequestUIActivate)() override { return S_OK; }

  // IOleInPlaceSiteWindowless
  STDMETHOD(CanWindowlessActivate)() override { return allowWindowless ? S_OK : S_FALSE; }
  STDMETHOD(GetCapture)() override { return S_FALSE; }
  STDMETHOD(SetCapture)(BOOL) override { return S_OK; }
  STDMETHOD(GetFocus)() override { return S_FALSE; }
  STDMETHOD(SetFocus)(BOOL) override { return S_OK; }
  STDMETHOD(GetDC)(LPCRECT, DWORD, HDC*) override { return E_NOTIMPL; }
  STDMETHOD(ReleaseDC)(HDC) override { return E_NOTIMPL; }
  STDMETHOD(InvalidateRect)(LPCRECT, BOOL) override {
    ++invalidations;
    return S_OK;
  }
  STDMETHOD(InvalidateRgn)(HRGN, BOOL) override {
    ++invalidations;
    return S_OK;
  }
  STDMETHOD(ScrollRect)(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
  STDMETHOD(AdjustRect)(LPRECT) override { return E_NOTIMPL; }
  STDMETHOD(OnDefWindowMessage)(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }

  // IOleControlSite
  STDMETHOD(OnControlInfoChanged)() override { return S_OK; }
  STDMETHOD(LockInPlaceActive)(BOOL) override { return S_OK; }
  STDMETHOD(GetExtendedControl)(IDispatch** control) override {
    *control = nullptr;
    return E_NOTIMPL;
  }
  STDMETHOD(TransformCoords)(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
  STDMETHOD(TranslateAccelerator)(MSG*, DWORD modifiers) override {
    ++translations;
    lastModifiers = modifiers;
    return translateResult;
  }
  STDMETHOD(OnFocus)(BOOL gained) override {
    ++(gained ? focusGained : focusLost);
    return S_OK;
  }
  STDMETHOD(ShowPropertyFrame)() override {
    ++propertyFrames;
    return showPropertyFrameResult;
  }

  // IDispatch: the ambient properties
  STDMETHOD(GetTypeInfoCount)(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id == DISPID_AMBIENT_USERMODE && V_VT(&userMode) != VT_EMPTY && result) {
      *result = userMode;
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  // IAdviseSink
  STDMETHOD_(void, OnDataChange)(FORMATETC*, STGMEDIUM*) override { ++dataChanges; }
  STDMETHOD_(void, OnViewChange)(DWORD, LONG) override { ++viewChanges; }
  STDMETHOD_(void, OnRename)(IMoniker*) override {}
  STDMETHOD_(void, OnSave)() override {}
  STDMETHOD_(void, OnClose)() override { ++closes; }
  STDMETHOD_(void, OnViewStatusChange)(DWORD) override {}

  void SetUserMode(bool value) {
    V_VT(&userMode) = VT_BOOL;
    V_BOOL(&userMode) = value ? VARIANT_TRUE : VARIANT_FALSE;
  }

 private:
  HWND window_;
  InPlaceKind kind_;
  ULONG refs_ = 0;
};

}  // namespace devlore::test

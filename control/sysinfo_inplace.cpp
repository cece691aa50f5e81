// In-place activation, the in-place object and active object interfaces, and
// the control window's message table.
#include "control/sysinfo_object.h"

#include <utility>

namespace devlore {
namespace {

// Reflected notifications arrive as the message they stand for plus this.
constexpr UINT kReflected = 0x2000;

bool IsReflectedMessage(UINT message) {
  if (message < kReflected) return false;
  switch (message - kReflected) {
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_PARENTNOTIFY:
      return true;
    default:
      return false;
  }
}

// Tells one of the container's windows (the frame or the document window),
// when there is one, which object is UI-active now (null: none). The control
// asks for no border space of its own.
void AnnounceActiveObject(IOleInPlaceUIWindow* window, IOleInPlaceActiveObject* active) {
  if (!window) return;
  window->SetActiveObject(active, nullptr);
  if (active) window->SetBorderSpace(nullptr);
}

// The container's in-place site interfaces in the order they are asked for.
struct SiteQuery {
  const IID* iid;
  SiteKind kind;
};
const SiteQuery kSiteQueries[] = {
    {&IID_IOleInPlaceSiteWindowless, SiteKind::kWindowless},
    {&IID_IOleInPlaceSiteEx, SiteKind::kExtended},
    {&IID_IOleInPlaceSite, SiteKind::kPlain},
};

}  // namespace

HRESULT SysInfoObject::GetWindowContext(WindowContext& context) {
  if (!inPlaceSite_) return E_UNEXPECTED;
  OLEINPLACEFRAMEINFO frameInfo = {};
  frameInfo.cb = sizeof frameInfo;
  const HRESULT hr = inPlaceSite_->GetWindowContext(context.frame.Receive(), context.uiWindow.Receive(),
                                                    &context.position, &context.clip, &frameInfo);
  if (FAILED(hr)) {
    // A failing container may still have stored something.
    context.frame.Reset();
    context.uiWindow.Reset();
  }
  return hr;
}

HRESULT SysInfoObject::InPlaceActivate(LONG verb, LPCRECT) {
  if (!clientSite_) return E_UNEXPECTED;
  if (!(state_ & kInPlaceActive)) {
    ComPtr<IOleInPlaceSite> found;
    SiteKind kind = SiteKind::kNone;
    for (const SiteQuery& query : kSiteQueries) {
      if (SUCCEEDED(clientSite_.QueryInto(*query.iid, found)) && found) {
        kind = query.kind;
        break;
      }
    }
    if (kind == SiteKind::kNone) return E_FAIL;
    inPlaceSite_ = std::move(found);
    siteKind_ = kind;
    IOleInPlaceSite* const site = inPlaceSite_.Get();

    bool windowless = false;
    HRESULT hr = E_FAIL;
    if (site->CanInPlaceActivate() == S_OK) {
      BOOL noRedraw = FALSE;
      if (kind == SiteKind::kWindowless &&
          static_cast<IOleInPlaceSiteWindowless*>(site)->CanWindowlessActivate() == S_OK) {
        windowless = true;
        hr = static_cast<IOleInPlaceSiteWindowless*>(site)->OnInPlaceActivateEx(&noRedraw, ACTIVATE_WINDOWLESS);
      } else if (kind != SiteKind::kPlain) {
        hr = static_cast<IOleInPlaceSiteEx*>(site)->OnInPlaceActivateEx(&noRedraw, 0);
      } else {
        hr = site->OnInPlaceActivate();
      }
    }
    if (FAILED(hr)) {
      inPlaceSite_.Reset();
      siteKind_ = SiteKind::kNone;
      return hr;
    }
    state_ |= kInPlaceActive;
    if (windowless) state_ |= kWindowless;

    WindowContext context = {};
    if (SUCCEEDED(GetWindowContext(context))) {
      position_ = context.position;
    } else {
      context.clip = position_;
    }
    if (!windowless) {
      HWND parent = nullptr;
      if (FAILED(inPlaceSite_->GetWindow(&parent)) || !parent) {
        InPlaceFacet::InPlaceDeactivate();
        return E_FAIL;
      }
      if (!window_ && !CreateControlWindow(parent, position_, reinterpret_cast<UINT_PTR>(this))) {
        InPlaceFacet::InPlaceDeactivate();
        return E_FAIL;
      }
      InPlaceFacet::SetObjectRects(&position_, &context.clip);
    }
  }
  if (window_) ShowWindow(window_, SW_SHOW);
  if (verb == OLEIVERB_UIACTIVATE) return UiActivate();
  return S_OK;
}

HRESULT SysInfoObject::UiActivate() {
  if (state_ & kUiActive) return S_OK;
  state_ |= kUiActive;
  HRESULT hr = inPlaceSite_ ? inPlaceSite_->OnUIActivate() : E_UNEXPECTED;
  if (FAILED(hr)) {
    state_ &= ~kUiActive;
    return hr;
  }
  if (window_ && GetFocus() != window_) SetFocus(window_);
  WindowContext context;
  if (SUCCEEDED(GetWindowContext(context))) {
    IOleInPlaceActiveObject* active = static_cast<ActiveFacet*>(this);
    AnnounceActiveObject(context.frame.Get(), active);
    AnnounceActiveObject(context.uiWindow.Get(), active);
  }
  return S_OK;
}

// ---- IOleWindow, IOleInPlaceObject(Windowless) ----------------------------

HRESULT InPlaceFacet::GetWindow(HWND* window) {
  SysInfoObject* self = Self();
  if ((self->state_ & kInPlaceActive) && (self->state_ & kWindowless)) return E_FAIL;
  if (!window) return E_POINTER;
  *window = self->window_;
  return self->window_ ? S_OK : E_UNEXPECTED;
}

HRESULT InPlaceFacet::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT InPlaceFacet::InPlaceDeactivate() {
  SysInfoObject* self = Self();
  if (!(self->state_ & kInPlaceActive)) return S_OK;
  InPlaceFacet::UIDeactivate();
  const bool windowless = (self->state_ & kWindowless) != 0;
  self->state_ &= ~(kInPlaceActive | kWindowless);
  if (self->window_) DestroyWindow(self->window_);
  if (self->inPlaceSite_) {
    if (self->siteKind_ == SiteKind::kPlain) {
      self->inPlaceSite_->OnInPlaceDeactivate();
    } else {
      static_cast<IOleInPlaceSiteEx*>(self->inPlaceSite_.Get())->OnInPlaceDeactivateEx(windowless ? FALSE : TRUE);
    }
    self->siteKind_ = SiteKind::kNone;
    self->inPlaceSite_.Reset();
  }
  return S_OK;
}

HRESULT InPlaceFacet::UIDeactivate() {
  SysInfoObject* self = Self();
  if (!(self->state_ & kUiActive)) return S_OK;
  self->state_ &= ~kUiActive;
  SysInfoObject::WindowContext context;
  if (SUCCEEDED(self->GetWindowContext(context))) {
    AnnounceActiveObject(context.uiWindow.Get(), nullptr);
    AnnounceActiveObject(context.frame.Get(), nullptr);
  }
  if (self->inPlaceSite_) self->inPlaceSite_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT InPlaceFacet::SetObjectRects(LPCRECT position, LPCRECT clip) {
  if (!position || !clip) return E_POINTER;
  SysInfoObject* self = Self();
  self->position_ = *position;
  if (const HWND window = self->window_) {
    RECT visible;
    const LONG width = position->right - position->left;
    const LONG height = position->bottom - position->top;
    if (IntersectRect(&visible, position, clip) && !EqualRect(&visible, position)) {
      // Only the part inside the clip rectangle shows, in window coordinates.
      OffsetRect(&visible, -position->left, -position->top);
      HRGN region = CreateRectRgnIndirect(&visible);
      if (region && !SetWindowRgn(window, region, TRUE)) DeleteObject(region);
    } else {
      SetWindowRgn(window, nullptr, TRUE);
    }
    SetWindowPos(window, nullptr, position->left, position->top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return S_OK;
}

HRESULT InPlaceFacet::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT InPlaceFacet::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  LRESULT local = 0;
  SysInfoObject* self = Self();
  const BOOL handled = self->ProcessWindowMessage(self->window_, message, wParam, lParam, local);
  if (result) *result = local;
  return handled ? S_OK : S_FALSE;
}

HRESULT InPlaceFacet::GetDropTarget(IDropTarget** target) {
  if (target) *target = nullptr;
  return E_NOTIMPL;
}

// ---- IOleInPlaceActiveObject ----------------------------------------------

HRESULT ActiveFacet::GetWindow(HWND* window) { return Self()->InPlaceFacet::GetWindow(window); }

HRESULT ActiveFacet::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT ActiveFacet::TranslateAccelerator(LPMSG message) {
  if (!message) return E_POINTER;
  const ComPtr<IOleControlSite> site = Self()->ControlSite();
  if (!site) return S_FALSE;
  DWORD modifiers = 0;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= 1;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;
  if (GetKeyState(VK_MENU) < 0) modifiers |= 4;
  const HRESULT hr = site->TranslateAccelerator(message, modifiers);
  return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT ActiveFacet::OnFrameWindowActivate(BOOL) { return S_OK; }

HRESULT ActiveFacet::OnDocWindowActivate(BOOL activate) {
  if (!activate) Self()->InPlaceFacet::UIDeactivate();
  return S_OK;
}

HRESULT ActiveFacet::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT ActiveFacet::EnableModeless(BOOL) { return S_OK; }

// ---- The message table ----------------------------------------------------

void SysInfoObject::UiActivateFromWindow(HWND window) {
  OleObjectFacet::DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, window ? GetParent(window) : nullptr, &position_);
}

void SysInfoObject::NotifyFocus(BOOL gained) {
  if (const ComPtr<IOleControlSite> site = ControlSite()) site->OnFocus(gained);
}

BOOL WindowImpl::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  SysInfoObject* self = static_cast<SysInfoObject*>(this);
  result = 0;
  switch (message) {
    case WM_PAINT: {
      if (!window) return FALSE;
      PAINTSTRUCT paint;
      HDC dc = reinterpret_cast<HDC>(wParam);
      const bool began = dc == nullptr;
      if (began) dc = BeginPaint(window, &paint);
      if (dc) self->DrawOnScreen(dc);
      if (began) EndPaint(window, &paint);
      return TRUE;
    }
    case WM_SETFOCUS:
      if (self->state_ & kInPlaceActive) {
        self->UiActivateFromWindow(window);
        self->NotifyFocus(TRUE);
      }
      return FALSE;
    case WM_KILLFOCUS:
      if ((self->state_ & kInPlaceActive) && window) {
        const HWND next = reinterpret_cast<HWND>(wParam);
        if (next != window && !IsChild(window, next)) self->NotifyFocus(FALSE);
      }
      return FALSE;
    case WM_MOUSEACTIVATE:
      if (!self->AmbientUserModeIsFalse()) self->UiActivateFromWindow(window);
      return FALSE;
    default:
      if (IsReflectedMessage(message)) {
        result = DefWindowProcA(window, message - kReflected, wParam, lParam);
        return TRUE;
      }
      return FALSE;
  }
}

}  // namespace devlore

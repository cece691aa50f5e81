#include "control/control_window.h"

namespace devlore {
namespace {

// The process's record of the control's window class. Its address makes the
// class name unique within the process.
struct WindowClassRecord {
  char name[16];
  BOOL known;
};
WindowClassRecord g_windowClass = {};

// Window extra bytes: the owner of a bound window.
constexpr int kOwnerSlot = 0;

WindowImpl* OwnerOf(HWND window) {
  return reinterpret_cast<WindowImpl*>(GetWindowLongPtrA(window, kOwnerSlot));
}

}  // namespace

const char* ControlWindowClassName() {
  CriticalSectionLock lock(Module().windowCreationLock);
  if (g_windowClass.known) return g_windowClass.name;
  wsprintfA(g_windowClass.name, "ATL:%8.8X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(&g_windowClass)));
  const HINSTANCE instance = ModuleInstance();
  WNDCLASSEXA existing = {};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExA(instance, g_windowClass.name, &existing)) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &WindowImpl::StartWindowProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = g_windowClass.name;
    if (!RegisterClassExA(&wc)) return nullptr;
  }
  g_windowClass.known = TRUE;
  return g_windowClass.name;
}

HWND WindowImpl::CreateControlWindow(HWND parent, const RECT& rect, UINT_PTR id) {
  const char* className = ControlWindowClassName();
  if (!className) return nullptr;
  bound_ = false;
  RecordWindowCreator(&creator_, this);
  HWND created = CreateWindowExA(0, className, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                 rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                 reinterpret_cast<HMENU>(id), ModuleInstance(), nullptr);
  // When no message reached the window, the record is still listed: take it back
  // so that the list never refers to an object that may go away.
  if (!created && !bound_) TakeWindowCreator();
  return created;
}

LRESULT WindowImpl::DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!previousProc_) return DefWindowProcA(currentWindow_, message, wParam, lParam);
  return CallWindowProcA(previousProc_, currentWindow_, message, wParam, lParam);
}

// The class's procedure. The first message of a new window binds it to the
// object that recorded itself just before creating it; a window that has been
// bound and released again gets default processing.
LRESULT CALLBACK WindowImpl::StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (OwnerOf(window)) return DefWindowProcA(window, message, wParam, lParam);
  WindowImpl* owner = static_cast<WindowImpl*>(TakeWindowCreator());
  if (!owner) return DefWindowProcA(window, message, wParam, lParam);
  owner->bound_ = true;
  owner->window_ = window;
  SetWindowLongPtrA(window, kOwnerSlot, reinterpret_cast<LONG_PTR>(owner));
  owner->previousProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowImpl::BoundWindowProc)));
  return CallWindowProcA(&WindowImpl::BoundWindowProc, window, message, wParam, lParam);
}

LRESULT CALLBACK WindowImpl::BoundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowImpl* owner = OwnerOf(window);
  if (!owner) return DefWindowProcA(window, message, wParam, lParam);
  const HWND outerWindow = owner->currentWindow_;
  owner->currentWindow_ = window;
  LRESULT result = 0;
  const BOOL handled = owner->ProcessWindowMessage(window, message, wParam, lParam, result);
  if (message == WM_NCDESTROY) {
    // The last message: default processing first, then unbind.
    if (!handled) result = owner->DefaultProcessing(message, wParam, lParam);
    const LONG_PTR current = GetWindowLongPtrA(window, GWLP_WNDPROC);
    if (current == reinterpret_cast<LONG_PTR>(&WindowImpl::BoundWindowProc) && owner->previousProc_) {
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(owner->previousProc_));
    }
    SetWindowLongPtrA(window, kOwnerSlot, 0);
    owner->previousProc_ = nullptr;
    owner->currentWindow_ = nullptr;
    owner->window_ = nullptr;
    return result;
  }
  if (!handled) result = owner->DefaultProcessing(message, wParam, lParam);
  owner->currentWindow_ = outerWindow;
  return result;
}

}  // namespace devlore

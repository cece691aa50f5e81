#pragma once
// The control's window: one window class per process, registered on first use
// under the window-creation lock, and a window bound to its owner on the first
// message that reaches it.
#include <windows.h>

#include "server/server_module.h"

namespace devlore {

// The window side of the control. The owner handles messages first; what it
// leaves goes to the window procedure that was in place before the binding.
class WindowImpl {
 public:
  // Handles one message; returns TRUE when it took the message (result set).
  // The control that embeds this window defines it.
  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Creates the window as a child of parent at rect (styles 0x56000000, the
  // child identifier id). Returns the window, or null.
  HWND CreateControlWindow(HWND parent, const RECT& rect, UINT_PTR id);
  // Gives the message to the procedure in place before the binding.
  LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_;

 protected:
  // The owner value-initialises this base (WindowImpl()), so every member starts zero.
  WindowImpl() = default;
  ~WindowImpl() = default;

 public:
  // The window class's procedure: binds a new window on its first message.
  static LRESULT CALLBACK StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK BoundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC previousProc_;
  bool bound_;
  WindowCreatorRecord creator_;
  // The message being handled, for DefaultProcessing.
  HWND currentWindow_;
};

// The name of the control's window class ("ATL:" and eight hex digits); it
// registers the class when needed. Null when registration failed.
const char* ControlWindowClassName();

}  // namespace devlore

// The BUTTON class: push buttons, check boxes and group boxes. A click is a press and a
// release over the button; the release tells the parent with BN_CLICKED. A check box's state
// is its program's to set: these styles do not change it themselves.
#include <algorithm>

#include "sim/core.h"
#include "sim/window_classes.h"
#include "sim/windows.h"

namespace sim {

namespace {

struct ButtonState final : ControlState {
  WPARAM check = BST_UNCHECKED;
  bool pushed = false;
};

DWORD Type(const Window& window) { return window.style & BS_TYPEMASK; }

// The highest check state a button of this type takes: none for push buttons and group boxes.
WPARAM MaxCheck(DWORD type) {
  switch (type) {
    case BS_CHECKBOX: return BST_CHECKED;
    case BS_3STATE: return BST_INDETERMINATE;
    default: return BST_UNCHECKED;
  }
}

void Released(HWND handle, Window& window, ButtonState& button) {
  if (!button.pushed) return;
  button.pushed = false;
  const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(window.menu));
  win::SendMessageA(window.parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(handle));
}

}  // namespace

LRESULT CALLBACK ButtonProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (LRESULT result; ControlFont(handle, message, wparam, result)) return result;
  SimWindows& windows = SimWindows::Current();
  Window* window = windows.Find(handle);
  if (!window) return 0;
  if (message == WM_NCCREATE) window->control = std::make_unique<ButtonState>();
  auto* button = dynamic_cast<ButtonState*>(window->control.get());
  if (!button) return windows.DefaultProcedure(handle, message, wparam, lparam);

  switch (message) {
    case BM_GETCHECK: return static_cast<LRESULT>(MaxCheck(Type(*window)) ? button->check : BST_UNCHECKED);
    case BM_SETCHECK:
      // A value beyond what the type can show is taken as the highest it can.
      button->check = std::min(wparam, MaxCheck(Type(*window)));
      return 0;
    case BM_SETSTYLE: window->style = (window->style & ~BS_TYPEMASK) | (wparam & BS_TYPEMASK); return 0;
    case BM_CLICK:
      // As a mouse click: press and release, through whatever procedure the button has now.
      win::SendMessageA(handle, WM_LBUTTONDOWN, 0, 0);
      win::SendMessageA(handle, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_LBUTTONDOWN:
      // A group box lets clicks through to what lies behind it.
      if (Type(*window) != BS_GROUPBOX) button->pushed = true;
      return 0;
    case WM_LBUTTONUP: Released(handle, *window, *button); return 0;
    default: return windows.DefaultProcedure(handle, message, wparam, lparam);
  }
}

}  // namespace sim

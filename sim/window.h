// A window as the headless window manager keeps it.
#pragma once

#include <memory>
#include <string>

#include "platform/win32_types.h"

namespace sim {

/// What a built-in control keeps beyond the window itself (an edit's selection), in the
/// place Windows keeps it: the window's extra bytes.
class ControlState {
 public:
  virtual ~ControlState() = default;
};

struct Window {
  HWND handle = nullptr;
  std::string class_name;  // as the class was registered, e.g. "EDIT"
  std::string text;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;  // parent of a child, owner of a top-level window
  HMENU menu = nullptr;   // a child's id
  HINSTANCE instance = nullptr;
  WNDPROC procedure = nullptr;
  LONG_PTR user_data = 0;
  // Where it stands in its parent's client area (a top-level window: on the screen). The
  // simulated PC draws no frames: a window's client area is all of it.
  int x = 0, y = 0, width = 0, height = 0;
  HFONT font = nullptr;  // as WM_SETFONT gave it to a control
  std::unique_ptr<ControlState> control;
  bool destroying = false;
};

}  // namespace sim

// The STATIC class: a label, whose text and font are all there is to it without a screen.
#include "sim/window_classes.h"
#include "sim/windows.h"

namespace sim {

bool ControlFont(HWND handle, UINT message, WPARAM wparam, LRESULT& result) {
  if (message != WM_SETFONT && message != WM_GETFONT) return false;
  Window* window = SimWindows::Current().Find(handle);
  if (!window) {
    result = 0;
  } else if (message == WM_SETFONT) {
    window->font = reinterpret_cast<HFONT>(wparam);
    result = 0;
  } else {
    result = reinterpret_cast<LRESULT>(window->font);
  }
  return true;
}

LRESULT CALLBACK StaticProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (LRESULT result; ControlFont(handle, message, wparam, result)) return result;
  return SimWindows::Current().DefaultProcedure(handle, message, wparam, lparam);
}

}  // namespace sim

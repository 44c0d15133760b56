// The EDIT class: text with a caret, typed characters, and EM_REPLACESEL, with which code
// fills a log view.
#include <algorithm>
#include <string>

#include "sim/core.h"
#include "sim/window_classes.h"
#include "sim/windows.h"

namespace sim {

namespace {

struct EditState final : ControlState {
  std::size_t caret = 0;
};

// Puts `text` at the caret and leaves the caret after it.
void Insert(Window& window, EditState& edit, std::string_view text) {
  window.text.insert(edit.caret, text);
  edit.caret += text.size();
}

void Type(Window& window, EditState& edit, char typed) {
  const bool multiline = window.style & ES_MULTILINE;
  switch (typed) {
    case '\b':
      if (edit.caret > 0) window.text.erase(--edit.caret, 1);
      return;
    case '\r':
    case '\n':
      if (multiline) Insert(window, edit, "\r\n");
      return;
    case '\t':
      if (multiline) Insert(window, edit, "\t");
      return;
    default:
      // Other control characters are shortcuts (copy, paste), not text.
      if (static_cast<unsigned char>(typed) >= 0x20) Insert(window, edit, {&typed, 1});
      return;
  }
}

}  // namespace

LRESULT CALLBACK EditProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (LRESULT result; ControlFont(handle, message, wparam, result)) return result;
  SimWindows& windows = SimWindows::Current();
  Window* window = windows.Find(handle);
  if (!window) return 0;
  if (message == WM_NCCREATE) window->control = std::make_unique<EditState>();
  auto* edit = dynamic_cast<EditState*>(window->control.get());
  if (!edit) return windows.DefaultProcedure(handle, message, wparam, lparam);

  switch (message) {
    case WM_NCCREATE:
    case WM_SETTEXT: {
      // New text puts the caret at the start, as on Windows.
      const LRESULT result = windows.DefaultProcedure(handle, message, wparam, lparam);
      edit->caret = 0;
      return result;
    }
    case WM_CHAR: Type(*window, *edit, static_cast<char>(wparam & 0xFF)); return 0;
    case EM_REPLACESEL: {
      const auto* text = reinterpret_cast<LPCSTR>(lparam);
      if (!text) throw AccessViolation("EM_REPLACESEL: the text is null");
      Insert(*window, *edit, text);
      return 0;
    }
    default: return windows.DefaultProcedure(handle, message, wparam, lparam);
  }
}

}  // namespace sim

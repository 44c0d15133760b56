// The EDIT class: text with a selection whose far end is the caret, typed characters, and the
// EM_ messages code uses to fill a log view.
#include <algorithm>
#include <string>

#include "sim/core.h"
#include "sim/sim_windows.h"
#include "sim/win32_more.h"
#include "sim/window_classes.h"

namespace sim {

namespace {

struct EditState final : ControlState {
  // Selection as last set: `end` is the caret and may lie before `start`.
  std::size_t start = 0;
  std::size_t end = 0;
  // What the user may type or EM_REPLACESEL may add up to; WM_SETTEXT is not held to it.
  std::size_t limit = 32767;

  std::size_t Low() const { return std::min(start, end); }
  std::size_t High() const { return std::max(start, end); }
};

enum class Overflow { kRefuse, kTruncate };

// Replaces the selection with `text` and leaves the caret after it. A keystroke that does not
// fit is refused whole; EM_REPLACESEL adds what fits.
void ReplaceSelection(Window& window, EditState& edit, std::string_view text, Overflow overflow) {
  const std::size_t low = edit.Low(), high = edit.High();
  const std::size_t kept = window.text.size() - (high - low);
  const std::size_t room = edit.limit > kept ? edit.limit - kept : 0;
  if (text.size() > room) {
    if (overflow == Overflow::kRefuse) return;
    text = text.substr(0, room);
  }
  window.text.replace(low, high - low, text);
  edit.start = edit.end = low + text.size();
}

void Type(Window& window, EditState& edit, char typed) {
  if (window.style & ES_READONLY) return;
  const bool multiline = window.style & ES_MULTILINE;
  switch (typed) {
    case '\b':
      if (edit.start == edit.end && edit.end > 0) edit.start = edit.end - 1;
      ReplaceSelection(window, edit, "", Overflow::kRefuse);
      return;
    case '\r':
    case '\n':
      if (multiline) ReplaceSelection(window, edit, "\r\n", Overflow::kRefuse);
      return;
    case '\t':
      if (multiline) ReplaceSelection(window, edit, "\t", Overflow::kRefuse);
      return;
    default:
      // Other control characters are shortcuts (copy, paste), not text.
      if (static_cast<unsigned char>(typed) >= 0x20) ReplaceSelection(window, edit, {&typed, 1}, Overflow::kRefuse);
      return;
  }
}

void SetSelection(const Window& window, EditState& edit, UINT start, UINT end) {
  if (start == static_cast<UINT>(-1)) {  // deselect, caret stays
    edit.start = edit.end;
    return;
  }
  edit.start = std::min<std::size_t>(start, window.text.size());
  edit.end = std::min<std::size_t>(end, window.text.size());
}

LRESULT GetSelection(const EditState& edit, WPARAM start_out, LPARAM end_out) {
  const std::size_t low = edit.Low(), high = edit.High();
  if (auto* start = reinterpret_cast<DWORD*>(start_out)) *start = static_cast<DWORD>(low);
  if (auto* end = reinterpret_cast<DWORD*>(end_out)) *end = static_cast<DWORD>(high);
  if (low > 0xFFFF || high > 0xFFFF) return -1;
  return static_cast<LRESULT>(low | (high << 16));
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
      // New text puts the caret at the start, as on Windows: code that appends with
      // EM_REPLACESEL must move the caret to the end itself.
      const LRESULT result = windows.DefaultProcedure(handle, message, wparam, lparam);
      edit->start = edit->end = 0;
      return result;
    }
    case WM_CHAR: Type(*window, *edit, static_cast<char>(wparam & 0xFF)); return 0;
    case EM_SETSEL: SetSelection(*window, *edit, static_cast<UINT>(wparam), static_cast<UINT>(lparam)); return 0;
    case EM_GETSEL: return GetSelection(*edit, wparam, lparam);
    case EM_REPLACESEL: {
      const auto* text = reinterpret_cast<LPCSTR>(lparam);
      if (!text) throw AccessViolation("EM_REPLACESEL: the text is null");
      ReplaceSelection(*window, *edit, text, Overflow::kTruncate);
      return 0;
    }
    case EM_LIMITTEXT:
      if (wparam) {
        edit->limit = wparam;
      } else {
        edit->limit = (window->style & ES_MULTILINE) ? 0xFFFFFFFF : 0x7FFFFFFE;
      }
      return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(edit->limit);
    default: return windows.DefaultProcedure(handle, message, wparam, lparam);
  }
}

}  // namespace sim

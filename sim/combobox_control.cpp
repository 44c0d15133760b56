// The COMBOBOX class: a list of texts each with a value of the program's, the selected entry,
// and for the editable styles a text of its own. The program's CB_SETCURSEL selects quietly;
// only the user's choice is told to the parent, with CBN_SELCHANGE.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "sim/core.h"
#include "sim/format.h"
#include "sim/window_classes.h"
#include "sim/windows.h"

namespace sim {

namespace {

struct ComboState final : ControlState {
  std::vector<std::pair<std::string, LPARAM>> items;
  int selected = -1;
  int item_height = 16;
  int field_height = 18;

  bool Valid(WPARAM index) const { return index < items.size(); }
};

bool DropDownList(const Window& window) { return (window.style & 0x3) == CBS_DROPDOWNLIST; }

LPCSTR Text(LPARAM lparam, const char* message) {
  const auto* text = reinterpret_cast<LPCSTR>(lparam);
  if (!text) throw AccessViolation(std::string(message) + ": the text is null");
  return text;
}

void Select(Window& window, ComboState& combo, int index) {
  combo.selected = index;
  window.text = index >= 0 ? combo.items[static_cast<std::size_t>(index)].first : std::string();
}

LRESULT Delete(Window& window, ComboState& combo, WPARAM index) {
  if (!combo.Valid(index)) return CB_ERR;
  combo.items.erase(combo.items.begin() + static_cast<std::ptrdiff_t>(index));
  const int removed = static_cast<int>(index);
  if (combo.selected == removed) {
    Select(window, combo, -1);
  } else if (combo.selected > removed) {
    --combo.selected;
  }
  return static_cast<LRESULT>(combo.items.size());
}

}  // namespace

void ChooseComboItem(HWND handle, int index) {
  Window* window = SimWindows::Current().Find(handle);
  auto* combo = window ? dynamic_cast<ComboState*>(window->control.get()) : nullptr;
  if (!combo) throw std::invalid_argument("sim: " + format::Handle(handle) + " is not a combo box");
  if (index < 0 || !combo->Valid(static_cast<WPARAM>(index))) {
    throw std::invalid_argument("sim: the combo box has no entry " + std::to_string(index));
  }
  if (index == combo->selected) return;  // picking what is selected already changes nothing
  Select(*window, *combo, index);
  const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(window->menu));
  win::SendMessageA(window->parent, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(handle));
}

LRESULT CALLBACK ComboBoxProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  if (LRESULT result; ControlFont(handle, message, wparam, result)) return result;
  SimWindows& windows = SimWindows::Current();
  Window* window = windows.Find(handle);
  if (!window) return 0;
  if (message == WM_NCCREATE) window->control = std::make_unique<ComboState>();
  auto* combo = dynamic_cast<ComboState*>(window->control.get());
  if (!combo) return windows.DefaultProcedure(handle, message, wparam, lparam);

  switch (message) {
    case WM_NCCREATE: {
      const LRESULT result = windows.DefaultProcedure(handle, message, wparam, lparam);
      if (DropDownList(*window)) window->text.clear();  // shows the selection, and there is none
      return result;
    }
    case WM_SETTEXT:
      if (DropDownList(*window)) return CB_ERR;
      return windows.DefaultProcedure(handle, message, wparam, lparam);
    case CB_ADDSTRING:
      combo->items.emplace_back(Text(lparam, "CB_ADDSTRING"), 0);
      return static_cast<LRESULT>(combo->items.size() - 1);
    case CB_DELETESTRING: return Delete(*window, *combo, wparam);
    case CB_RESETCONTENT:
      combo->items.clear();
      Select(*window, *combo, -1);
      return 0;
    case CB_GETCOUNT: return static_cast<LRESULT>(combo->items.size());
    case CB_GETCURSEL: return combo->selected;
    case CB_SETCURSEL:
      if (!combo->Valid(wparam)) {
        Select(*window, *combo, -1);
        return CB_ERR;
      }
      Select(*window, *combo, static_cast<int>(wparam));
      return static_cast<LRESULT>(wparam);
    case CB_GETLBTEXT: {
      if (!combo->Valid(wparam)) return CB_ERR;
      auto* buffer = reinterpret_cast<LPSTR>(lparam);
      if (!buffer) throw AccessViolation("CB_GETLBTEXT: the buffer is null");
      const std::string& text = combo->items[wparam].first;
      std::memcpy(buffer, text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case CB_GETLBTEXTLEN: return combo->Valid(wparam) ? static_cast<LRESULT>(combo->items[wparam].first.size()) : CB_ERR;
    case CB_GETITEMDATA: return combo->Valid(wparam) ? combo->items[wparam].second : CB_ERR;
    case CB_SETITEMDATA:
      if (!combo->Valid(wparam)) return CB_ERR;
      combo->items[wparam].second = lparam;
      return TRUE;
    case CB_SETITEMHEIGHT:
      if (lparam <= 0 || lparam > 255) return CB_ERR;
      (wparam == static_cast<WPARAM>(-1) ? combo->field_height : combo->item_height) = static_cast<int>(lparam);
      return 0;
    case CB_GETITEMHEIGHT: return wparam == static_cast<WPARAM>(-1) ? combo->field_height : combo->item_height;
    default: return windows.DefaultProcedure(handle, message, wparam, lparam);
  }
}

}  // namespace sim

#include "sim/sim_windows.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sim/format.h"
#include "sim/messages.h"
#include "sim/win32_more.h"
#include "sim/window_classes.h"

namespace sim {

using format::Dec;
using format::Handle;
using format::Hex;
using format::Ptr;
using format::Str;

namespace {

std::vector<std::string> WithWindow(HWND window, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), Handle(window));
  return arguments;
}

bool IsAtom(LPCSTR name) { return reinterpret_cast<ULONG_PTR>(name) < 0x10000; }

// The buttons of a box's type, its default button first.
std::vector<int> Buttons(UINT type) {
  constexpr int kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdTryAgain = 10, kIdContinue = 11;
  std::vector<int> buttons;
  switch (type & 0xF) {
    case 0: buttons = {IDOK}; break;
    case 1: buttons = {IDOK, IDCANCEL}; break;
    case 2: buttons = {kIdAbort, kIdRetry, kIdIgnore}; break;
    case 3: buttons = {IDYES, IDNO, IDCANCEL}; break;
    case 4: buttons = {IDYES, IDNO}; break;
    case 5: buttons = {kIdRetry, IDCANCEL}; break;
    case 6: buttons = {IDCANCEL, kIdTryAgain, kIdContinue}; break;
    default: throw NotSimulated("MessageBoxA: button set " + Hex(type & 0xF));
  }
  const std::size_t default_button = (type >> 8) & 0xF;  // MB_DEFBUTTON2 is 0x100
  if (default_button < buttons.size()) std::rotate(buttons.begin(), buttons.begin() + default_button, buttons.end());
  return buttons;
}

}  // namespace

SimWindows& SimWindows::Current() {
  auto* windows = dynamic_cast<SimWindows*>(platform::Installed().windows);
  if (!windows) throw NotSimulated("a built-in window class ran while the simulated PC was not installed");
  return *windows;
}

SimWindows::SimWindows(Core& core) : core_(core) {
  for (const char* name :
       {"MessageBoxA", "CreateWindowExA", "DestroyWindow", "GetWindowLongPtrA", "SetWindowLongPtrA"}) {
    core_.faults.Allow(name);
  }
  AddClass("EDIT", EditProcedure);
  AddClass("STATIC", StaticProcedure);
}

// Windows still open at the end go without WM_DESTROY: the platform that their procedures
// would call back into may be uninstalled already.
SimWindows::~SimWindows() = default;

void SimWindows::AddClass(std::string_view name, WNDPROC procedure) {
  classes_.insert_or_assign(format::Upper(name), Class{std::string(name), procedure});
}

Window* SimWindows::Find(HWND window) {
  auto it = windows_.find(Key(window));
  return it == windows_.end() ? nullptr : it->second.get();
}

const Window* SimWindows::Find(HWND window) const {
  auto it = windows_.find(Key(window));
  return it == windows_.end() ? nullptr : it->second.get();
}

std::string SimWindows::TextOf(HWND window) const {
  const Window* found = Find(window);
  if (!found) throw std::invalid_argument("sim: " + Handle(window) + " is not a window");
  return found->text;
}

std::vector<HWND> SimWindows::ChildrenOf(HWND parent) const {
  std::vector<HWND> children;
  for (const auto& [key, window] : windows_) {
    if (window->parent == parent) children.push_back(window->handle);
  }
  return children;
}

int SimWindows::Answer(UINT type) {
  const std::vector<int> buttons = Buttons(type);
  if (answers_.empty()) return buttons.front();
  const int answer = answers_.front();
  answers_.pop_front();
  if (std::find(buttons.begin(), buttons.end(), answer) == buttons.end()) {
    throw std::invalid_argument("sim: a message box of type " + Hex(type) + " has no button " + std::to_string(answer));
  }
  return answer;
}

int SimWindows::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  core_.Record("MessageBoxA", {Handle(owner), Str(text), Str(caption), Hex(type)});
  if (core_.Failing("MessageBoxA")) return 0;
  if (owner && !Find(owner) && !Foreign(owner)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
  boxes_.push_back({owner, text ? text : "", caption ? caption : "Error", type});
  return Answer(type);
}

HWND SimWindows::GetForegroundWindow() {
  core_.Record("GetForegroundWindow", {});
  return foreground_;
}

LRESULT SimWindows::Deliver(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const Window* found = Find(window);
  if (!found || !found->procedure) return 0;
  return found->procedure(window, message, wparam, lparam);
}

LRESULT SimWindows::SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  core_.Record("SendMessageA", WithWindow(window, MessageArguments(message, wparam, lparam)));
  if (Foreign(window)) return 0;  // another program answers, and says nothing
  if (!Find(window)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
  return Deliver(window, message, wparam, lparam);
}

HWND SimWindows::CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                                 int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  core_.Record("CreateWindowExA",
               {Hex(ex_style), IsAtom(class_name) ? Hex(reinterpret_cast<ULONG_PTR>(class_name)) : Str(class_name),
                Str(window_name), Hex(style), Dec(x), Dec(y), Dec(width), Dec(height), Handle(parent), Handle(menu),
                Handle(instance), Ptr(param)});
  if (core_.Failing("CreateWindowExA")) return nullptr;
  auto found = IsAtom(class_name) ? classes_.end() : classes_.find(format::Upper(class_name));
  if (found == classes_.end()) return core_.Fail(ERROR_CANNOT_FIND_WND_CLASS, HWND{nullptr});
  if (parent && !Find(parent) && !Foreign(parent)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, HWND{nullptr});
  if ((style & WS_CHILD) && !parent) return core_.Fail(ERROR_TLW_WITH_WSCHILD, HWND{nullptr});

  auto window = std::make_unique<Window>();
  HWND handle = window->handle = reinterpret_cast<HWND>(next_window_);
  next_window_ += 0x10;
  window->class_name = found->second.name;
  window->style = style;
  window->ex_style = ex_style;
  window->parent = parent;
  window->menu = menu;
  window->instance = instance;
  window->procedure = found->second.procedure;
  windows_.emplace(Key(handle), std::move(window));

  CREATESTRUCTA create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.cy = height;
  create.cx = width;
  create.y = y;
  create.x = x;
  create.style = static_cast<LONG>(style);
  create.lpszName = window_name;
  create.lpszClass = class_name;
  create.dwExStyle = ex_style;
  const auto create_param = reinterpret_cast<LPARAM>(&create);
  if (!Deliver(handle, WM_NCCREATE, 0, create_param)) {
    if (Find(handle)) {
      Deliver(handle, WM_NCDESTROY, 0, 0);
      windows_.erase(Key(handle));
    }
    return nullptr;
  }
  if (Deliver(handle, WM_CREATE, 0, create_param) == -1) {
    if (Find(handle)) Destroy(handle);
    return nullptr;
  }
  return Find(handle) ? handle : nullptr;
}

void SimWindows::Collect(HWND window, std::vector<HWND>& top_down, std::vector<HWND>& bottom_up) const {
  top_down.push_back(window);
  for (HWND child : ChildrenOf(window)) Collect(child, top_down, bottom_up);
  bottom_up.push_back(window);
}

void SimWindows::Destroy(HWND window) {
  // Windows' order: WM_DESTROY goes down the tree from the top, WM_NCDESTROY comes back up
  // from the leaves, and a window is gone right after its WM_NCDESTROY.
  std::vector<HWND> top_down, bottom_up;
  Collect(window, top_down, bottom_up);
  for (HWND each : top_down) {
    if (Window* found = Find(each)) found->destroying = true;
  }
  for (HWND each : top_down) {
    if (Find(each)) Deliver(each, WM_DESTROY, 0, 0);
  }
  for (HWND each : bottom_up) {
    if (!Find(each)) continue;
    Deliver(each, WM_NCDESTROY, 0, 0);
    windows_.erase(Key(each));
    if (foreground_ == each) foreground_ = ForeignWindow();
  }
}

BOOL SimWindows::DestroyWindow(HWND window) {
  core_.Record("DestroyWindow", {Handle(window)});
  if (core_.Failing("DestroyWindow")) return FALSE;
  if (Foreign(window)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  if (!found->destroying) Destroy(window);
  return TRUE;
}

BOOL SimWindows::IsWindow(HWND window) {
  core_.Record("IsWindow", {Handle(window)});
  return Find(window) || Foreign(window);
}

LONG_PTR SimWindows::GetWindowLongPtrA(HWND window, int index) {
  core_.Record("GetWindowLongPtrA", {Handle(window), Dec(index)});
  if (core_.Failing("GetWindowLongPtrA")) return 0;
  if (Foreign(window)) return core_.Fail(ERROR_ACCESS_DENIED, LONG_PTR{0});
  const Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, LONG_PTR{0});
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(found->procedure);
    case GWLP_USERDATA: return found->user_data;
    case GWLP_ID: return reinterpret_cast<LONG_PTR>(found->menu);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(found->parent);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(found->instance);
    case GWL_STYLE: return static_cast<LONG>(found->style);
    case GWL_EXSTYLE: return static_cast<LONG>(found->ex_style);
    default: return core_.Fail(ERROR_INVALID_INDEX, LONG_PTR{0});
  }
}

LONG_PTR SimWindows::SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  const auto shown = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
  core_.Record("SetWindowLongPtrA",
               {Handle(window), Dec(index),
                index == GWLP_WNDPROC ? Ptr(reinterpret_cast<const void*>(value)) : format::Word(shown)});
  if (core_.Failing("SetWindowLongPtrA")) return 0;
  if (Foreign(window)) return core_.Fail(ERROR_ACCESS_DENIED, LONG_PTR{0});
  Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, LONG_PTR{0});
  // Success leaves the last error alone, as on Windows: a previous value of 0 is told from a
  // failure only by clearing the error beforehand.
  LONG_PTR previous = 0;
  switch (index) {
    case GWLP_WNDPROC:
      previous = reinterpret_cast<LONG_PTR>(found->procedure);
      found->procedure = reinterpret_cast<WNDPROC>(value);
      return previous;
    case GWLP_USERDATA:
      previous = found->user_data;
      found->user_data = value;
      return previous;
    case GWLP_ID:
      previous = reinterpret_cast<LONG_PTR>(found->menu);
      found->menu = reinterpret_cast<HMENU>(value);
      return previous;
    case GWL_STYLE:
      previous = static_cast<LONG>(found->style);
      found->style = static_cast<DWORD>(value);
      return previous;
    case GWL_EXSTYLE:
      previous = static_cast<LONG>(found->ex_style);
      found->ex_style = static_cast<DWORD>(value);
      return previous;
    case GWLP_HWNDPARENT:
    case GWLP_HINSTANCE: throw NotSimulated("SetWindowLongPtrA: index " + Dec(index));
    default: return core_.Fail(ERROR_INVALID_INDEX, LONG_PTR{0});
  }
}

LRESULT SimWindows::CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  core_.Record("CallWindowProcA", WithWindow(window, MessageArguments(message, wparam, lparam)));
  return procedure ? procedure(window, message, wparam, lparam) : 0;
}

LRESULT SimWindows::DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  core_.Record("DefWindowProcA", WithWindow(window, MessageArguments(message, wparam, lparam)));
  return DefaultProcedure(window, message, wparam, lparam);
}

LRESULT SimWindows::DefaultProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* found = Find(window);
  if (!found) return 0;
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      if (create && create->lpszName) found->text = create->lpszName;
      return TRUE;
    }
    case WM_SETTEXT: found->text = lparam ? reinterpret_cast<LPCSTR>(lparam) : ""; return TRUE;
    case WM_GETTEXT: {
      if (wparam == 0) return 0;
      auto* buffer = reinterpret_cast<LPSTR>(lparam);
      if (!buffer) throw AccessViolation("WM_GETTEXT: the buffer is null");
      const std::size_t copied = std::min<std::size_t>(found->text.size(), wparam - 1);
      std::memcpy(buffer, found->text.data(), copied);
      buffer[copied] = '\0';
      return static_cast<LRESULT>(copied);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(found->text.size());
    case WM_CLOSE:
      if (!found->destroying) Destroy(window);
      return 0;
    default: return 0;
  }
}

}  // namespace sim

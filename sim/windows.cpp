#include "sim/windows.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/win32_types.h"
#include "sim/format.h"
#include "sim/graphics.h"
#include "sim/messages.h"
#include "sim/modules.h"
#include "sim/resources.h"
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

}  // namespace

SimWindows& SimWindows::Current() {
  auto* windows = dynamic_cast<SimWindows*>(platform::Installed().windows);
  if (!windows) throw NotSimulated("a built-in window class ran while the simulated PC was not installed");
  return *windows;
}

SimWindows::SimWindows(Core& core) : core_(core) {
  for (const char* name : {"MessageBoxA", "CreateWindowExA", "DestroyWindow", "GetWindowLongPtrA",
                           "SetWindowLongPtrA", "RegisterClassA", "PostMessageA"}) {
    core_.faults.Allow(name);
  }
  AddClass("EDIT", EditProcedure);
  AddClass("STATIC", StaticProcedure);
  AddClass("BUTTON", ButtonProcedure);
  AddClass("COMBOBOX", ComboBoxProcedure);
  // Windows 10's defaults for the colours the framework and the built-in classes ask for.
  sys_colors_ = {{COLOR_WINDOW, RGB(0xFF, 0xFF, 0xFF)},    {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
                 {COLOR_HIGHLIGHT, RGB(0x00, 0x78, 0xD7)}, {COLOR_HIGHLIGHTTEXT, RGB(0xFF, 0xFF, 0xFF)},
                 {COLOR_BTNFACE, RGB(0xF0, 0xF0, 0xF0)},   {COLOR_GRAYTEXT, RGB(0x6D, 0x6D, 0x6D)},
                 {COLOR_BTNTEXT, RGB(0, 0, 0)}};
}

// Windows still open at the end go without WM_DESTROY: the platform that their procedures
// would call back into may be uninstalled already.
SimWindows::~SimWindows() = default;

void SimWindows::AddClass(std::string_view name, WNDPROC procedure) {
  classes_.insert_or_assign(format::Upper(name), Class{std::string(name), procedure, false});
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
  for (HWND each : z_order_) {
    if (Find(each)->parent == parent) children.push_back(each);
  }
  return children;
}

bool SimWindows::IsShown(HWND window) const {
  for (const Window* each = Find(window); each; each = (each->style & WS_CHILD) ? Find(each->parent) : nullptr) {
    if (!(each->style & WS_VISIBLE)) return false;
  }
  return Find(window) != nullptr;
}

bool SimWindows::IsEnabled(HWND window) const {
  for (const Window* each = Find(window); each; each = (each->style & WS_CHILD) ? Find(each->parent) : nullptr) {
    if (each->style & WS_DISABLED) return false;
  }
  return Find(window) != nullptr;
}

int SimWindows::MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  core_.Record("MessageBoxA", {Handle(owner), Str(text), Str(caption), Hex(type)});
  if (core_.Failing("MessageBoxA")) return 0;
  if (owner && !Find(owner) && !Foreign(owner)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
  // The program asks only to be acknowledged: one OK button.
  if ((type & 0xF) != MB_OK) throw NotSimulated("MessageBoxA: button set " + Hex(type & 0xF));
  boxes_.push_back({owner, text ? text : "", caption ? caption : "Error", type});
  return IDOK;
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
  window->x = x;
  window->y = y;
  window->width = width;
  window->height = height;
  windows_.emplace(Key(handle), std::move(window));
  // A new child goes below its siblings, so that creation order is tab order; a new
  // top-level window comes out on top.
  if (style & WS_CHILD) {
    z_order_.push_back(handle);
  } else {
    z_order_.insert(z_order_.begin(), handle);
  }

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
      std::erase(z_order_, handle);
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
    std::erase(z_order_, each);
    if (foreground_ == each) foreground_ = ForeignWindow();
    // What was posted to a window dies with it.
    std::erase_if(queue_, [each](const MSG& message) { return message.hwnd == each; });
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
    case GWL_STYLE: return static_cast<LONG>(found->style);
    default: throw NotSimulated("GetWindowLongPtrA: index " + Dec(index));
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
    case GWL_STYLE:
      previous = static_cast<LONG>(found->style);
      found->style = static_cast<DWORD>(value);
      return previous;
    default: throw NotSimulated("SetWindowLongPtrA: index " + Dec(index));
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
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return ControlColor(reinterpret_cast<HDC>(wparam), message);
    default: return 0;
  }
}

// DefWindowProc's colours for a control: window colours for text fields and lists, the face
// of buttons and dialogs for everything else.
LRESULT SimWindows::ControlColor(HDC dc, UINT message) {
  SimGraphics& graphics = Graphics("DefWindowProcA");
  SimGraphics::DeviceContext* context = graphics.FindDc(dc);
  if (!context) return 0;
  const bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
  const int background = field ? COLOR_WINDOW : COLOR_BTNFACE;
  context->text = sys_colors_.at(COLOR_WINDOWTEXT);
  context->back = sys_colors_.at(background);
  return reinterpret_cast<LRESULT>(graphics.SystemBrush(background, sys_colors_.at(background)));
}

SimGraphics& SimWindows::Graphics(const char* call) {
  if (!graphics_) throw NotSimulated(std::string(call) + ": this PC was put together without gdi32 (SimGraphics)");
  return *graphics_;
}

ATOM SimWindows::RegisterClassA(const WNDCLASSA* window_class) {
  if (!window_class) throw AccessViolation("RegisterClassA: the class is null");
  core_.Record("RegisterClassA", {IsAtom(window_class->lpszClassName)
                                      ? Hex(reinterpret_cast<ULONG_PTR>(window_class->lpszClassName))
                                      : Str(window_class->lpszClassName),
                                  Hex(window_class->style), Ptr(reinterpret_cast<const void*>(
                                                                window_class->lpfnWndProc))});
  if (core_.Failing("RegisterClassA")) return 0;
  if (IsAtom(window_class->lpszClassName)) throw NotSimulated("RegisterClassA: a class named by an atom");
  if (!window_class->lpfnWndProc) return core_.Fail(ERROR_INVALID_PARAMETER, ATOM{0});
  const std::string key = format::Upper(window_class->lpszClassName);
  auto found = classes_.find(key);
  // A class of the program's own may take a built-in class's name; a second one may not.
  if (found != classes_.end() && found->second.local) return core_.Fail(ERROR_CLASS_ALREADY_EXISTS, ATOM{0});
  classes_.insert_or_assign(key,
                            Class{window_class->lpszClassName, window_class->lpfnWndProc, true, window_class->hIcon});
  return next_atom_++;
}

HCURSOR SimWindows::LoadCursorA(HINSTANCE instance, LPCSTR name) {
  core_.Record("LoadCursorA", {Handle(instance), IsAtom(name) ? Dec(reinterpret_cast<ULONG_PTR>(name)) : Str(name)});
  if (instance || !IsAtom(name)) throw NotSimulated("LoadCursorA: cursors other than the system's");
  return reinterpret_cast<HCURSOR>(0x00010000 + reinterpret_cast<ULONG_PTR>(name));
}

HICON SimWindows::LoadIconA(HINSTANCE instance, LPCSTR name) {
  core_.Record("LoadIconA", {Handle(instance), IsAtom(name) ? Dec(reinterpret_cast<ULONG_PTR>(name)) : Str(name)});
  if (!instance) {
    if (!IsAtom(name)) throw NotSimulated("LoadIconA: a system icon by name");
    return reinterpret_cast<HICON>(0x00020000 + reinterpret_cast<ULONG_PTR>(name));
  }
  if (instance != SimModules::ExeModule()) throw NotSimulated("LoadIconA: icons of another module");
  if (!resources_ || !resources_->Has(RT_GROUP_ICON, name)) return core_.Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HICON{nullptr});
  // One handle per icon, as LoadIcon shares the icons it loads from a module.
  const auto [found, added] = icons_.try_emplace(IsAtom(name) ? "#" + Dec(reinterpret_cast<ULONG_PTR>(name))
                                                              : format::Upper(name),
                                                 reinterpret_cast<HICON>(0x00030010 + 0x10 * icons_.size()));
  return found->second;
}

HICON SimWindows::ClassIcon(std::string_view name) const {
  auto found = classes_.find(format::Upper(std::string(name)));
  return found != classes_.end() && found->second.local ? found->second.icon : nullptr;
}

BOOL SimWindows::PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  core_.Record("PostMessageA", WithWindow(window, MessageArguments(message, wparam, lparam)));
  if (core_.Failing("PostMessageA")) return FALSE;
  if (Foreign(window)) return TRUE;  // into another program's queue
  if (window && !Find(window)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  queue_.push_back(MSG{window, message, wparam, lparam, static_cast<DWORD>(core_.clock.Now()), {0, 0}});
  return TRUE;
}

bool SimWindows::TakeMessage(MSG* message, HWND window, UINT first, UINT last, bool remove) {
  if (!message) throw AccessViolation("the MSG to fill is null");
  const bool any_message = first == 0 && last == 0;
  const HWND thread_only = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
  for (auto it = queue_.begin(); it != queue_.end(); ++it) {
    if (window == thread_only ? it->hwnd != nullptr : (window && it->hwnd != window)) continue;
    if (!any_message && (it->message < first || it->message > last)) continue;
    *message = *it;
    if (remove) queue_.erase(it);
    return true;
  }
  // The quit comes once nothing else is waiting, whatever the filter.
  if (!quit_posted_) return false;
  *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exit_code_), 0, static_cast<DWORD>(core_.clock.Now()), {0, 0}};
  if (remove) quit_posted_ = false;
  return true;
}

BOOL SimWindows::GetMessageA(LPMSG message, HWND window, UINT first, UINT last) {
  core_.Record("GetMessageA", {Ptr(message), Handle(window), Hex(first), Hex(last)});
  if (window && window != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) && !Find(window)) {
    return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, BOOL{-1});
  }
  if (!TakeMessage(message, window, first, last, true)) {
    throw NotSimulated("GetMessageA: the queue is empty and no quit is due; the program would wait forever");
  }
  return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL SimWindows::PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  core_.Record("PeekMessageA", {Ptr(message), Handle(window), Hex(first), Hex(last), Hex(remove)});
  return TakeMessage(message, window, first, last, remove & PM_REMOVE) ? TRUE : FALSE;
}

BOOL SimWindows::TranslateMessage(const MSG* message) {
  if (!message) throw AccessViolation("TranslateMessage: the MSG is null");
  core_.Record("TranslateMessage", WithWindow(message->hwnd, MessageArguments(message->message, message->wParam,
                                                                              message->lParam)));
  if (message->message == WM_KEYUP) return TRUE;
  if (message->message != WM_KEYDOWN) return FALSE;
  const WPARAM key = message->wParam;
  char typed = 0;
  if (key >= 'A' && key <= 'Z') {
    typed = static_cast<char>(key - 'A' + 'a');
  } else if ((key >= '0' && key <= '9') || key == ' ') {
    typed = static_cast<char>(key);
  } else if (key == 0x0D || key == 0x08 || key == 0x09 || key == 0x1B) {  // Enter, Backspace, Tab, Escape
    typed = static_cast<char>(key);
  }
  if (typed) {
    queue_.push_back(MSG{message->hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(typed)),
                         message->lParam, message->time, message->pt});
  }
  return TRUE;
}

BOOL SimWindows::IsDialogMessageA(HWND dialog, LPMSG message) {
  core_.Record("IsDialogMessageA", {Handle(dialog), Ptr(message)});
  return FALSE;
}

HWND SimWindows::GetAncestor(HWND window, UINT flags) {
  core_.Record("GetAncestor", {Handle(window), Dec(static_cast<int>(flags))});
  const Window* found = Find(window);
  if (!found || (flags != GA_PARENT && flags != GA_ROOT)) return nullptr;
  if (flags == GA_PARENT) return (found->style & WS_CHILD) ? found->parent : nullptr;
  while (found->style & WS_CHILD) {
    window = found->parent;
    found = Find(window);
    if (!found) return nullptr;
  }
  return window;
}

LRESULT SimWindows::DispatchMessageA(const MSG* message) {
  if (!message) throw AccessViolation("DispatchMessageA: the MSG is null");
  core_.Record("DispatchMessageA", WithWindow(message->hwnd, MessageArguments(message->message, message->wParam,
                                                                              message->lParam)));
  if (!message->hwnd || Foreign(message->hwnd)) return 0;
  if (!Find(message->hwnd)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
  return Deliver(message->hwnd, message->message, message->wParam, message->lParam);
}

void SimWindows::PostQuitMessage(int exit_code) {
  core_.Record("PostQuitMessage", {Dec(exit_code)});
  quit_posted_ = true;
  exit_code_ = exit_code;
}

BOOL SimWindows::ShowWindow(HWND window, int command) {
  core_.Record("ShowWindow", {Handle(window), Dec(command)});
  Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  const bool was_visible = found->style & WS_VISIBLE;
  bool show;
  switch (command) {
    case SW_HIDE: show = false; break;
    case SW_SHOWNORMAL:
    case SW_SHOW: show = true; break;
    default: throw NotSimulated("ShowWindow: command " + Dec(command));
  }
  if (show != was_visible) {
    Deliver(window, WM_SHOWWINDOW, show, 0);
    if (!(found = Find(window))) return was_visible;
    found->style = show ? (found->style | WS_VISIBLE) : (found->style & ~WS_VISIBLE);
  }
  // Showing a top-level window activates it; hiding the active one hands the focus back.
  if (!(found->style & WS_CHILD)) {
    if (show) {
      foreground_ = window;
    } else if (foreground_ == window) {
      foreground_ = ForeignWindow();
    }
  }
  return was_visible;
}

BOOL SimWindows::EnableWindow(HWND window, BOOL enable) {
  core_.Record("EnableWindow", {Handle(window), format::Bool(enable)});
  Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  const bool was_disabled = found->style & WS_DISABLED;
  if (was_disabled == !enable) return was_disabled;
  found->style = enable ? (found->style & ~WS_DISABLED) : (found->style | WS_DISABLED);
  Deliver(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return was_disabled;
}

BOOL SimWindows::SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags) {
  core_.Record("SetWindowPos",
               {Handle(window), Handle(insert_after), Dec(x), Dec(y), Dec(width), Dec(height), Hex(flags)});
  Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  if (!(flags & SWP_NOZORDER)) {
    const bool top = insert_after == HWND_TOP, bottom = insert_after == HWND_BOTTOM;
    if (!top && !bottom && (!Find(insert_after) || Find(insert_after)->parent != found->parent)) {
      return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (insert_after != window) {
      std::erase(z_order_, window);
      if (top) {
        z_order_.insert(z_order_.begin(), window);
      } else if (bottom) {
        z_order_.push_back(window);
      } else {
        z_order_.insert(std::find(z_order_.begin(), z_order_.end(), insert_after) + 1, window);
      }
    }
  }
  if (!(flags & SWP_NOMOVE)) {
    found->x = x;
    found->y = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    found->width = width;
    found->height = height;
  }
  return TRUE;
}

BOOL SimWindows::GetClientRect(HWND window, LPRECT rect) {
  core_.Record("GetClientRect", {Handle(window), Ptr(rect)});
  const Window* found = Find(window);
  if (!found) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  if (!rect) return core_.Fail(ERROR_NOACCESS, FALSE);
  *rect = RECT{0, 0, found->width, found->height};
  return TRUE;
}

BOOL SimWindows::InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  core_.Record("InvalidateRect", {Handle(window), Ptr(rect), format::Bool(erase)});
  // Nothing is drawn here; a null window means all of them, as on Windows.
  if (window && !Find(window)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  return TRUE;
}

int SimWindows::GetSystemMetrics(int index) {
  core_.Record("GetSystemMetrics", {Dec(index)});
  switch (index) {
    case SM_CXSCREEN: return kScreenWidth;
    case SM_CYSCREEN: return kScreenHeight;
    default: throw NotSimulated("GetSystemMetrics: index " + Dec(index));
  }
}

HDC SimWindows::GetDC(HWND window) {
  core_.Record("GetDC", {Handle(window)});
  SimGraphics& graphics = Graphics("GetDC");
  if (core_.Failing("GetDC")) return nullptr;
  if (window && !Find(window)) return core_.Fail(ERROR_INVALID_WINDOW_HANDLE, HDC{nullptr});
  return graphics.OpenDc(window);
}

int SimWindows::ReleaseDC(HWND window, HDC dc) {
  core_.Record("ReleaseDC", {Handle(window), Handle(dc)});
  return Graphics("ReleaseDC").CloseDc(window, dc) ? 1 : 0;
}

int SimWindows::FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  core_.Record("FillRect", {Handle(dc), Ptr(rect), Handle(brush)});
  SimGraphics& graphics = Graphics("FillRect");
  if (!rect) throw AccessViolation("FillRect: the rectangle is null");
  return graphics.FindDc(dc) && graphics.IsBrush(brush) ? 1 : 0;
}

DWORD SimWindows::GetSysColor(int index) {
  core_.Record("GetSysColor", {Dec(index)});
  auto found = sys_colors_.find(index);
  if (found == sys_colors_.end()) throw NotSimulated("GetSysColor: colour " + Dec(index));
  return found->second;
}

HBRUSH SimWindows::GetSysColorBrush(int index) {
  core_.Record("GetSysColorBrush", {Dec(index)});
  auto found = sys_colors_.find(index);
  if (found == sys_colors_.end()) throw NotSimulated("GetSysColorBrush: colour " + Dec(index));
  return Graphics("GetSysColorBrush").SystemBrush(index, found->second);
}

void SimWindows::Click(HWND window) {
  if (!IsShown(window) || !IsEnabled(window)) return;
  constexpr WPARAM kLeftButton = 0x0001;  // MK_LBUTTON
  Deliver(window, WM_LBUTTONDOWN, kLeftButton, 0);
  if (Find(window)) Deliver(window, WM_LBUTTONUP, 0, 0);
}

void SimWindows::Choose(HWND combo, int index) {
  Window* found = Find(combo);
  if (!found || !format::SameName(found->class_name, "COMBOBOX")) {
    throw std::invalid_argument("sim: " + Handle(combo) + " is not a combo box");
  }
  if (!IsShown(combo) || !IsEnabled(combo)) return;
  ChooseComboItem(combo, index);
}

SimWindows::Painted SimWindows::Paint(HWND control) {
  const Window* found = Find(control);
  if (!found) throw std::invalid_argument("sim: " + Handle(control) + " is not a window");
  if (!(found->style & WS_CHILD)) throw NotSimulated("Paint: a top-level window asks nobody for its colours");
  UINT message;
  if (format::SameName(found->class_name, "BUTTON")) {
    const DWORD type = found->style & BS_TYPEMASK;
    message = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
  } else if (format::SameName(found->class_name, "STATIC")) {
    message = WM_CTLCOLORSTATIC;
  } else if (format::SameName(found->class_name, "EDIT")) {
    message = (found->style & ES_READONLY) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
  } else if (format::SameName(found->class_name, "COMBOBOX")) {
    message = (found->style & 0x3) == CBS_DROPDOWNLIST ? WM_CTLCOLORLISTBOX : WM_CTLCOLOREDIT;
  } else {
    throw NotSimulated("Paint: the colours of class " + found->class_name);
  }
  SimGraphics& graphics = Graphics("Paint");
  const HWND parent = found->parent;
  const HFONT font = found->font;
  HDC dc = graphics.OpenDc(control);
  const auto brush =
      reinterpret_cast<HBRUSH>(SendMessageA(parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
  const SimGraphics::DeviceContext context = *graphics.FindDc(dc);
  graphics.CloseDc(control, dc);
  return Painted{context.text, context.back, brush, font};
}

}  // namespace sim

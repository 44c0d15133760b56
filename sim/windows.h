// user32 on the simulated PC: message boxes, the foreground window, and a headless window
// manager with Windows' built-in control classes, window classes of the program's own, and
// the thread's message queue.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/window.h"

namespace sim {

class SimGraphics;
class SimResources;

class SimWindows final : public platform::Windows {
 public:
  /// A message box that was shown, as the code under test asked for it.
  struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
  };

  /// What a control draws its text with, as its parent's WM_CTLCOLOR* answer left the device
  /// context: the colours, the brush returned, and the control's font.
  struct Painted {
    COLORREF text;
    COLORREF back;
    HBRUSH brush;
    HFONT font;
  };

  /// The window manager of the installed platform. Throws NotSimulated when the installed
  /// platform is not the simulated PC.
  static SimWindows& Current();
  /// Another program's window: the foreground window until a test says otherwise.
  static HWND ForeignWindow() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x000F0010)); }

  explicit SimWindows(Core& core);
  ~SimWindows() override;

  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override;
  HWND GetForegroundWindow() override;
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                       int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) override;
  BOOL DestroyWindow(HWND window) override;
  BOOL IsWindow(HWND window) override;
  LONG_PTR GetWindowLongPtrA(HWND window, int index) override;
  LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) override;
  LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  ATOM RegisterClassA(const WNDCLASSA* window_class) override;
  HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) override;
  /// The program's own icons are its RT_GROUP_ICON resources; the system's are numbered.
  HICON LoadIconA(HINSTANCE instance, LPCSTR name) override;
  BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  /// With nothing queued and no quit due, Windows would wait for input that on this PC never
  /// comes: throws NotSimulated instead of hanging the test.
  BOOL GetMessageA(LPMSG message, HWND window, UINT first, UINT last) override;
  BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) override;
  /// Key-downs of letters, digits, space, Enter, Backspace, Tab and Escape become the
  /// unshifted character; the keyboard's shift state is not modelled.
  BOOL TranslateMessage(const MSG* message) override;
  LRESULT DispatchMessageA(const MSG* message) override;
  /// Keyboard navigation is not modelled: every message goes on to DispatchMessageA.
  BOOL IsDialogMessageA(HWND dialog, LPMSG message) override;
  HWND GetAncestor(HWND window, UINT flags) override;
  void PostQuitMessage(int exit_code) override;
  BOOL ShowWindow(HWND window, int command) override;
  BOOL EnableWindow(HWND window, BOOL enable) override;
  /// Moves, sizes and orders among siblings; sends no WM_WINDOWPOS* messages.
  BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags) override;
  BOOL GetClientRect(HWND window, LPRECT rect) override;
  BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) override;
  int GetSystemMetrics(int index) override;
  HDC GetDC(HWND window) override;
  int ReleaseDC(HWND window, HDC dc) override;
  int FillRect(HDC dc, const RECT* rect, HBRUSH brush) override;
  DWORD GetSysColor(int index) override;
  HBRUSH GetSysColorBrush(int index) override;

  /// Message boxes shown so far, oldest first.
  const std::vector<Box>& Boxes() const { return boxes_; }


  /// Adds a built-in window class; `procedure` is a plain WNDPROC, as for RegisterClassA.
  void AddClass(std::string_view name, WNDPROC procedure);

  Window* Find(HWND window);
  const Window* Find(HWND window) const;
  /// The text a window holds. Throws std::invalid_argument when `window` is none.
  std::string TextOf(HWND window) const;
  std::size_t WindowCount() const { return windows_.size(); }
  /// A window's children, top of the Z order (first in tab order) first.
  std::vector<HWND> ChildrenOf(HWND parent) const;
  /// The window and all its ancestors are visible / none of them is disabled.
  bool IsShown(HWND window) const;
  bool IsEnabled(HWND window) const;

  // The user. Input is delivered at once, as DispatchMessageA would hand it over.
  /// A left click on the window; a hidden or disabled window gets nothing.
  void Click(HWND window);
  /// The user opens a combo box's list and picks entry `index`.
  void Choose(HWND combo, int index);
  /// Asks the parent of a control for its colours the way the control does when it paints.
  /// Throws NotSimulated for a class whose painting is not modelled.
  Painted Paint(HWND control);

  // The thread's message queue.
  std::size_t Queued() const { return queue_.size(); }
  bool QuitPosted() const { return quit_posted_; }

  /// gdi32's piece of this PC, which device contexts and brushes come from. Called by
  /// SimGraphics itself.
  void Attach(SimGraphics* graphics) { graphics_ = graphics; }
  /// The program's image, which its icons come from. Called by the PC.
  void AttachImage(const SimResources* resources) { resources_ = resources; }

  /// The icon a class of the program's own was registered with; null for none, or for a
  /// class that is not registered.
  HICON ClassIcon(std::string_view name) const;

  /// DefWindowProcA's work, for the built-in class procedures (not journalled).
  LRESULT DefaultProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static ULONG_PTR Key(HWND window) { return reinterpret_cast<ULONG_PTR>(window); }
  bool Foreign(HWND window) const { return window && window == ForeignWindow(); }
  LRESULT Deliver(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Collect(HWND window, std::vector<HWND>& top_down, std::vector<HWND>& bottom_up) const;
  void Destroy(HWND window);
  SimGraphics& Graphics(const char* call);
  bool TakeMessage(MSG* message, HWND window, UINT first, UINT last, bool remove);
  LRESULT ControlColor(HDC dc, UINT message);

  Core& core_;
  struct Class {
    std::string name;  // as registered
    WNDPROC procedure;
    bool local;  // registered by the program, not built in
    HICON icon = nullptr;
  };
  std::map<std::string, Class> classes_;                  // by upper-case name
  std::map<ULONG_PTR, std::unique_ptr<Window>> windows_;  // in order of creation
  std::vector<HWND> z_order_;                             // top first
  ULONG_PTR next_window_ = 0x00100010;
  ATOM next_atom_ = 0xC000;
  HWND foreground_ = ForeignWindow();
  std::vector<Box> boxes_;
  std::deque<MSG> queue_;
  bool quit_posted_ = false;
  int exit_code_ = 0;
  static constexpr int kScreenWidth = 1024, kScreenHeight = 768;
  std::map<int, COLORREF> sys_colors_;
  SimGraphics* graphics_ = nullptr;
  const SimResources* resources_ = nullptr;
  std::map<std::string, HICON> icons_;  // the program's icons loaded so far, by name
};

}  // namespace sim

// user32 on the simulated PC: message boxes, the foreground window, and a headless window
// manager with Windows' built-in control classes.
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

class SimWindows final : public platform::Windows {
 public:
  /// A message box that was shown, as the code under test asked for it.
  struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
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

  /// Message boxes shown so far, oldest first.
  const std::vector<Box>& Boxes() const { return boxes_; }
  /// The button the user presses on the next box not yet answered; unanswered boxes get
  /// their default button, as if the user pressed Enter. Throws std::invalid_argument when
  /// the box has no such button.
  void AnswerNext(int answer) { answers_.push_back(answer); }

  void SetForeground(HWND window) { foreground_ = window; }

  /// Adds a window class; `procedure` is a plain WNDPROC, as for RegisterClassA.
  void AddClass(std::string_view name, WNDPROC procedure);

  Window* Find(HWND window);
  const Window* Find(HWND window) const;
  /// The text a window holds. Throws std::invalid_argument when `window` is none.
  std::string TextOf(HWND window) const;
  std::size_t WindowCount() const { return windows_.size(); }
  std::vector<HWND> ChildrenOf(HWND parent) const;

  /// DefWindowProcA's work, for the built-in class procedures (not journalled).
  LRESULT DefaultProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static ULONG_PTR Key(HWND window) { return reinterpret_cast<ULONG_PTR>(window); }
  bool Foreign(HWND window) const { return window && window == ForeignWindow(); }
  LRESULT Deliver(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Collect(HWND window, std::vector<HWND>& top_down, std::vector<HWND>& bottom_up) const;
  void Destroy(HWND window);
  int Answer(UINT type);

  Core& core_;
  struct Class {
    std::string name;  // as registered
    WNDPROC procedure;
  };
  std::map<std::string, Class> classes_;                  // by upper-case name
  std::map<ULONG_PTR, std::unique_ptr<Window>> windows_;  // in order of creation
  ULONG_PTR next_window_ = 0x00100010;
  HWND foreground_ = ForeignWindow();
  std::vector<Box> boxes_;
  std::deque<int> answers_;
};

}  // namespace sim

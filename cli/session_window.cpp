#include "cli/session_window.h"

#include <future>

#include "cli/stop_request.h"

namespace cli {

namespace {

constexpr char kClassName[] = "PinscopeCliSession";

LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;  // the port closes at the end itself; nothing to refuse the end for
    case WM_ENDSESSION:
      // FALSE: the end was called off, and the command goes on.
      if (wparam) StopRequest::StopAndWait();
      return 0;
    case WM_DESTROY:
      win::PostQuitMessage(0);
      return 0;
    default:
      return win::DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

HWND CreateSessionWindow() {
  const HINSTANCE instance = win::GetModuleHandleA(nullptr);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = &SessionWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kClassName;
  // A second registration (the class outlives an earlier window) fails and changes nothing.
  win::RegisterClassA(&window_class);
  // Top-level, never shown: a message-only window would not be asked about the session's end.
  return win::CreateWindowExA(0, kClassName, "pinscope-cli", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                              nullptr);
}

SessionWindow::SessionWindow() {
  std::promise<HWND> made;
  std::future<HWND> window = made.get_future();
  thread_ = std::thread([made = std::move(made)]() mutable {
    const HWND window = CreateSessionWindow();
    made.set_value(window);
    if (!window) return;
    MSG message;
    while (win::GetMessageA(&message, nullptr, 0, 0) > 0) {
      win::TranslateMessage(&message);
      win::DispatchMessageA(&message);
    }
  });
  window_ = window.get();
}

SessionWindow::~SessionWindow() {
  if (window_) win::PostMessageA(window_, WM_CLOSE, 0, 0);
  thread_.join();
}

}  // namespace cli

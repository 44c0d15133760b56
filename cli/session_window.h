// The end of the session for pinscope-cli. A console program that loads user32 (ours does)
// gets no log-off or shut-down console event; Windows sends WM_QUERYENDSESSION and
// WM_ENDSESSION to its top-level windows instead. So a hidden one stands ready on a thread of
// its own, with its own message loop, and on WM_ENDSESSION stops the running command and
// holds the end back until the port is closed (StopRequest::StopAndWait).
#pragma once

#include <thread>

#include "platform/win32.h"

namespace cli {

class SessionWindow {
 public:
  /// Returns once the window exists, or could not be made (the program then runs without it).
  SessionWindow();
  /// Closes the window and ends its thread.
  ~SessionWindow();
  SessionWindow(const SessionWindow&) = delete;
  SessionWindow& operator=(const SessionWindow&) = delete;

 private:
  std::thread thread_;
  HWND window_ = nullptr;
};

/// Registers the window's class once and makes the hidden window on the calling thread; null
/// when it cannot be made.
HWND CreateSessionWindow();

}  // namespace cli

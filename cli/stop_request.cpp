#include "cli/stop_request.h"

#include <atomic>

#include "platform/win32.h"

namespace cli {

namespace {

// The console calls its handler with nothing but the event, on a thread of its own: the one
// flag it may set has to be reachable without a context.
std::atomic<bool>& StopFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing or log-off: the default
  StopFlag().store(true);
  return TRUE;
}

}  // namespace

StopRequest::StopRequest() {
  StopFlag().store(false);
  win::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() { win::SetConsoleCtrlHandler(&OnConsoleControl, FALSE); }

bool StopRequest::Requested() const { return StopFlag().load(); }

}  // namespace cli

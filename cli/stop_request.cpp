#include "cli/stop_request.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/win32.h"

namespace cli {

namespace {

// The console calls its handler with nothing but the event, on a thread of its own, and the
// end-session window runs on another: what they share has to be reachable without a context.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool done = true;  // no command runs: nothing to wait for
};

Shared& State() {
  static Shared shared;
  return shared;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: {
      const std::lock_guard lock(State().mutex);
      State().stop = true;
      return TRUE;
    }
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The process ends when this returns, whatever it returns: hold that back until the port is closed.
      StopRequest::StopAndWait();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

StopRequest::StopRequest() {
  {
    const std::lock_guard lock(State().mutex);
    State().stop = false;
    State().done = false;
  }
  win::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
  Done();
  win::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
}

bool StopRequest::Requested() const {
  const std::lock_guard lock(State().mutex);
  return State().stop;
}

void StopRequest::Done() {
  {
    const std::lock_guard lock(State().mutex);
    State().done = true;
  }
  State().changed.notify_all();
}

bool StopRequest::StopAndWait(uint32_t wait_ms) {
  std::unique_lock lock(State().mutex);
  State().stop = true;
  return State().changed.wait_for(lock, std::chrono::milliseconds(wait_ms), [] { return State().done; });
}

}  // namespace cli

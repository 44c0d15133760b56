// Ctrl+C and Ctrl+Break while pinscope-cli runs: instead of ending the process on the spot,
// which would leave the driver service behind, they ask the running command to stop; it
// closes the port (and so removes the service) and the program ends with exit code 130.
// Closing the console window, logging off and shutting down give the program about 5 s after
// their handler returns: the handler asks the command to stop and holds the end back until
// the port is closed, for at most kEndWaitMs.
#pragma once

#include <cstdint>

namespace cli {

/// How long a close, log-off or shut-down waits for the port to close: under the 5 s after
/// which Windows ends the process anyway.
inline constexpr uint32_t kEndWaitMs = 4000;

/// While one exists, Ctrl+C, Ctrl+Break and the console's close, log-off and shut-down events
/// are caught. One at a time.
class StopRequest {
 public:
  StopRequest();
  /// Done, then the handler goes.
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  /// Whether a stop was asked for since this object was made.
  bool Requested() const;
  /// The port is closed: an end of the session or a closing console may go on.
  void Done();

  /// Asks the running command to stop and waits until it is Done, for at most `wait_ms`.
  /// False when the wait ran out. Returns at once while no StopRequest exists.
  static bool StopAndWait(uint32_t wait_ms = kEndWaitMs);
};

}  // namespace cli

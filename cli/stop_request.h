// Ctrl+C and Ctrl+Break while pinscope-cli runs: instead of ending the process on the spot,
// which would leave the driver service behind, they ask the running command to stop; it
// closes the port (and so removes the service) and the program ends with exit code 130.
#pragma once

namespace cli {

/// While one exists, Ctrl+C and Ctrl+Break are caught. One at a time.
class StopRequest {
 public:
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  /// Whether Ctrl+C or Ctrl+Break came since this object was made.
  bool Requested() const;
};

}  // namespace cli

// The commands that work on an open port. Each returns the program's exit code.
#pragma once

#include <ostream>

#include "cli/arguments.h"
#include "cli/stop_request.h"
#include "lib/vllpt.h"

namespace cli {

class InputFile;
class OutputFile;

struct Console {
  std::ostream& out;
  std::ostream& err;
  const StopRequest& stop;
  InputFile* file = nullptr;  // write --file: what to send, open and checked
  OutputFile* vcd = nullptr;  // capture --vcd and --svg: made, to be filled
  OutputFile* svg = nullptr;
};

/// Runs read, set, data, write, watch or selftest on `lpt`, which is open.
int RunPortCommand(TvlLPT& lpt, const Invocation& invocation, const Console& console);

/// A watch's time stamp: "1.250 s".
std::string Stamp(DWORD elapsed_ms);
/// Sleeps `interval_ms`, looking for Ctrl+C at least every 50 ms; false when it came.
bool PauseUnlessStopped(uint32_t interval_ms, const Console& console);

/// Whether the port `lpt` held went away while open (its card removed or disabled): the driver
/// refuses its registers since, and what a command read of them is 0, not the lines.
inline bool PortRemoved(TvlLPT& lpt) { return lpt.GetDirectMode() && lpt.Driver().PortRemoved(); }

}  // namespace cli

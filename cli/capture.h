// pinscope-cli capture: the pins over time. The driver samples the registers in its own loop,
// a request of a few milliseconds after another; the answers are stitched into one recording,
// cut to the time asked for around the trigger, and written as a waveform file, a picture and
// a table.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/recording.h"
#include "lib/vllpt.h"

namespace cli {

/// The share of --duration that a triggered capture keeps from before the trigger.
inline constexpr uint64_t kPretriggerShare = 10;  // a tenth
/// The most changes a capture keeps; one that reaches it ends there and says so.
inline constexpr std::size_t kMaxChanges = std::size_t{1} << 24;

struct CaptureResult {
  Recording recording;
  bool trigger_timed_out = false;  // the trigger's condition was not met within --timeout
  bool full = false;               // ended at kMaxChanges
};

/// Records the pins `options` names from `lpt`, open in direct mode, until the duration or the
/// number of reads is reached, the trigger times out, or Ctrl+C. Progress goes to
/// `console.err` for captures longer than a second. Throws std::runtime_error when the driver
/// refuses a request, with the system's reason.
CaptureResult RecordPins(TvlLPT& lpt, const CaptureOptions& options, const Console& console);

/// Runs the capture command: records, then writes the files and the table. The exit code.
int Capture(TvlLPT& lpt, const Invocation& invocation, const Console& console);

}  // namespace cli

// A capture as a Value Change Dump (IEEE 1364), the file waveform viewers and logic-analyzer
// tools open: one 1-bit variable per captured pin, one more for the spans without samples.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>

#include "cli/recording.h"

namespace cli {

struct VcdHeader {
  std::string_view version;  // the program's version
  std::string_view port;     // "LPT1": the scope's name
  std::string_view date;     // empty: no $date
};

/// The dump's time step in nanoseconds: the largest power of ten from 100 ns to 1 s that is
/// not longer than one tick of a counter of `frequency` (> 0) ticks per second, or 100 ns.
/// Finer steps only slow the readers down (sigrok takes ten times as long at 10 ns as at
/// 100 ns) without showing anything a port read every microsecond or so could tell.
int64_t VcdStepNanoseconds(int64_t frequency);

/// `ticks` (>= 0) of a counter of `frequency` ticks per second in steps of `step_ns`
/// nanoseconds, rounded to the nearest step exactly, for any capture length.
int64_t TicksToSteps(int64_t ticks, int64_t frequency, int64_t step_ns);

/// Changes that fall on the same step are written as one, with the levels after the last of
/// them, so that the times only ever grow; a pulse shorter than the step then disappears,
/// which the chosen step allows only for counters faster than 10 MHz.
void WriteVcd(std::ostream& out, const Recording& recording, const VcdHeader& header);

}  // namespace cli

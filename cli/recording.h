// What a capture recorded: the captured pins' levels over time, as changes only, with the spans
// in which nothing was read. The sampler stitches it from the driver's answers; the waveform
// file, the picture and the timing table are all made from it and from nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace cli {

/// Connector levels travel as one mask with bit N for pin N (VPORT_PIN), 1 for high.
using PinLevels = uint32_t;

/// The pins' levels from `at` on, until the next change.
struct LevelChange {
  int64_t at;         // counter ticks from the start of the recording
  PinLevels levels;   // every captured pin; differs from the change before in at least one
};

/// No read was made in (begin, end): the lines are unknown there. A change seen at `end` may
/// have happened anywhere in it.
struct SamplingGap {
  int64_t begin;
  int64_t end;
};

/// value * numerator / denominator, rounded down, for value >= 0 and a product of numerator and
/// denominator that fits 63 bits: without a 128-bit type, which the 32-bit compiler lacks.
constexpr int64_t MulDiv(int64_t value, int64_t numerator, int64_t denominator) {
  return value / denominator * numerator + value % denominator * numerator / denominator;
}

struct Recording {
  int64_t frequency = 0;  // counter ticks per second
  int64_t end = 0;        // ticks from the start (the first read, 0) to the last read
  PinLevels pins = 0;     // which pins were captured
  PinLevels initial = 0;  // their levels at the first read
  std::vector<LevelChange> changes;  // in time order, all within (0, end]
  std::vector<SamplingGap> gaps;     // in time order, not overlapping, within [0, end]
  std::optional<int64_t> trigger;    // when the trigger condition was met
  uint64_t reads = 0;                // register read rounds in all
  bool stopped = false;              // ended early by Ctrl+C

  /// The levels at `at`: those of the last change at or before it.
  PinLevels LevelsAt(int64_t at) const;
  /// Ticks in gaps, all told.
  int64_t GapTicks() const;
};

}  // namespace cli

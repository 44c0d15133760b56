// The capture's table: per captured pin its edges, its shortest and longest high and low
// times, and where it toggles regularly its frequency and duty cycle; with the time lost in
// gaps. Only pulses seen whole count: one cut off by the start, the end or a gap says nothing
// about its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/recording.h"

namespace cli {

/// What "regular" means for the table's frequency and duty cycle, for the help text.
inline constexpr const char* kRegularMeaning =
    "Frequency and duty cycle are given where a line toggles regularly: at least two complete "
    "periods (rising edge to rising edge, with no gap inside), each within 10% of their median. "
    "Frequency = 1 / the mean period; duty cycle = the mean high time / the mean period.";

struct PinTiming {
  unsigned pin = 0;
  uint64_t rising = 0;
  uint64_t falling = 0;
  // In counter ticks, of pulses bounded by an edge on both sides with no gap in between.
  std::optional<int64_t> shortest_high, longest_high, shortest_low, longest_low;
  std::optional<double> frequency;  // hertz, where regular
  std::optional<double> duty;       // the share of a period spent high, 0 to 1, where regular
};

struct TimingTable {
  int64_t frequency = 0;  // the counter's ticks per second
  int64_t end = 0;
  int64_t gap_ticks = 0;
  std::size_t gaps = 0;
  std::optional<int64_t> trigger;
  std::vector<PinTiming> pins;  // in pin order
};

TimingTable MeasurePinTiming(const Recording& recording);

/// An aligned table for people, or one JSON object with times in seconds and null where
/// there is nothing to give.
void PrintPinTiming(std::ostream& out, const TimingTable& table, bool json);

}  // namespace cli

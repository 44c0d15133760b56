#include "cli/pin_timing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/duration_text.h"
#include "cli/report.h"
#include "connector/pins.h"

namespace cli {
namespace {

struct Edge {
  int64_t at;
  bool rising;
};

// Whether the span from one edge to the next holds a gap. An edge seen where a gap ends may
// have happened anywhere in it, so a span that starts there is unsure too.
bool CrossesGap(const std::vector<SamplingGap>& gaps, int64_t from, int64_t to) {
  const auto gap = std::lower_bound(gaps.begin(), gaps.end(), from,
                                    [](const SamplingGap& g, int64_t at) { return g.end < at; });
  return gap != gaps.end() && gap->begin < to;
}

void Keep(std::optional<int64_t>& shortest, std::optional<int64_t>& longest, int64_t length) {
  shortest = std::min(shortest.value_or(length), length);
  longest = std::max(longest.value_or(length), length);
}

bool Regular(std::vector<int64_t> periods) {
  if (periods.size() < 2) return false;
  std::sort(periods.begin(), periods.end());
  const std::size_t half = periods.size() / 2;
  const double median = periods.size() % 2 ? static_cast<double>(periods[half])
                                           : (static_cast<double>(periods[half - 1]) + static_cast<double>(periods[half])) / 2;
  return static_cast<double>(periods.back()) - median <= 0.1 * median &&
         median - static_cast<double>(periods.front()) <= 0.1 * median;
}

PinTiming Measure(const Recording& recording, unsigned pin) {
  const PinLevels bit = VPORT_PIN(pin);
  PinTiming timing;
  timing.pin = pin;
  std::vector<Edge> edges;
  bool level = (recording.initial & bit) != 0;
  for (const LevelChange& change : recording.changes) {
    const bool now = (change.levels & bit) != 0;
    if (now == level) continue;
    edges.push_back({change.at, now});
    ++(now ? timing.rising : timing.falling);
    level = now;
  }
  for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
    if (CrossesGap(recording.gaps, edges[k].at, edges[k + 1].at)) continue;
    const int64_t length = edges[k + 1].at - edges[k].at;
    if (edges[k].rising)
      Keep(timing.shortest_high, timing.longest_high, length);
    else
      Keep(timing.shortest_low, timing.longest_low, length);
  }
  // Periods from rising edge to rising edge; the falling edge between them ends the high time.
  std::vector<int64_t> periods;
  int64_t period_ticks = 0, high_ticks = 0;
  for (std::size_t k = 0; k + 2 < edges.size(); ++k) {
    if (!edges[k].rising || CrossesGap(recording.gaps, edges[k].at, edges[k + 2].at)) continue;
    periods.push_back(edges[k + 2].at - edges[k].at);
    period_ticks += periods.back();
    high_ticks += edges[k + 1].at - edges[k].at;
  }
  if (Regular(periods)) {
    const double mean = static_cast<double>(period_ticks) / static_cast<double>(periods.size());
    timing.frequency = static_cast<double>(recording.frequency) / mean;
    timing.duty = static_cast<double>(high_ticks) / static_cast<double>(period_ticks);
  }
  return timing;
}

std::string JsonNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

}  // namespace

TimingTable MeasurePinTiming(const Recording& recording) {
  TimingTable table;
  table.frequency = recording.frequency;
  table.end = recording.end;
  table.gap_ticks = recording.GapTicks();
  table.gaps = recording.gaps.size();
  table.trigger = recording.trigger;
  for (const vport_signal& signal : connector::kSignals)
    if (recording.pins & VPORT_PIN(signal.pin)) table.pins.push_back(Measure(recording, signal.pin));
  return table;
}

void PrintPinTiming(std::ostream& out, const TimingTable& table, bool json) {
  const double frequency = static_cast<double>(std::max<int64_t>(table.frequency, 1));
  const auto seconds = [&](int64_t ticks) { return static_cast<double>(ticks) / frequency; };
  const double share = table.end > 0 ? static_cast<double>(table.gap_ticks) / static_cast<double>(table.end) : 0;
  if (json) {
    const auto time = [&](const std::optional<int64_t>& ticks) {
      return ticks ? JsonNumber(seconds(*ticks)) : std::string("null");
    };
    const auto number = [](const std::optional<double>& value) { return value ? JsonNumber(*value) : std::string("null"); };
    out << "{\"duration\": " << JsonNumber(seconds(table.end)) << ", \"trigger\": " << time(table.trigger)
        << ", \"gaps\": " << table.gaps << ", \"gap_time\": " << JsonNumber(seconds(table.gap_ticks))
        << ", \"gap_share\": " << JsonNumber(share) << ", \"pins\": [";
    const char* separator = "";
    for (const PinTiming& pin : table.pins) {
      out << separator << "{\"pin\": " << pin.pin << ", \"name\": " << JsonString(connector::SignalOf(pin.pin)->name)
          << ", \"rising\": " << pin.rising << ", \"falling\": " << pin.falling
          << ", \"high_min\": " << time(pin.shortest_high) << ", \"high_max\": " << time(pin.longest_high)
          << ", \"low_min\": " << time(pin.shortest_low) << ", \"low_max\": " << time(pin.longest_low)
          << ", \"frequency\": " << number(pin.frequency) << ", \"duty\": " << number(pin.duty) << "}";
      separator = ", ";
    }
    out << "]}\n";
    return;
  }
  const auto time = [&](const std::optional<int64_t>& ticks) { return ticks ? DurationText(seconds(*ticks)) : "-"; };
  out << "Pin                   Rising  Falling  High min    High max    Low min     Low max     Frequency    Duty\n";
  for (const PinTiming& pin : table.pins) {
    const std::string label = std::string(connector::SignalOf(pin.pin)->name) + " (" + std::to_string(pin.pin) + ")";
    char duty[16] = "-";
    if (pin.duty) std::snprintf(duty, sizeof duty, "%.1f%%", *pin.duty * 100);
    char line[200];
    std::snprintf(line, sizeof line, "%-20s %7llu  %7llu  %-10s  %-10s  %-10s  %-10s  %-11s  %s\n", label.c_str(),
                  static_cast<unsigned long long>(pin.rising), static_cast<unsigned long long>(pin.falling),
                  time(pin.shortest_high).c_str(), time(pin.longest_high).c_str(), time(pin.shortest_low).c_str(),
                  time(pin.longest_low).c_str(), pin.frequency ? FrequencyText(*pin.frequency).c_str() : "-", duty);
    out << line;
  }
  char gaps[160];
  std::snprintf(gaps, sizeof gaps, "Gaps without samples: %llu, %s in all, %.3f%% of %s\n",
                static_cast<unsigned long long>(table.gaps),
                DurationText(seconds(table.gap_ticks)).c_str(), share * 100, DurationText(seconds(table.end)).c_str());
  out << gaps;
  if (table.trigger) out << "Trigger met at " << DurationText(seconds(*table.trigger)) << "\n";
  out << "Only pulses seen whole count: not those cut off by the start, the end or a gap.\n" << kRegularMeaning << "\n";
}

}  // namespace cli

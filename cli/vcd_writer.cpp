#include "cli/vcd_writer.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cli/duration_text.h"
#include "connector/pins.h"

namespace cli {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;

std::string TimescaleText(int64_t step_ns) {
  static constexpr const char* kUnits[] = {"ns", "us", "ms", "s"};
  int unit = 0;
  while (step_ns >= 1000 && unit < 3) {
    step_ns /= 1000;
    ++unit;
  }
  return std::to_string(step_ns) + " " + kUnits[unit];
}

// Letters, digits and '_': what every reader takes in a scope's name.
std::string Identifier(std::string_view text) {
  std::string name;
  for (const char c : text) {
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    name += word ? c : '_';
  }
  return name.empty() ? "port" : name;
}

struct Variable {
  std::string name;
  char code;
};

}  // namespace

int64_t VcdStepNanoseconds(int64_t frequency) {
  if (frequency <= 0) throw std::invalid_argument("the counter's frequency must be positive");
  int64_t step = 100;
  // One tick lasts 1e9 / frequency ns: the next power of ten fits while step * 10 * frequency <= 1e9.
  while (step < kNanosecondsPerSecond && frequency <= kNanosecondsPerSecond / (step * 10)) step *= 10;
  return step;
}

int64_t TicksToSteps(int64_t ticks, int64_t frequency, int64_t step_ns) {
  // steps = ticks * (1e9 / step_ns) / frequency, rounded half up: MulDiv's floor, and the
  // remainder it dropped, which a step of at least 100 ns keeps within 64 bits.
  const int64_t multiplier = kNanosecondsPerSecond / step_ns;
  const int64_t dropped = ticks % frequency * multiplier % frequency;
  return MulDiv(ticks, multiplier, frequency) + (dropped >= frequency - dropped ? 1 : 0);
}

void WriteVcd(std::ostream& out, const Recording& recording, const VcdHeader& header) {
  const int64_t step_ns = VcdStepNanoseconds(recording.frequency);
  const auto steps = [&](int64_t ticks) { return TicksToSteps(ticks, recording.frequency, step_ns); };

  std::vector<unsigned> pins;
  PinLevels captured = 0;
  std::vector<Variable> variables;
  for (const vport_signal& signal : connector::kSignals) {
    if (!(recording.pins & VPORT_PIN(signal.pin))) continue;
    pins.push_back(signal.pin);
    captured |= VPORT_PIN(signal.pin);
    variables.push_back({"p" + std::to_string(signal.pin) + "_" + signal.ident, static_cast<char>('!' + pins.size() - 1)});
  }
  const std::size_t gap_variable = variables.size();
  variables.push_back({"sampling_gap", static_cast<char>('!' + gap_variable)});

  if (!header.date.empty()) out << "$date " << header.date << " $end\n";
  out << "$version Pinscope " << header.version << " $end\n";
  out << "$comment\n"
         "  sampling_gap is 1 while no sample was taken: the pins' levels are unknown there, and a\n"
         "  change seen where it ends may have happened anywhere in it.\n";
  if (recording.trigger)
    out << "  The trigger condition was met at #" << steps(*recording.trigger) << " ("
        << DurationText(static_cast<double>(*recording.trigger) / static_cast<double>(recording.frequency)) << ").\n";
  if (recording.stopped) out << "  The capture was ended early.\n";
  out << "$end\n";
  out << "$timescale " << TimescaleText(step_ns) << " $end\n";
  out << "$scope module " << Identifier(header.port) << " $end\n";
  for (const Variable& variable : variables) out << "$var wire 1 " << variable.code << " " << variable.name << " $end\n";
  out << "$upscope $end\n$enddefinitions $end\n";

  // The gaps' edges as one time-ordered list beside the changes.
  std::vector<std::pair<int64_t, bool>> gap_edges;
  for (const SamplingGap& gap : recording.gaps) {
    gap_edges.emplace_back(gap.begin, true);
    gap_edges.emplace_back(gap.end, false);
  }

  PinLevels levels = recording.initial;
  bool in_gap = false;
  std::size_t next_change = 0, next_gap_edge = 0;
  // Takes every event that falls on step `time`, leaving the state after the last of them.
  auto apply_events_at = [&](int64_t time) {
    while (next_change < recording.changes.size() && steps(recording.changes[next_change].at) == time)
      levels = recording.changes[next_change++].levels;
    while (next_gap_edge < gap_edges.size() && steps(gap_edges[next_gap_edge].first) == time)
      in_gap = gap_edges[next_gap_edge++].second;
  };
  // Every variable's value (all), or those that differ from the values written last.
  PinLevels written = 0;
  bool written_gap = false;
  auto write_values = [&](bool all) {
    for (std::size_t k = 0; k < pins.size(); ++k) {
      const PinLevels bit = VPORT_PIN(pins[k]);
      if (all || ((levels ^ written) & bit)) out << ((levels & bit) ? '1' : '0') << variables[k].code << "\n";
    }
    if (all || in_gap != written_gap) out << (in_gap ? '1' : '0') << variables[gap_variable].code << "\n";
    written = levels;
    written_gap = in_gap;
  };

  apply_events_at(0);
  out << "#0\n$dumpvars\n";
  write_values(true);
  out << "$end\n";

  int64_t last_time = 0;
  while (next_change < recording.changes.size() || next_gap_edge < gap_edges.size()) {
    int64_t tick = INT64_MAX;
    if (next_change < recording.changes.size()) tick = recording.changes[next_change].at;
    if (next_gap_edge < gap_edges.size() && gap_edges[next_gap_edge].first < tick) tick = gap_edges[next_gap_edge].first;
    const int64_t time = steps(tick);
    apply_events_at(time);
    if (((levels ^ written) & captured) == 0 && in_gap == written_gap) continue;
    out << "#" << time << "\n";
    write_values(false);
    last_time = time;
  }
  // The dump lasts as long as the capture, also where nothing changed at its end.
  const int64_t end = steps(recording.end);
  if (end > last_time) out << "#" << end << "\n";
}

}  // namespace cli

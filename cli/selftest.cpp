#include "cli/selftest.h"

#include <algorithm>

#include "cli/pins.h"

namespace cli {

namespace {

constexpr std::size_t kWires = connector::kLoopbackWiring.size();
constexpr uint8_t kAllWires = (1u << kWires) - 1;  // D0-D4

struct Sample {
  uint8_t data;
  std::array<bool, kWires> input;  // each partner's connector level
};

bool Driven(uint8_t data, std::size_t wire) { return (data >> wire) & 1u; }

}  // namespace

bool LoopbackReport::Passed() const {
  return std::all_of(wires.begin(), wires.end(), [](const WireReport& w) { return w.result == WireResult::Pass; });
}

const char* ResultName(WireResult result) {
  switch (result) {
    case WireResult::Pass:
      return "pass";
    case WireResult::Open:
      return "open";
    case WireResult::Shorted:
      return "shorted";
  }
  return "?";
}

LoopbackReport RunLoopbackTest(const std::function<uint8_t(uint8_t data)>& drive) {
  // Walking one (one line high, the others low) and walking zero: a short between two lines
  // shows in one of the two whichever way the pair resolves the conflict.
  std::vector<Sample> samples;
  for (std::size_t wire = 0; wire < kWires; ++wire) {
    for (const uint8_t data : {static_cast<uint8_t>(1u << wire), static_cast<uint8_t>(kAllWires & ~(1u << wire))}) {
      Registers registers;
      registers.status = drive(data);
      Sample sample{data, {}};
      for (std::size_t k = 0; k < kWires; ++k) sample.input[k] = registers.Level(*connector::SignalOf(connector::kLoopbackWiring[k].to_pin));
      samples.push_back(sample);
    }
  }

  LoopbackReport report;
  for (std::size_t k = 0; k < kWires; ++k) {
    WireReport& wire = report.wires[k];
    wire.wire = connector::kLoopbackWiring[k];
    const bool follows = std::all_of(samples.begin(), samples.end(),
                                     [&](const Sample& s) { return s.input[k] == Driven(s.data, k); });
    if (follows) continue;
    // An input that never moves is not connected to anything that does: a printer, no plug.
    const bool moves = std::any_of(samples.begin(), samples.end(),
                                   [&](const Sample& s) { return s.input[k] != samples.front().input[k]; });
    if (moves) {
      // Another line reaches this input when it alone takes the level this line does not have.
      for (std::size_t j = 0; j < kWires; ++j) {
        if (j == k) continue;
        const bool reaches = std::any_of(samples.begin(), samples.end(), [&](const Sample& s) {
          const bool walked = s.data == (1u << j) || s.data == (kAllWires & ~(1u << j));
          return walked && s.input[k] == Driven(s.data, j);
        });
        if (reaches) wire.shorted_to.push_back(connector::kLoopbackWiring[j].from_pin);
      }
    }
    wire.result = wire.shorted_to.empty() ? WireResult::Open : WireResult::Shorted;
  }
  return report;
}

}  // namespace cli

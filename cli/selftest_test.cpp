// The loopback test's verdicts against wirings drawn as functions of the data lines: the plug
// itself, a wire cut, two wires touching, and a printer where the plug should be.
#include "cli/selftest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace cli {
namespace {

/// Connector levels of the five partner inputs (wire order: Fault, Select, Paper out, Ack,
/// Busy) to the status register the port reads, with Busy's inversion and the unused bits high.
uint8_t StatusOf(const std::array<bool, 5>& levels) {
  constexpr uint8_t kBits[5] = {0x08, 0x10, 0x20, 0x40, 0x80};
  uint8_t status = 0x07;
  for (std::size_t k = 0; k < 5; ++k) {
    const bool busy = k == 4;
    if (levels[k] != busy) status |= kBits[k];
  }
  return status;
}

bool Line(uint8_t data, int wire) { return (data >> wire) & 1u; }

struct Wiring {
  const char* name;
  std::function<std::array<bool, 5>(uint8_t)> inputs;
  std::vector<std::string> expected;  // per wire: "pass", "open", "shorted 3" ...
};

std::string Verdict(const WireReport& wire) {
  std::string text = ResultName(wire.result);
  for (int pin : wire.shorted_to) text += " " + std::to_string(pin);
  return text;
}

TEST(Loopback, EachWiringGetsItsVerdicts) {
  const Wiring wirings[] = {
      {"the plug",
       [](uint8_t d) { return std::array<bool, 5>{Line(d, 0), Line(d, 1), Line(d, 2), Line(d, 3), Line(d, 4)}; },
       {"pass", "pass", "pass", "pass", "pass"}},
      {"wire 4->12 cut: its input floats high",
       [](uint8_t d) { return std::array<bool, 5>{Line(d, 0), Line(d, 1), true, Line(d, 3), Line(d, 4)}; },
       {"pass", "pass", "open", "pass", "pass"}},
      {"wires 2->15 and 3->13 touching, low wins",
       [](uint8_t d) {
         const bool both = Line(d, 0) && Line(d, 1);
         return std::array<bool, 5>{both, both, Line(d, 2), Line(d, 3), Line(d, 4)};
       },
       {"shorted 3", "shorted 2", "pass", "pass", "pass"}},
      {"wires 5->10 and 6->11 touching, high wins",
       [](uint8_t d) {
         const bool either = Line(d, 3) || Line(d, 4);
         return std::array<bool, 5>{Line(d, 0), Line(d, 1), Line(d, 2), either, either};
       },
       {"pass", "pass", "pass", "shorted 6", "shorted 5"}},
      {"wires crossed: 2 reaches 13 and 3 reaches 15",
       [](uint8_t d) { return std::array<bool, 5>{Line(d, 1), Line(d, 0), Line(d, 2), Line(d, 3), Line(d, 4)}; },
       {"shorted 3", "shorted 2", "pass", "pass", "pass"}},
      {"a ready printer: Fault, Select and Ack high, PaperOut and Busy low",
       [](uint8_t) { return std::array<bool, 5>{true, true, false, true, false}; },
       {"open", "open", "open", "open", "open"}},
  };
  for (const Wiring& wiring : wirings) {
    SCOPED_TRACE(wiring.name);
    const LoopbackReport report = RunLoopbackTest([&](uint8_t data) { return StatusOf(wiring.inputs(data)); });
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(Verdict(report.wires[k]), wiring.expected[k]) << "wire " << k;
    const bool all_pass = wiring.expected == std::vector<std::string>(5, "pass");
    EXPECT_EQ(report.Passed(), all_pass);
  }
}

TEST(Loopback, DrivesOnlyTheFiveTestedLinesEachHighAndLowAlone) {
  std::vector<uint8_t> driven;
  RunLoopbackTest([&](uint8_t data) {
    driven.push_back(data);
    return uint8_t{0};
  });
  const std::vector<uint8_t> expected = {0x01, 0x1E, 0x02, 0x1D, 0x04, 0x1B, 0x08, 0x17, 0x10, 0x0F};
  EXPECT_EQ(driven, expected);
}

}  // namespace
}  // namespace cli

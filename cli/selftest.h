// The diagnostic loopback plug's test: each of five data lines is wired to a status input
// (pins 2->15, 3->13, 4->12, 5->10, 6->11). Each line is walked high and low on its own while
// every partner's connector level is read, so Busy's inversion does not count as a fault.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace cli {

struct LoopbackWire {
  int from_pin;  // a data pin
  int to_pin;    // the status pin the plug ties it to
};

inline constexpr std::array<LoopbackWire, 5> kLoopbackWires{{{2, 15}, {3, 13}, {4, 12}, {5, 10}, {6, 11}}};

enum class WireResult { Pass, Open, Shorted };

struct WireReport {
  LoopbackWire wire;
  WireResult result = WireResult::Pass;
  std::vector<int> shorted_to;  // the data pins of the other wires its input follows
};

struct LoopbackReport {
  std::array<WireReport, 5> wires;
  bool Passed() const;
};

/// `drive` puts a byte on the data register and returns the status register read back.
LoopbackReport RunLoopbackTest(const std::function<uint8_t(uint8_t data)>& drive);

const char* ResultName(WireResult result);

}  // namespace cli

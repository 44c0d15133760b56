// The diagnostic loopback plug's test: each of five data lines is wired to a status input
// (connector::kLoopbackWiring). Each line is walked high and low on its own while
// every partner's connector level is read, so Busy's inversion does not count as a fault.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "connector/pins.h"

namespace cli {

enum class WireResult { Pass, Open, Shorted };

struct WireReport {
  vport_wire wire;
  WireResult result = WireResult::Pass;
  std::vector<int> shorted_to;  // the data pins of the other wires its input follows
};

struct LoopbackReport {
  std::array<WireReport, VPORT_LOOPBACK_WIRES> wires;
  bool Passed() const;
};

/// `drive` puts a byte on the data register and returns the status register read back.
LoopbackReport RunLoopbackTest(const std::function<uint8_t(uint8_t data)>& drive);

const char* ResultName(WireResult result);

}  // namespace cli

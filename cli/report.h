// What pinscope-cli prints: the port list, the pins, the self-test's table, as text for people
// and as JSON for scripts.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/pins.h"
#include "framework/format.h"
#include "cli/selftest.h"

namespace cli {

struct PortEntry {
  std::string name;
  int32_t number;
  uint32_t base;
  std::optional<bool> free;  // where the system's port driver tells
};

void PrintPortList(std::ostream& out, const std::vector<PortEntry>& ports, bool json);
/// The registers in hex, then every signal pin in the window's order.
void PrintPins(std::ostream& out, std::string_view port, uint16_t base, const Registers& registers, bool json);
void PrintLoopbackReport(std::ostream& out, std::string_view port, const LoopbackReport& report, bool json);

/// A JSON string literal, quotes included; control characters and bytes outside ASCII escaped
/// so that the output stays valid whatever a device's name holds.
std::string JsonString(std::string_view text);

}  // namespace cli

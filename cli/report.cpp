#include "cli/report.h"

#include <cstdio>

namespace cli {

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      // The ANSI code page's bytes are not UTF-8: each stands for itself as a code point.
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      json += escape;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

void PrintPortList(std::ostream& out, const std::vector<PortEntry>& ports, bool json) {
  if (json) {
    out << "[";
    const char* separator = "";
    for (const PortEntry& port : ports) {
      out << separator << "{\"name\": " << JsonString(port.name) << ", \"number\": " << port.number
          << ", \"base\": \"" << fw::HexNumber(port.base, 3) << "\"";
      if (port.free) out << ", \"free\": " << (*port.free ? "true" : "false");
      out << "}";
      separator = ", ";
    }
    out << "]\n";
    return;
  }
  for (const PortEntry& port : ports) {
    out << port.name << "  " << port.number << "  " << fw::HexNumber(port.base, 3);
    if (port.free) out << (*port.free ? "  free" : "  held (a print job or another program has it)");
    out << "\n";
  }
  if (ports.empty())
    out << "This machine lists no parallel ports. Name one by its base address, for example:\n"
           "  pinscope-cli read LPT1 --base 0x378\n";
}

void PrintPins(std::ostream& out, std::string_view port, uint16_t base, const Registers& registers, bool json) {
  if (json) {
    out << "{\"port\": " << JsonString(port) << ", \"base\": \"" << fw::HexNumber(base, 3) << "\", \"data\": \""
        << fw::HexNumber(registers.data, 2) << "\", \"status\": \"" << fw::HexNumber(registers.status, 2)
        << "\", \"control\": \"" << fw::HexNumber(registers.control, 2) << "\", \"pins\": [";
    const char* separator = "";
    for (const vport_signal& pin : connector::kSignals) {
      out << separator << "{\"pin\": " << pin.pin << ", \"name\": " << JsonString(pin.name)
          << ", \"direction\": \"" << (pin.output ? "output" : "input") << "\", \"bit\": " << registers.Bit(pin)
          << ", \"level\": " << registers.Level(pin) << ", \"inverted\": " << (pin.inverted ? "true" : "false")
          << "}";
      separator = ", ";
    }
    out << "]}\n";
    return;
  }
  out << port << " at " << fw::HexNumber(base, 3) << ": data " << fw::HexNumber(registers.data, 2) << "  status "
      << fw::HexNumber(registers.status, 2) << "  control " << fw::HexNumber(registers.control, 2) << "\n";
  out << "Pin                  Bit    Level  Direction\n";
  for (const vport_signal& pin : connector::kSignals) {
    char line[80];
    const std::string label = std::string(pin.name) + " (" + std::to_string(pin.pin) + ")";
    std::snprintf(line, sizeof line, "%-20s %-6s %-6s %s", label.c_str(), registers.Bit(pin) ? "set" : "clear",
                  registers.Level(pin) ? "high" : "low", pin.output ? "output" : "input");
    out << line << (pin.inverted ? (pin.output ? "  inverted" : "   inverted") : "") << "\n";
  }
  out << "inverted: the port puts the opposite of the register bit on the connector\n";
}

void PrintLoopbackReport(std::ostream& out, std::string_view port, const LoopbackReport& report, bool json) {
  if (json) {
    out << "{\"port\": " << JsonString(port) << ", \"passed\": " << (report.Passed() ? "true" : "false")
        << ", \"wires\": [";
    const char* separator = "";
    for (const WireReport& wire : report.wires) {
      out << separator << "{\"from\": " << wire.wire.from_pin << ", \"to\": " << wire.wire.to_pin
          << ", \"result\": \"" << ResultName(wire.result) << "\", \"shorted_to\": [";
      for (std::size_t i = 0; i < wire.shorted_to.size(); ++i) out << (i ? ", " : "") << wire.shorted_to[i];
      out << "]}";
      separator = ", ";
    }
    out << "]}\n";
    return;
  }
  out << "Loopback self-test of " << port << "\n";
  out << "Wire                         Result\n";
  for (const WireReport& wire : report.wires) {
    const vport_signal& from = *connector::SignalOf(wire.wire.from_pin);
    const vport_signal& to = *connector::SignalOf(wire.wire.to_pin);
    const std::string label = std::string(from.name) + " (" + std::to_string(from.pin) + ") -> " + to.name + " (" +
                              std::to_string(to.pin) + ")";
    std::string result = ResultName(wire.result);
    if (wire.result == WireResult::Shorted) {
      result += " to pin";
      for (std::size_t i = 0; i < wire.shorted_to.size(); ++i) result += (i ? ", " : " ") + std::to_string(wire.shorted_to[i]);
    }
    char line[96];
    std::snprintf(line, sizeof line, "%-28s %s\n", label.c_str(), result.c_str());
    out << line;
  }
  out << (report.Passed() ? "passed: every wire comes back\n" : "FAILED: not every wire comes back\n");
}

}  // namespace cli

// The command line of pinscope-cli: what to do, on which port, with which options. Everything
// is checked here, before any port is touched, so a refused command writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

enum class Command { Help, Version, List, Read, Set, Data, Write, Watch, Selftest };

struct PinSetting {
  int pin;
  bool state;  // the register bit, as the window's check box sets it
};

struct Invocation {
  Command command = Command::Help;
  std::string port;  // "LPT1" .. "LPT9", upper case; empty for list, help and version
  int port_number = 0;
  std::optional<uint16_t> base;
  bool handle_mode = false;
  bool json = false;
  std::vector<PinSetting> pins;  // set
  std::optional<uint8_t> data;   // data: the byte to write, if any
  std::string text;              // write: the bytes to send
  std::optional<std::string> file;
  uint32_t interval_ms = 100;     // watch: how often the status register is read
  std::optional<uint32_t> count;  // watch: stop after this many changes
  /// What was given but does not count (an option or pin given twice): said on standard
  /// error before the command runs.
  std::vector<std::string> warnings;
};

/// A command line that asks for something the program does not do; the message says what.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// `arguments` without the program's name. Throws UsageError.
Invocation ParseArguments(std::span<const std::string> arguments);

/// The text of --help, with the exit codes.
std::string HelpText();

}  // namespace cli

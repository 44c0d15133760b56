// The command line of pinscope-cli: what to do, on which port, with which options. Everything
// is checked here, before any port is touched, so a refused command writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "connector/pins.h"

namespace cli {

enum class Command { Help, Version, Check, List, Read, Set, Data, Write, Watch, Selftest, Capture };

/// What a capture waits for on its trigger pin, at the connector.
enum class TriggerCondition { Rising, Falling, High, Low, Change };

struct Trigger {
  int pin;
  TriggerCondition condition;
};

/// The lines a capture records, and by default all of them: the peripheral's (status) and the
/// control lines' read-back.
inline constexpr uint32_t kCapturePins = VPORT_INPUT_PINS | (VPORT_OUTPUT_PINS & ~VPORT_DATA_PINS);
/// The longest capture: its changes stay in memory until the files are written.
inline constexpr uint64_t kMaxCaptureMicroseconds = 600'000'000;
/// The longest wait for a trigger.
inline constexpr uint64_t kMaxTriggerTimeoutMicroseconds = 3'600'000'000;
/// The most register reads --samples asks for.
inline constexpr uint64_t kMaxCaptureSamples = uint64_t{1} << 40;

struct CaptureOptions {
  uint32_t pins = 0;                     // connector levels' mask (VPORT_PIN); 0 before parsing
  uint64_t duration_us = 1'000'000;      // after the trigger, when there is one
  std::optional<uint64_t> samples;       // register read rounds instead of a duration
  std::optional<Trigger> trigger;
  uint64_t timeout_us = 10'000'000;      // how long to wait for the trigger
  std::optional<std::string> vcd;        // file names
  std::optional<std::string> svg;
};

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
  bool ready = false;             // write: bring the control lines to printing first
  uint32_t interval_ms = 100;     // watch: how often the status register is read
  std::optional<uint32_t> count;  // watch: stop after this many changes
  CaptureOptions capture;
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

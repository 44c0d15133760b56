#include "cli/arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "cli/pins.h"
#include "cli/report.h"
#include "driver/vlio_ioctl.h"

namespace cli {

namespace {

struct CommandName {
  std::string_view name;
  Command command;
  bool takes_port;
  bool direct_only;  // registers are what it shows, and in handle mode they read 0
  bool json;
};

constexpr CommandName kCommands[] = {
    {"list", Command::List, false, false, true},      {"read", Command::Read, true, false, true},
    {"set", Command::Set, true, true, true},          {"data", Command::Data, true, true, true},
    {"write", Command::Write, true, false, false},    {"watch", Command::Watch, true, false, false},
    {"selftest", Command::Selftest, true, true, true},  {"capture", Command::Capture, true, true, true},
    {"check", Command::Check, false, false, true},
};

/// A whole unsigned number: decimal, or hexadecimal after 0x. Nothing when any character is
/// left over or it exceeds `limit`.
std::optional<uint32_t> ParseNumber(std::string_view text, uint32_t limit) {
  int radix = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return {};
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, radix);
  if (error != std::errc() || end != text.data() + text.size() || value > limit) return {};
  return static_cast<uint32_t>(value);
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

/// "LPT1" .. "LPT9" in any case, with the colon Windows users add to a device name or
/// without: the port name is "LPT" and one character made from the number.
int PortNumber(std::string_view name) {
  std::string upper = Upper(name);
  if (upper.size() == 5 && upper.back() == ':') upper.pop_back();
  if (upper.size() != 4 || upper.compare(0, 3, "LPT") != 0 || upper[3] < '1' || upper[3] > '9')
    throw UsageError("'" + std::string(name) + "' is not a port name: LPT1 to LPT9");
  return upper[3] - '0';
}

PinSetting ParsePinSetting(std::string_view text) {
  const auto equals = text.find('=');
  const std::string given(text);
  if (equals == std::string_view::npos) throw UsageError("'" + given + "' is not PIN=0 or PIN=1");
  const std::optional<uint32_t> pin = ParseNumber(text.substr(0, equals), 1000);
  const std::string_view state = text.substr(equals + 1);
  if (!pin || (state != "0" && state != "1")) throw UsageError("'" + given + "' is not PIN=0 or PIN=1");
  const int number = static_cast<int>(*pin);
  if (number < 1 || number > 25) throw UsageError("pin " + std::to_string(number) + " is not on the connector: pins 1 to 25");
  if (number >= 18) throw UsageError("pin " + std::to_string(number) + " is a ground pin: nothing to set");
  const vport_signal& signal = *connector::SignalOf(number);
  if (!signal.output)
    throw UsageError("pin " + std::to_string(number) + " (" + signal.name +
                     ") is an input: the device drives it. Output pins are 1-9, 14, 16 and 17");
  return {number, state == "1"};
}

/// A time: a number, with a fraction or without, and its unit: s (also when none is given),
/// ms or us. Nothing when it is not one, below 1 us, or above `limit_us`.
std::optional<uint64_t> ParseMicroseconds(std::string_view text, uint64_t limit_us) {
  uint64_t scale = 1'000'000;
  for (const auto& [suffix, unit] : {std::pair<std::string_view, uint64_t>{"us", 1}, {"ms", 1000}, {"s", 1'000'000}}) {
    if (text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix) {
      text.remove_suffix(suffix.size());
      scale = unit;
      break;
    }
  }
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return {};
  uint64_t value = 0;
  for (const char c : whole) {
    if (c < '0' || c > '9' || value > limit_us) return {};
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > limit_us / scale) return {};
  value *= scale;
  uint64_t place = scale;
  for (const char c : fraction) {
    if (c < '0' || c > '9') return {};
    place /= 10;
    value += place * static_cast<uint64_t>(c - '0');  // digits finer than 1 us drop out
  }
  if (value == 0 || value > limit_us) return {};
  return value;
}

/// A pin by number, or by name in any case with spaces or '_' ("busy", "Paper_out").
const vport_signal* NamedPin(std::string_view text) {
  if (const std::optional<uint32_t> number = ParseNumber(text, 1000)) return connector::SignalOf(*number);
  for (const vport_signal& signal : connector::kSignals) {
    if (Lower(text) == Lower(signal.name) || Lower(text) == Lower(signal.ident)) return &signal;
  }
  return nullptr;
}

/// A pin that a capture records; the message says which ones do.
int CapturePin(std::string_view text, std::string_view option) {
  const vport_signal* signal = NamedPin(text);
  if (!signal) throw UsageError(std::string(option) + ": '" + std::string(text) + "' is not a signal pin's number or name");
  if (!(kCapturePins & VPORT_PIN(signal->pin)))
    throw UsageError(std::string(option) + ": pin " + std::to_string(signal->pin) + " (" + signal->name +
                     ") is a data output, which nothing but this program changes; capture records the input pins"
                     " and the control lines (capture in --help)");
  return static_cast<int>(signal->pin);
}

Trigger ParseTrigger(std::string_view text) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos)
    throw UsageError("--trigger '" + std::string(text) + "' is not PIN=rising|falling|high|low|change");
  constexpr std::pair<std::string_view, TriggerCondition> kConditions[] = {
      {"rising", TriggerCondition::Rising}, {"falling", TriggerCondition::Falling}, {"high", TriggerCondition::High},
      {"low", TriggerCondition::Low},       {"change", TriggerCondition::Change}};
  const std::string condition = Lower(text.substr(equals + 1));
  for (const auto& [name, value] : kConditions)
    if (condition == name) return {CapturePin(text.substr(0, equals), "--trigger"), value};
  throw UsageError("--trigger '" + std::string(text) + "' is not PIN=rising|falling|high|low|change");
}

/// The value of an option that takes one: "--name VALUE" or "--name=VALUE".
std::string OptionValue(std::span<const std::string> arguments, std::size_t& index, std::string_view name,
                        std::string_view inline_value, bool has_inline) {
  if (has_inline) return std::string(inline_value);
  if (index + 1 >= arguments.size()) throw UsageError(std::string(name) + " needs a value");
  return arguments[++index];
}

}  // namespace

Invocation ParseArguments(std::span<const std::string> arguments) {
  Invocation invocation;
  std::vector<std::string> operands;
  bool help = false, version = false;
  bool interval_given = false;
  std::vector<std::string> given;  // the options seen, to say which came twice
  std::vector<std::string> capture_options;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended) {
      operands.push_back(argument);
      continue;
    }
    if (argument == "--") {  // everything after is an operand, "-h" and "--text" too
      options_ended = true;
      continue;
    }
    if (argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
      if (argument == "-h" || argument == "/?") {
        help = true;
        continue;
      }
      operands.push_back(argument);
      continue;
    }
    const auto equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const bool has_inline = equals != std::string::npos;
    const std::string_view inline_value = has_inline ? std::string_view(argument).substr(equals + 1) : "";
    if (std::find(given.begin(), given.end(), name) != given.end())
      invocation.warnings.push_back(name + " is given more than once: the last one counts");
    given.push_back(name);
    auto flag = [&](bool& target) {
      if (has_inline) throw UsageError(name + " takes no value");
      target = true;
    };
    if (name == "--help") {
      flag(help);
    } else if (name == "--version") {
      flag(version);
    } else if (name == "--handle") {
      flag(invocation.handle_mode);
    } else if (name == "--json") {
      flag(invocation.json);
    } else if (name == "--ready") {
      flag(invocation.ready);
    } else if (name == "--base") {
      const std::string value = OptionValue(arguments, i, name, inline_value, has_inline);
      // The three registers must lie within the 16-bit I/O space.
      const std::optional<uint32_t> base = ParseNumber(value, 0xFFFD);
      if (!base || *base == 0) throw UsageError("--base " + value + " is not an I/O address from 0x1 to 0xFFFD");
      for (uint32_t offset = 0; offset < 3; ++offset) {
        if (VlioIsSystemPort(static_cast<uint16_t>(*base + offset)))
          throw UsageError("--base " + value + " reaches system port " + fw::HexNumber(*base + offset, 2) +
                           ", which belongs to the machine's own devices and is never served");
      }
      invocation.base = static_cast<uint16_t>(*base);
    } else if (name == "--interval") {
      const std::string value = OptionValue(arguments, i, name, inline_value, has_inline);
      const std::optional<uint32_t> interval = ParseNumber(value, 60000);
      if (!interval || *interval == 0) throw UsageError("--interval " + value + " is not 1 to 60000 milliseconds");
      invocation.interval_ms = *interval;
      interval_given = true;
    } else if (name == "--count") {
      const std::string value = OptionValue(arguments, i, name, inline_value, has_inline);
      const std::optional<uint32_t> count = ParseNumber(value, 0xFFFFFFFF);
      if (!count || *count == 0) throw UsageError("--count " + value + " is not a number of changes from 1");
      invocation.count = *count;
    } else if (name == "--file") {
      invocation.file = OptionValue(arguments, i, name, inline_value, has_inline);
    } else if (name == "--duration" || name == "--timeout") {
      const std::string value = OptionValue(arguments, i, name, inline_value, has_inline);
      const bool duration = name == "--duration";
      const uint64_t limit = duration ? kMaxCaptureMicroseconds : kMaxTriggerTimeoutMicroseconds;
      const std::optional<uint64_t> time = ParseMicroseconds(value, limit);
      if (!time)
        throw UsageError(name + " " + value + " is not a time from 1us to " + std::to_string(limit / 1'000'000) +
                         "s (a number with s, ms or us; s when none is given)");
      (duration ? invocation.capture.duration_us : invocation.capture.timeout_us) = *time;
      capture_options.push_back(name);
    } else if (name == "--samples") {
      const std::string value = OptionValue(arguments, i, name, inline_value, has_inline);
      uint64_t samples = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), samples);
      if (error != std::errc() || end != value.data() + value.size() || samples == 0 || samples > kMaxCaptureSamples)
        throw UsageError("--samples " + value + " is not a number of reads from 1 to " +
                         std::to_string(kMaxCaptureSamples));
      invocation.capture.samples = samples;
      capture_options.push_back(name);
    } else if (name == "--trigger") {
      invocation.capture.trigger = ParseTrigger(OptionValue(arguments, i, name, inline_value, has_inline));
      capture_options.push_back(name);
    } else if (name == "--pins") {
      const std::string value = OptionValue(arguments, i, name, inline_value, has_inline);
      uint32_t pins = 0;
      for (std::size_t from = 0; from <= value.size();) {
        const std::size_t comma = std::min(value.find(',', from), value.size());
        pins |= VPORT_PIN(CapturePin(std::string_view(value).substr(from, comma - from), "--pins"));
        from = comma + 1;
      }
      invocation.capture.pins = pins;
      capture_options.push_back(name);
    } else if (name == "--vcd" || name == "--svg") {
      (name == "--vcd" ? invocation.capture.vcd : invocation.capture.svg) =
          OptionValue(arguments, i, name, inline_value, has_inline);
      capture_options.push_back(name);
    } else {
      throw UsageError("unknown option " + name);
    }
  }
  if (help) return invocation;  // Command::Help, whatever else was given
  if (version) {
    invocation.command = Command::Version;
    return invocation;
  }
  if (operands.empty()) throw UsageError("no command given");

  const std::string command_name = Lower(operands.front());
  const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const CommandName& c) { return c.name == command_name; });
  if (command == std::end(kCommands)) throw UsageError("unknown command '" + operands.front() + "'");
  invocation.command = command->command;
  const std::string& name = command_name;

  if (invocation.handle_mode && command->direct_only)
    throw UsageError(name + " reads the port's registers, which read 0 in handle mode: run it without --handle");
  if (invocation.json && !command->json) throw UsageError(name + " has no --json output");
  if (invocation.handle_mode && invocation.command == Command::Check)
    throw UsageError("check looks at what direct mode needs; handle mode needs nothing of it: run it without --handle");
  if (invocation.handle_mode && invocation.base) throw UsageError("--base is for direct mode, not with --handle");
  if (!command->takes_port && invocation.base) throw UsageError("--base goes with a command on a port");
  if ((interval_given || invocation.count) && invocation.command != Command::Watch)
    throw UsageError("--interval and --count go with watch");
  if (invocation.file && invocation.command != Command::Write) throw UsageError("--file goes with write");
  if (invocation.ready && invocation.command != Command::Write) throw UsageError("--ready goes with write");
  if (invocation.ready && invocation.handle_mode)
    throw UsageError("--ready sets the control lines, which the system's port driver keeps in handle mode");
  if (!capture_options.empty() && invocation.command != Command::Capture)
    throw UsageError(capture_options.front() + " goes with capture");
  if (invocation.command == Command::Capture) {
    CaptureOptions& capture = invocation.capture;
    const auto named = [&](std::string_view option) {
      return std::find(capture_options.begin(), capture_options.end(), option) != capture_options.end();
    };
    if (capture.samples && named("--duration")) throw UsageError("--duration and --samples: give one of them");
    if (named("--timeout") && !capture.trigger) throw UsageError("--timeout goes with --trigger");
    if (capture.vcd && capture.svg && *capture.vcd == *capture.svg)
      throw UsageError("--vcd and --svg name the same file");
    if (capture.pins == 0) capture.pins = kCapturePins;
    if (capture.trigger && !(capture.pins & VPORT_PIN(capture.trigger->pin)))
      throw UsageError("--trigger: pin " + std::to_string(capture.trigger->pin) + " is not among --pins");
  }

  std::span<const std::string> rest(operands.begin() + 1, operands.end());
  if (command->takes_port) {
    if (rest.empty()) throw UsageError(name + " needs a port, for example LPT1");
    invocation.port_number = PortNumber(rest.front());
    invocation.port = "LPT" + std::to_string(invocation.port_number);
    rest = rest.subspan(1);
  }
  switch (invocation.command) {
    case Command::Set:
      if (rest.empty()) throw UsageError("set needs at least one PIN=0 or PIN=1");
      for (const std::string& setting : rest) {
        const PinSetting pin = ParsePinSetting(setting);
        if (std::any_of(invocation.pins.begin(), invocation.pins.end(), [&](const PinSetting& p) { return p.pin == pin.pin; }))
          invocation.warnings.push_back("pin " + std::to_string(pin.pin) + " is given more than once: the last setting counts");
        invocation.pins.push_back(pin);
      }
      rest = {};
      break;
    case Command::Data:
      if (!rest.empty()) {
        const std::optional<uint32_t> value = ParseNumber(rest.front(), 0xFF);
        if (!value) throw UsageError("'" + rest.front() + "' is not a byte: 0x00 to 0xFF");
        invocation.data = static_cast<uint8_t>(*value);
        rest = rest.subspan(1);
      }
      break;
    case Command::Write:
      if (invocation.file) break;
      if (rest.empty()) throw UsageError("write needs TEXT or --file F");
      invocation.text = rest.front();
      rest = rest.subspan(1);
      break;
    default:
      break;
  }
  if (!rest.empty()) throw UsageError("unexpected '" + rest.front() + "' after " + name);
  return invocation;
}

namespace {

// The help text's pin facts are made from the pin table, so that they cannot drift from it.

/// Pin numbers in order, runs of three or more as a range: "1-9, 14, 16 and 17".
std::string PinNumbers(bool (*chosen)(const vport_signal&)) {
  std::vector<unsigned> pins;
  for (const vport_signal& signal : connector::kSignals)
    if (chosen(signal)) pins.push_back(signal.pin);
  std::vector<std::string> parts;
  for (std::size_t first = 0, last; first < pins.size(); first = last + 1) {
    for (last = first; last + 1 < pins.size() && pins[last + 1] == pins[last] + 1;) ++last;
    if (last - first >= 2) {
      parts.push_back(std::to_string(pins[first]) + "-" + std::to_string(pins[last]));
    } else {
      for (std::size_t i = first; i <= last; ++i) parts.push_back(std::to_string(pins[i]));
    }
  }
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text;
}

std::string LoopbackWires() {
  std::string text;
  for (const vport_wire& wire : connector::kLoopbackWiring)
    text += (text.empty() ? "" : ", ") + std::to_string(wire.from_pin) + "->" + std::to_string(wire.to_pin);
  return text;
}

/// "  1 Strobe, 2 Data 0, ...; 18-25 ground", wrapped before `width` columns.
std::string PinNames(std::size_t width) {
  std::vector<std::string> items;
  for (const vport_signal& signal : connector::kSignals) items.push_back(std::to_string(signal.pin) + " " + signal.name);
  items.push_back(std::to_string(VPORT_FIRST_GROUND_PIN) + "-" + std::to_string(VPORT_PIN_COUNT) + " ground");
  std::string text, line = " ";
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string item = " " + items[i] + (i + 1 == items.size() ? "" : i + 2 == items.size() ? ";" : ",");
    if (line.size() + item.size() > width) {
      text += line + "\n";
      line = " ";
    }
    line += item;
  }
  return text + line + "\n";
}

}  // namespace

std::string HelpText() {
  const std::string inverted = PinNumbers([](const vport_signal& s) { return s.inverted != 0; });
  const std::string outputs = PinNumbers([](const vport_signal& s) { return s.output != 0; });
  const std::string inputs = PinNumbers([](const vport_signal& s) { return s.output == 0; });
  const std::string controls = PinNumbers([](const vport_signal& s) { return s.offset == VPORT_CONTROL; });
  return R"(Usage: pinscope-cli [options] COMMAND [PORT] [arguments]

The pins of a PC's parallel port, for scripts. Direct mode (the default) reaches the port's
registers through Pinscope's driver and needs an elevated command prompt.

Commands:
  check                    whether direct mode can work on this machine, and if not, why:
                           Windows and its bitness, elevation, code integrity, Secure Boot,
                           the driver blocklist, the driver image and service, the ports;
                           changes nothing (run it first, and paste it into a question)
  list                     the machine's parallel ports: name, number, base address, and
                           free or held where the system's port driver tells
  read PORT                the three registers and every signal pin: register bit and
                           connector level (pins )" + inverted + R"( are inverted by the port)
  set PORT PIN=0|1 ...     set output pins ()" + outputs + R"() by register bit, then read
  data PORT [0xNN]         write the whole data register in one access (or only read it)
  write PORT TEXT          send bytes with the strobe handshake, waiting for )" +
         connector::SignalOf(VPORT_PIN_BUSY)->name + R"(
  write PORT --file F      the same with the bytes of file F (an ordinary file, at most
                           16 MiB); a long write says how far it got on standard error
        [--ready]          first release Strobe, bring Init high and pull Select in low,
                           as printing drivers do; without it, write sends nothing on a
                           port whose control lines hold the device in reset (Init low),
                           leave it deselected (Select in high) or hold Strobe low
  watch PORT               a time-stamped line each time an input pin changes
        [--interval MS]    how often to look (default 100 ms)
        [--count N]        stop after N changes (otherwise Ctrl+C stops)
  selftest PORT            the loopback-plug test: pins )" + LoopbackWires() + R"(;
                           each wire passes, is open, or is shorted to another
  capture PORT             the pins over time, read by the driver in a loop as fast as the
                           bus allows; on standard output a table per pin: edges, shortest
                           and longest high and low time, and frequency and duty cycle
                           where the line toggles regularly (at least two whole periods,
                           each within 10% of their median); pulses cut off by the start,
                           the end or a gap do not count
        [--duration T]     how long (default 1s, at most 600s; T in s, ms or us)
        [--samples N]      or how many reads of the registers
        [--pins LIST]      which pins, by number or name: 10,11,Busy (default: inputs
                           )" + inputs + R"(, and control lines )" + controls + R"( read back)
        [--trigger PIN=rising|falling|high|low|change]
                           wait for the condition, then capture for the duration; a
                           tenth of the duration from before it is kept too, and the
                           condition counts only once that tenth has been recorded
        [--timeout T]      how long to wait for the condition after that (default 10s,
                           at most 3600s)
        [--vcd F]          a Value Change Dump for waveform viewers (PulseView, GTKWave)
        [--svg F]          a timing diagram for a web browser
                           Ctrl+C ends the capture early and still writes what was recorded

PORT is LPT1 to LPT9 (LPT1: too), as list shows it. Commands and ports take any case.
PIN is a connector pin by number:
)" + PinNames(92) + R"(After --, every argument is text or an operand, even one that starts with -:
  pinscope-cli write LPT2 -- --hello

Options:
  --base 0xNNNN   the port's base address, for a port list does not show
  --handle        handle mode: the system's port device, no driver, no elevation; list,
                  write, and read and watch, which then show the states the system's
                  port driver decodes (busy, selected, paper empty, ...), not pins: the
                  registers read 0 in handle mode
  --json          JSON output for check, list, read, set, data, selftest and capture
  --help          this text
  --version       the program's version

Exit codes:
  0    done (check: direct mode can work as run)
  1    the port or the driver failed (the system's reason on standard error), or the
       port is not one of this machine's
  2    usage: the command line asks for something the program does not do, a value
       out of range (a --base on a system port), text the ANSI code page cannot hold,
       or a --file that is not an ordinary file of at most 16 MiB or cannot be read
  3    the port works but the device did not (a self-test wire failed, bytes were
       skipped because the device stayed busy, or not taken by the port, a capture's
       trigger did not come within --timeout), or write found the control lines not
       ready for printing and sent nothing
  4    all else went well, but standard output could not take the result (a full disk,
       a closed pipe)
  5    check: direct mode can work here once pinscope-cli runs elevated
  6    check: direct mode cannot work here (the last line says the first reason)
  130  stopped by Ctrl+C or Ctrl+Break; closing the console, logging off and shutting
       down stop the command too and wait (up to 4 s) until the port is closed
)";
}

}  // namespace cli

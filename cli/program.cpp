#include "cli/program.h"

#include <algorithm>
#include <optional>
#include <cctype>
#include <stdexcept>
#include <vector>

#include "cli/arguments.h"
#include "cli/check.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/input_file.h"
#include "cli/output_file.h"
#include "cli/report.h"
#include "cli/stop_request.h"
#include "cli/system_states.h"
#include "lib/vllpt.h"
#include "platform/win32.h"

namespace cli {

namespace {

/// The port is not one of the machine's, and no --base says where it is.
class UnknownPort : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The library separates a message from its cause with a carriage return, for a message box.
std::string ConsoleText(std::string text) {
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

std::vector<PortEntry> MachinePorts(TvlLPT& lpt) {
  lpt.GetDeviceNames(nullptr);  // the machine's ports, as the window's port box asks for them
  std::vector<PortEntry> ports;
  for (int i = 0; i < lpt.DeviceCount(); ++i) {
    const TvlDevice& device = *lpt.GetDevice(i);
    ports.push_back({device.Name, device.Number, device.Param, {}});
  }
  return ports;
}

/// Points `lpt` at the port, closed, as choosing it in the window's port box does.
void SelectPort(TvlLPT& lpt, const Invocation& invocation, std::ostream& err) {
  if (invocation.handle_mode) {
    lpt.SetDirectMode(false);
    lpt.SetLptPortNo(static_cast<uint8_t>(invocation.port_number));
    return;
  }
  const std::vector<PortEntry> ports = MachinePorts(lpt);
  const auto listed = std::find_if(ports.begin(), ports.end(), [&](const PortEntry& port) {
    return port.name.size() == invocation.port.size() &&
           std::equal(port.name.begin(), port.name.end(), invocation.port.begin(),
                      [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
  });
  if (listed != ports.end()) {
    lpt.SetDeviceIndex(static_cast<int>(listed - ports.begin()));
    if (invocation.base && *invocation.base != listed->base)
      err << "pinscope-cli: " << listed->name << " is listed at " << fw::HexNumber(listed->base, 3) << "; --base "
          << fw::HexNumber(*invocation.base, 3) << " is used instead\n";
  } else if (invocation.base) {
    lpt.SetLptPortNo(static_cast<uint8_t>(invocation.port_number));
  } else {
    std::string known;
    for (const PortEntry& port : ports) known += (known.empty() ? "" : ", ") + port.name;
    throw UnknownPort(invocation.port + " is not one of this machine's parallel ports (" +
                      (known.empty() ? std::string("it has none") : known) +
                      "); give its base address with --base for a port that is not listed");
  }
  if (invocation.base) lpt.SetLptIOBase(*invocation.base);
}

// Windows' refusals of the driver itself: not elevated, an image whose signature it does not
// take (unsigned, or Secure Boot's policy), the blocklist, memory integrity.
bool DriverCannotBeHad(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_IMAGE_HASH || error == ERROR_DRIVER_BLOCKED ||
         error == ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION;
}

int RunOnPort(const Invocation& invocation, const Console& console) {
  TvlLPT lpt(nullptr);
  try {
    if (invocation.command == Command::Check) {
      const MachineFacts facts = GatherFacts(lpt);
      const CheckAnswer answer = Judge(facts);
      PrintCheck(console.out, facts, answer, invocation.json);
      return ExitCodeOf(answer.verdict);
    }
    if (invocation.command == Command::List) {
      std::vector<PortEntry> ports = MachinePorts(lpt);
      for (PortEntry& port : ports) port.free = AskPortDevice(port.name).free;
      PrintPortList(console.out, ports, invocation.json);
      return kDone;
    }
    // Handle mode's open would send the initialisation request, which resets the device.
    if (invocation.command == Command::Read && invocation.handle_mode)
      return ReadSystemStates(invocation.port, invocation.json, console);
    if (invocation.command == Command::Watch && invocation.handle_mode) return WatchSystemStates(invocation, console);
    SelectPort(lpt, invocation, console.err);
    lpt.SetActive(true);
    const int code = RunPortCommand(lpt, invocation, console);
    const bool removed = PortRemoved(lpt);
    lpt.SetActive(false);  // the port closed and the service gone before the program reports
    if (removed) {
      console.err << "pinscope-cli: " << invocation.port << " at " << fw::HexNumber(lpt.GetLptIOBase(), 3)
                  << " went away while in use (its card was removed or disabled); what was read after that is"
                     " not the port's\n";
      return kPortFailed;
    }
    return code;
  } catch (const UnknownPort& error) {
    console.err << "pinscope-cli: " << error.what() << "\n";
    return kPortFailed;
  } catch (const std::exception& error) {
    console.err << "pinscope-cli: " << ConsoleText(error.what()) << "\n";
    // Why the system refused the open, whichever layer it refused.
    const std::optional<FatalError>& refused = lpt.OpenError();
    if (refused && refused->system_error == ERROR_ACCESS_DENIED && lpt.GetDirectMode() && !lpt.PortRefused())
      console.err << "Direct mode installs and starts a driver: run pinscope-cli from an elevated command prompt"
                     " (Run as administrator).\n";
    // The pins were asked for, so handle mode is not tried in their place; but the user learns
    // what it still gives where the driver cannot be had.
    if (refused && lpt.GetDirectMode() && !lpt.PortRefused() && DriverCannotBeHad(refused->system_error))
      console.err << "Without Pinscope's driver, handle mode (--handle) still works: list, write (bytes with the"
                     " system's handshake), and read and watch of the states Windows' port driver decodes (busy,"
                     " selected, paper empty, off line), not single pins.\n";
    return kPortFailed;
  }
}

/// `wide` in the ANSI code page; nothing when a character of it has no exact form there.
std::optional<std::string> AnsiText(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int count = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  const int size = win::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), count, nullptr, 0, nullptr,
                                            &used_default);
  if (size <= 0 || used_default) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  if (win::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), count, text.data(), size, nullptr,
                               &used_default) != size ||
      used_default)
    return {};
  return text;
}

/// `code`, unless the output could not be written (a full disk, a closed pipe): what was not
/// written is not done.
int Flushed(std::ostream& out, std::ostream& err, int code) {
  if (out.flush()) return code;
  err << "pinscope-cli: the output could not be written\n";
  return code == kDone ? kOutputFailed : code;
}

}  // namespace

int RunProgram(std::span<const std::wstring> arguments, std::ostream& out, std::ostream& err) {
  std::vector<std::string> ansi;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::optional<std::string> text = AnsiText(arguments[i]);
    if (!text) {
      err << "pinscope-cli: argument " << i + 1
          << " holds characters that the system's ANSI code page cannot hold; to send exact bytes, put them in a"
             " file and use write --file\n";
      return kUsage;
    }
    ansi.push_back(std::move(*text));
  }
  return RunProgram(ansi, out, err);
}

int RunProgram(std::span<const std::string> arguments, std::ostream& out, std::ostream& err) {
  Invocation invocation;
  try {
    invocation = ParseArguments(arguments);
  } catch (const UsageError& error) {
    err << "pinscope-cli: " << error.what() << "\nTry pinscope-cli --help.\n";
    return kUsage;
  }
  switch (invocation.command) {
    case Command::Help:
      out << HelpText();
      return Flushed(out, err, kDone);
    case Command::Version:
      out << "pinscope-cli " << PINSCOPE_VERSION << "\n";
      return Flushed(out, err, kDone);
    default:
      break;
  }
  for (const std::string& warning : invocation.warnings) err << "pinscope-cli: " << warning << "\n";
  // Caught from before the file is opened and the port opens: a Ctrl+C while a large file is
  // read or the driver starts still ends the run well, and closing the console waits.
  StopRequest stop;
  Console console{out, err, stop};
  std::optional<InputFile> file;
  if (invocation.file) {
    try {
      file.emplace(*invocation.file);
    } catch (const FileError& error) {
      err << "pinscope-cli: " << error.what() << "\n";
      return kUsage;
    }
    console.file = &*file;
  }
  std::optional<OutputFile> vcd, svg;
  try {
    if (invocation.capture.vcd) console.vcd = &vcd.emplace(*invocation.capture.vcd);
    if (invocation.capture.svg) console.svg = &svg.emplace(*invocation.capture.svg);
  } catch (const FileError& error) {
    err << "pinscope-cli: " << error.what() << "\n";
    return kUsage;
  }
  int code = RunOnPort(invocation, console);
  // Before an end of the session may go on: a file the capture did not fill goes with it.
  vcd.reset();
  svg.reset();
  stop.Done();  // the port is closed: an end of the session may go on
  if (stop.Requested()) {
    err << "pinscope-cli: stopped; the port is closed\n";
    code = kStopped;
  }
  return Flushed(out, err, code);
}

}  // namespace cli

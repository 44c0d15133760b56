#include "cli/program.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/report.h"
#include "cli/stop_request.h"
#include "lib/vllpt.h"
#include "platform/win32.h"

namespace cli {

namespace {

/// The port is not one of the machine's, and no --base says where it is.
class UnknownPort : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The driver loader's failures carry the system's error; the component's own only a text.
struct DriverErrors {
  DWORD last = ERROR_SUCCESS;
  void OnError(fw::TObject*, uint32_t, uint32_t detail, const std::string&, bool&) { last = detail; }
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
    ports.push_back({device.Name, device.Number, device.Param});
  }
  return ports;
}

/// Points `lpt` at the port, closed, as choosing it in the window's port box does.
void SelectPort(TvlLPT& lpt, const Invocation& invocation) {
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

int RunOnPort(const Invocation& invocation, const Console& console) {
  TvlLPT lpt(nullptr);
  DriverErrors driver_errors;
  lpt.Driver().OnError = TOnFatalErrorEvent::Of<&DriverErrors::OnError>(&driver_errors);
  try {
    if (invocation.command == Command::List) {
      PrintPortList(console.out, MachinePorts(lpt), invocation.json);
      return kDone;
    }
    SelectPort(lpt, invocation);
    lpt.SetActive(true);
    const int code = RunPortCommand(lpt, invocation, console);
    lpt.SetActive(false);  // the port closed and the service gone before the program reports
    return code;
  } catch (const UnknownPort& error) {
    console.err << "pinscope-cli: " << error.what() << "\n";
    return kPortFailed;
  } catch (const std::exception& error) {
    // Read before anything else can change it: why the system refused.
    const DWORD cause = driver_errors.last != ERROR_SUCCESS ? driver_errors.last : win::GetLastError();
    console.err << "pinscope-cli: " << ConsoleText(error.what()) << "\n";
    if (cause == ERROR_ACCESS_DENIED && lpt.GetDirectMode())
      console.err << "Direct mode installs and starts a driver: run pinscope-cli from an elevated command prompt"
                     " (Run as administrator).\n";
    return kPortFailed;
  }
}

}  // namespace

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
      return kDone;
    case Command::Version:
      out << "pinscope-cli " << PINSCOPE_VERSION << "\n";
      return kDone;
    default:
      break;
  }
  if (invocation.file) {
    std::ifstream file(*invocation.file, std::ios::binary);
    if (!file) {
      err << "pinscope-cli: cannot read " << *invocation.file << "\n";
      return kUsage;
    }
    invocation.text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // Caught from before the port opens: a Ctrl+C while the driver starts still closes it.
  const StopRequest stop;
  const Console console{out, err, stop};
  const int code = RunOnPort(invocation, console);
  if (stop.Requested()) {
    err << "pinscope-cli: stopped; the port is closed\n";
    return kStopped;
  }
  return code;
}

}  // namespace cli

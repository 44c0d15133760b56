// What handle mode can read of a port: the states Windows' parallel port driver decodes from
// its lines (IOCTL_PAR_QUERY_INFORMATION), which are not pin levels, and miss Ack and Fault.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/commands.h"

namespace cli {

/// read --handle: opens the system's port device as handle mode does, but without the
/// initialisation request that handle mode's open sends (it resets the device), asks for the
/// states and prints them. Exit code 1 with the system's reason where the driver cannot tell.
int ReadSystemStates(const std::string& port, bool json, const Console& console);

/// watch --handle: the same states, a time-stamped line each time one changes.
int WatchSystemStates(const Invocation& invocation, const Console& console);

/// What the system's port device tells of itself, asked without the initialisation request;
/// changes nothing on the port.
struct PortDeviceAnswer {
  /// Free of other clients of the port driver: held while its device is open elsewhere (a
  /// print job) or IOCTL_PAR_IS_PORT_FREE says so; nothing where the driver does not tell.
  std::optional<bool> free;
  /// Its name as the driver gives it (IOCTL_PAR_QUERY_LOCATION, "LPT1"), where it does.
  std::optional<std::string> location;
};
PortDeviceAnswer AskPortDevice(const std::string& port);

void PrintSystemStates(std::ostream& out, std::string_view port, uint8_t states, bool json);

}  // namespace cli

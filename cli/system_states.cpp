#include "cli/system_states.h"

#include <cstring>
#include <optional>

#include "cli/exit_codes.h"
#include "cli/report.h"
#include "lib/vlwin32.h"
#include "platform/nt_names.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"
#include "connector/pins.h"

namespace cli {

namespace {

std::string LineText(const vport_system_state& state) {
  if (!state.pin) return "no one line";
  return std::string(connector::SignalOf(state.pin)->name) + " (" + std::to_string(state.pin) + ") " +
         (state.level ? "high" : "low");
}

/// The signal pins no state stands for, by number.
std::string UnshownPins(const char* separator, bool names) {
  std::string text;
  for (const vport_signal& signal : connector::kSignals) {
    bool shown = false;
    for (const vport_system_state& state : connector::kSystemStates) shown |= state.pin == signal.pin;
    if (shown) continue;
    if (!text.empty()) text += separator;
    text += names ? std::string(signal.name) + " (" + std::to_string(signal.pin) + ")" : std::to_string(signal.pin);
  }
  return text;
}

std::string StatesSet(uint8_t states) {
  std::string text;
  for (const vport_system_state& state : connector::kSystemStates)
    if (states & state.flag) text += (text.empty() ? "" : ", ") + std::string(state.name);
  return text.empty() ? "none" : text;
}

/// The port device, opened as handle mode opens it but without the initialisation request.
platform::UniqueFile OpenPortDevice(const std::string& port) {
  const std::string path = "\\\\.\\" + port;
  return platform::UniqueFile(
      win::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

/// The one byte the port driver answers `code` with; nothing, with the last error, where it does not.
std::optional<uint8_t> AskByte(HANDLE device, DWORD code) {
  BYTE answer = 0;
  DWORD returned = 0;
  win::SetLastError(ERROR_SUCCESS);
  if (win::DeviceIoControl(device, code, nullptr, 0, &answer, sizeof answer, &returned, nullptr) &&
      returned == sizeof answer)
    return answer;
  if (win::GetLastError() == ERROR_SUCCESS) win::SetLastError(ERROR_INVALID_DATA);
  return {};
}

platform::UniqueFile OpenUninitialised(const std::string& port, const Console& console) {
  platform::UniqueFile device = OpenPortDevice(port);
  if (!device)
    console.err << "pinscope-cli: " << port << " open is failed. " << SystemErrorText(win::GetLastError()) << "\n";
  return device;
}

/// The states; nothing, said on standard error, where the driver does not tell them.
std::optional<uint8_t> QueryStates(HANDLE device, const std::string& port, const Console& console) {
  const std::optional<uint8_t> states = AskByte(device, IOCTL_PAR_QUERY_INFORMATION);
  if (!states)
    console.err << "pinscope-cli: the system's driver of " << port
                << " does not tell its states (IOCTL_PAR_QUERY_INFORMATION): " << SystemErrorText(win::GetLastError())
                << "\n";
  return states;
}

}  // namespace

void PrintSystemStates(std::ostream& out, std::string_view port, uint8_t states, bool json) {
  if (json) {
    out << "{\"port\": " << JsonString(port) << ", \"mode\": \"handle\", \"system_states\": \"" << fw::HexNumber(states, 2)
        << "\", \"decoded\": [";
    const char* separator = "";
    for (const vport_system_state& state : connector::kSystemStates) {
      out << separator << "{\"state\": \"" << state.ident << "\", \"set\": " << ((states & state.flag) ? "true" : "false");
      if (state.pin) out << ", \"stands_for\": {\"pin\": " << state.pin << ", \"level\": " << int{state.level} << "}";
      out << "}";
      separator = ", ";
    }
    out << "], \"not_shown\": [" << UnshownPins(", ", false) << "]}\n";
    return;
  }
  out << port << " in handle mode: the states the system's port driver decodes, not pin levels: "
      << fw::HexNumber(states, 2) << "\n";
  out << "State            Set   Stands for\n";
  for (const vport_system_state& state : connector::kSystemStates) {
    std::string name = state.name;
    name.resize(16, ' ');
    out << name << " " << ((states & state.flag) ? "yes" : "no ") << "   " << LineText(state) << "\n";
  }
  out << "Not shown in handle mode: " << UnshownPins(", ", true) << "\n";
}

PortDeviceAnswer AskPortDevice(const std::string& port) {
  PortDeviceAnswer answer;
  const platform::UniqueFile device = OpenPortDevice(port);
  if (!device) {
    const DWORD error = win::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) answer.free = false;
    return answer;
  }
  if (const std::optional<uint8_t> free = AskByte(device.get(), IOCTL_PAR_IS_PORT_FREE)) answer.free = *free != FALSE;
  char location[32] = {};
  DWORD returned = 0;
  if (win::DeviceIoControl(device.get(), IOCTL_PAR_QUERY_LOCATION, nullptr, 0, location, sizeof location - 1,
                           &returned, nullptr) &&
      returned > 0 && returned < sizeof location)
    answer.location = std::string(location, strnlen(location, returned));
  return answer;
}

int ReadSystemStates(const std::string& port, bool json, const Console& console) {
  const platform::UniqueFile device = OpenUninitialised(port, console);
  if (!device) return kPortFailed;
  const std::optional<uint8_t> states = QueryStates(device.get(), port, console);
  if (!states) return kPortFailed;
  PrintSystemStates(console.out, port, *states, json);
  return kDone;
}

int WatchSystemStates(const Invocation& invocation, const Console& console) {
  const platform::UniqueFile device = OpenUninitialised(invocation.port, console);
  if (!device) return kPortFailed;
  std::optional<uint8_t> last = QueryStates(device.get(), invocation.port, console);
  if (!last) return kPortFailed;
  const DWORD start = win::GetTickCount();
  console.out << Stamp(0) << "  start, the system's decoded states (not pin levels): " << StatesSet(*last)
              << "; not shown: " << UnshownPins(", ", true) << std::endl;
  uint32_t changes = 0;
  for (;;) {
    if (!PauseUnlessStopped(invocation.interval_ms, console)) return kStopped;
    const std::optional<uint8_t> now = QueryStates(device.get(), invocation.port, console);
    if (!now) return kPortFailed;
    const DWORD elapsed = win::GetTickCount() - start;
    for (const vport_system_state& state : connector::kSystemStates) {
      if (!((*now ^ *last) & state.flag)) continue;
      console.out << Stamp(elapsed) << "  " << state.name << ((*now & state.flag) ? " set" : " clear") << std::endl;
      if (invocation.count && ++changes >= *invocation.count) return kDone;
    }
    last = now;
  }
}

}  // namespace cli

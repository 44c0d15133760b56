#include "cli/system_states.h"

#include "cli/exit_codes.h"
#include "cli/report.h"
#include "lib/vlwin32.h"
#include "platform/nt_names.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"
#include "vport/pins.h"

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

}  // namespace

void PrintSystemStates(std::ostream& out, std::string_view port, uint8_t states, bool json) {
  if (json) {
    out << "{\"port\": " << JsonString(port) << ", \"mode\": \"handle\", \"system_states\": \"" << HexText(states, 2)
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
      << HexText(states, 2) << "\n";
  out << "State            Set   Stands for\n";
  for (const vport_system_state& state : connector::kSystemStates) {
    std::string name = state.name;
    name.resize(16, ' ');
    out << name << " " << ((states & state.flag) ? "yes" : "no ") << "   " << LineText(state) << "\n";
  }
  out << "Not shown in handle mode: " << UnshownPins(", ", true) << "\n";
}

int ReadSystemStates(const std::string& port, bool json, const Console& console) {
  const std::string path = "\\\\.\\" + port;
  platform::UniqueFile device(
      win::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) {
    console.err << "pinscope-cli: " << port << " open is failed. " << SystemErrorText(win::GetLastError()) << "\n";
    return kPortFailed;
  }
  BYTE states = 0;
  DWORD returned = 0;
  if (!win::DeviceIoControl(device.get(), IOCTL_PAR_QUERY_INFORMATION, nullptr, 0, &states, sizeof states, &returned,
                            nullptr) ||
      returned != sizeof states) {
    console.err << "pinscope-cli: the system's driver of " << port
                << " does not tell its states (IOCTL_PAR_QUERY_INFORMATION): "
                << SystemErrorText(returned != sizeof states && win::GetLastError() == 0 ? ERROR_INVALID_DATA
                                                                                          : win::GetLastError())
                << "\n";
    return kPortFailed;
  }
  PrintSystemStates(console.out, port, states, json);
  return kDone;
}

}  // namespace cli

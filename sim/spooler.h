// The print spooler of the simulated PC, as far as its list of ports goes: EnumPortsA.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"

namespace sim {

class SimSpooler final : public platform::Spooler {
 public:
  struct Port {
    std::string name;  // "LPT1:"
    std::string monitor;
    std::string description;
    DWORD type;  // PORT_TYPE_ bits
  };

  /// Starts with no ports; AddStandardPorts gives those of a fresh installation.
  explicit SimSpooler(Core& core);

  /// Levels 1 (PORT_INFO_1A) and 2 (PORT_INFO_2A) of the local machine. The entries come
  /// first in the buffer, the strings they point to after them; a buffer too small for all
  /// fails with ERROR_INSUFFICIENT_BUFFER and the size needed, and is left alone.
  BOOL EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) override;

  /// Listed after those already there. `type` 0 means readable and writable.
  void AddPort(std::string_view name, std::string_view monitor = "Local Port",
               std::string_view description = "Local Port", DWORD type = 0);
  /// LPT1: to LPT3:, COM1: to COM4:, FILE: of the local port monitor.
  void AddStandardPorts();
  void RemovePort(std::string_view name);
  const std::vector<Port>& Ports() const { return ports_; }

  /// The filling call reports `extra` more entries than it wrote, as a confused spooler
  /// might, so that readers are seen to trust only what fits their buffer.
  void OverstateCount(DWORD extra) { overstated_ = extra; }

 private:
  Core& core_;
  std::vector<Port> ports_;
  DWORD overstated_ = 0;
};

}  // namespace sim

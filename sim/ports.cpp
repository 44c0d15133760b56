#include "sim/ports.h"

#include <algorithm>
#include <string>

#include "sim/format.h"

namespace sim {

SimPortBus::SimPortBus(Core& core, const SimProcess& process) : core_(core), process_(process) {}

vport& SimPortBus::AddPort(WORD base) {
  for (const auto& [other, port] : ports_) {
    if (base + 3 > other && other + 3 > base) {
      throw std::invalid_argument("sim: a port at " + format::Hex(base) + " overlaps the one at " + format::Hex(other));
    }
  }
  auto port = std::make_unique<vport>();
  vport_reset(port.get());
  port->peripheral = nullptr;
  vport& added = *port;
  ports_.emplace(base, std::move(port));
  slots_.push_back({base, &added});
  return added;
}

vport& SimPortBus::Port(WORD base) {
  auto it = ports_.find(base);
  if (it == ports_.end()) throw std::out_of_range("sim: no parallel port at " + format::Hex(base));
  return *it->second;
}

BYTE SimPortBus::Read(WORD port, By by) {
  // Sampled as the access starts, as a signal that moves on its own is.
  const BYTE value = vport_bus_read(slots_.data(), static_cast<unsigned>(slots_.size()), port);
  core_.clock.AddBusTime(kAccessTicks);
  accesses_.push_back({port, value, false, by});
  return value;
}

void SimPortBus::Write(WORD port, BYTE value, By by) {
  accesses_.push_back({port, value, true, by});
  vport_bus_write(slots_.data(), static_cast<unsigned>(slots_.size()), port, value);
  core_.clock.AddBusTime(kAccessTicks);
}

std::size_t SimPortBus::Count(By by) const {
  return static_cast<std::size_t>(
      std::count_if(accesses_.begin(), accesses_.end(), [by](const Access& access) { return access.by == by; }));
}

BYTE SimPortBus::InByte(WORD port) {
  core_.Record("InByte", {format::Hex(port)});
  if (process_.PlatformId() == VER_PLATFORM_WIN32_NT) {
    throw PrivilegedInstruction("IN from port " + format::Hex(port) + " under Windows NT");
  }
  return Read(port, By::Program);
}

void SimPortBus::OutByte(WORD port, BYTE value) {
  core_.Record("OutByte", {format::Hex(port), format::Hex(value)});
  if (process_.PlatformId() == VER_PLATFORM_WIN32_NT) {
    throw PrivilegedInstruction("OUT to port " + format::Hex(port) + " under Windows NT");
  }
  Write(port, value, By::Program);
}

}  // namespace sim

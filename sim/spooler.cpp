#include "sim/spooler.h"

#include <algorithm>
#include <cstring>

#include "platform/win32_types.h"
#include "sim/format.h"

namespace sim {

using format::Dec;
using format::Ptr;
using format::Str;

SimSpooler::SimSpooler(Core& core) : core_(core) { core_.faults.Allow("EnumPortsA"); }

BOOL SimSpooler::EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) {
  core_.Record("EnumPortsA", {Str(server), Dec(level), Ptr(ports), Dec(size), Ptr(needed), Ptr(returned)});
  if (needed) *needed = 0;
  if (returned) *returned = 0;
  if (core_.Failing("EnumPortsA")) return FALSE;
  if (server && *server) throw NotSimulated("EnumPortsA of another machine");
  if (level != 1 && level != 2) return core_.Fail(ERROR_INVALID_LEVEL, FALSE);
  // The spooler is reached by RPC, whose stubs refuse null out pointers.
  if (!needed || !returned || (!ports && size)) return core_.Fail(RPC_X_NULL_REF_POINTER, FALSE);

  const std::size_t entry_size = level == 1 ? sizeof(PORT_INFO_1A) : sizeof(PORT_INFO_2A);
  std::size_t total = ports_.size() * entry_size;
  for (const Port& port : ports_) {
    total += port.name.size() + 1;
    if (level == 2) total += port.monitor.size() + 1 + port.description.size() + 1;
  }
  *needed = static_cast<DWORD>(total);
  if (size < total) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);

  char* strings = reinterpret_cast<char*>(ports) + ports_.size() * entry_size;
  auto place = [&strings](const std::string& text) {
    char* at = strings;
    std::memcpy(at, text.c_str(), text.size() + 1);
    strings += text.size() + 1;
    return at;
  };
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    const Port& port = ports_[i];
    // The caller's buffer need not be aligned for the entries: they go in byte by byte.
    if (level == 1) {
      PORT_INFO_1A entry{place(port.name)};
      std::memcpy(ports + i * entry_size, &entry, sizeof entry);
    } else {
      PORT_INFO_2A entry{};
      entry.pPortName = place(port.name);
      entry.pMonitorName = place(port.monitor);
      entry.pDescription = place(port.description);
      entry.fPortType = port.type;
      std::memcpy(ports + i * entry_size, &entry, sizeof entry);
    }
  }
  *returned = static_cast<DWORD>(ports_.size()) + overstated_;
  return TRUE;
}

void SimSpooler::AddPort(std::string_view name, std::string_view monitor, std::string_view description, DWORD type) {
  ports_.push_back({std::string(name), std::string(monitor), std::string(description),
                    type ? type : PORT_TYPE_WRITE | PORT_TYPE_READ});
}

void SimSpooler::AddStandardPorts() {
  for (const char* name : {"LPT1:", "LPT2:", "LPT3:", "COM1:", "COM2:", "COM3:", "COM4:"}) AddPort(name);
  AddPort("FILE:", "Local Port", "Print to File", PORT_TYPE_WRITE);
}

void SimSpooler::RemovePort(std::string_view name) {
  std::erase_if(ports_, [name](const Port& port) { return format::SameName(port.name, name); });
}

}  // namespace sim

#include "sim/pc.h"

namespace sim {

Pc::Pc()
    : platform_{&files,     &process, &windows, &time,     &services, &resources,
                &ports,     &modules, &registry, &spooler, &graphics} {
  files.MountDisk(disk);
  files.MountAhead(kernel);
  windows.AttachImage(&resources);
}

vport& Pc::AddSignalGeneratorPort() {
  constexpr WORD kBase = 0x3BC;
  vport& port = ports.AddPort(kBase);
  vport_plug(&port, &signal_generator_.plug);
  setup_api.AddParallelPort("LPT3", kBase);
  return port;
}

std::int64_t Pc::ReadCounter(void* clock, std::int64_t* frequency) {
  *frequency = Clock::kCounterFrequency;
  return static_cast<const Clock*>(clock)->Counter();
}

}  // namespace sim

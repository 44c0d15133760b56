#include "sim/pc.h"

namespace sim {

Pc::Pc()
    : platform_{&files,     &process, &windows, &time,     &services, &resources,
                &ports,     &modules, &registry, &spooler, &graphics} {
  files.MountDisk(disk);
  files.MountAhead(kernel);
  windows.AttachImage(&resources);
}

}  // namespace sim

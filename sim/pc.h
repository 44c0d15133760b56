// The simulated Windows PC: one core shared by a piece for each family of the seam.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/disk.h"
#include "sim/files.h"
#include "sim/graphics.h"
#include "sim/kernel.h"
#include "sim/modules.h"
#include "sim/ports.h"
#include "sim/process.h"
#include "sim/registry.h"
#include "sim/resources.h"
#include "sim/services.h"
#include "sim/setup_api.h"
#include "sim/spooler.h"
#include "sim/time.h"
#include "sim/windows.h"
#include "vport/vport.h"

namespace sim {

/// A fresh PC per test:
///   sim::Pc pc;
///   platform::ScopedInstall installed(pc.platform());
/// or sim::InstalledPc, which does both.
class Pc {
 public:
  Pc();
  Pc(const Pc&) = delete;
  Pc& operator=(const Pc&) = delete;

  const platform::Platform& platform() const { return platform_; }

  /// LPT3 at 0x3BC with the signal generator (vport_signal_generator) plugged in, on this
  /// PC's performance counter, and listed among the machine's parallel ports: the port the
  /// virtual-port driver has there.
  vport& AddSignalGeneratorPort();

  Core core;
  SimFiles files{core};
  SimProcess process{core};
  SimWindows windows{core};
  SimTime time{core};
  Disk disk;
  SimResources resources{core};
  SimPortBus ports{core, process};
  SimKernel kernel{ports, core.clock};
  SimServices services{core, disk, kernel};
  SimRegistry registry{core};
  SimSetupApi setup_api{core, registry};
  SimModules modules{core, setup_api, registry, process};
  SimSpooler spooler{core};
  SimGraphics graphics{core, windows};

 private:
  static std::int64_t ReadCounter(void* clock, std::int64_t* frequency);

  platform::Platform platform_;
  vport_signal_generator signal_generator_ =
      VPORT_SIGNAL_GENERATOR_INITIALIZER(&signal_generator_, &Pc::ReadCounter, &core.clock);
};

/// A Pc that is the installed platform for its lifetime.
class InstalledPc : public Pc {
 public:
  InstalledPc() : installed_(platform()) {}

 private:
  platform::ScopedInstall installed_;
};

}  // namespace sim

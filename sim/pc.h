// The simulated Windows PC: one core shared by a piece for each family of the seam.
#pragma once

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/sim_files.h"
#include "sim/sim_process.h"
#include "sim/sim_time.h"
#include "sim/sim_windows.h"

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

  Core core;
  SimFiles files{core};
  SimProcess process{core};
  SimWindows windows{core};
  SimTime time{core};

 private:
  platform::Platform platform_;
};

/// A Pc that is the installed platform for its lifetime.
class InstalledPc : public Pc {
 public:
  InstalledPc() : installed_(platform()) {}

 private:
  platform::ScopedInstall installed_;
};

}  // namespace sim

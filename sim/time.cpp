#include "sim/time.h"

#include "sim/format.h"

namespace sim {

DWORD SimTime::GetTickCount() {
  core_.Record("GetTickCount", {});
  const DWORD tick = core_.clock.Tick();
  if (advance_per_reading_) core_.clock.Advance(advance_per_reading_);
  return tick;
}

void SimTime::Sleep(DWORD milliseconds) {
  core_.Record("Sleep", {format::Dec(milliseconds)});
  core_.clock.Advance(milliseconds);
}

}  // namespace sim

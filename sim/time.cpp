#include "sim/time.h"

#include "sim/format.h"

namespace sim {

DWORD SimTime::GetTickCount() {
  core_.Record("GetTickCount", {});
  return core_.clock.Tick();
}

void SimTime::Sleep(DWORD milliseconds) {
  core_.Record("Sleep", {format::Dec(milliseconds)});
  core_.clock.Advance(milliseconds);
}

}  // namespace sim

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

// Not journalled: a sampling loop reads it thousands of times.
BOOL SimTime::QueryPerformanceCounter(LARGE_INTEGER* count) {
  count->QuadPart = core_.clock.Counter();
  return TRUE;
}

BOOL SimTime::QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = Clock::kCounterFrequency;
  return TRUE;
}

}  // namespace sim

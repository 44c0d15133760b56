// One process's enumerations of the machine's parallel ports, for enumeration_windows: the
// first (cold: the component loads SetupAPI) and then warm ones on the same component, and
// the first of a second component. Prints one line:
//   <setupapi mapped before the first> <ports> <cold us> <second component us> <warm us>...
// It links no SetupAPI of its own, so that the cold figure includes loading it.
#include <cstdio>

#include "bench/stopwatch_windows.h"
#include "lib/vllpt.h"

namespace {

double MicrosecondsToEnumerate(TvlLPT& lpt) {
  lpt.ClearDevices();
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  lpt.EnumDevices();
  QueryPerformanceCounter(&end);
  return bench::Seconds(start, end) * 1e6;
}

}  // namespace

int main() {
  constexpr int kWarm = 9;
  const bool preloaded = GetModuleHandleA("setupapi.dll") != nullptr;
  double cold = 0, second = 0, warm[kWarm];
  int ports = 0;
  {
    TvlLPT lpt(nullptr);
    cold = MicrosecondsToEnumerate(lpt);
    ports = lpt.DeviceCount();
    for (double& us : warm) us = MicrosecondsToEnumerate(lpt);
    TvlLPT another(nullptr);
    second = MicrosecondsToEnumerate(another);
  }
  std::printf("%d %d %.1f %.1f", preloaded ? 1 : 0, ports, cold, second);
  for (double us : warm) std::printf(" %.1f", us);
  std::printf("\n");
  return 0;
}

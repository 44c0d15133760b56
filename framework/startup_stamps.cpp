// The start-up stamps of the benchmark's build of Pinscope: the performance counter at the end
// of each phase, written to the standard output once the first paint is done, one line per
// phase ("phase counter"). bench/startup_windows.cpp starts the program with a pipe there and
// subtracts the counter it took before creating the process: the counter is the machine's,
// so the two processes' readings compare. Every other build compiles this to nothing. The
// stamps call Windows directly rather than through the seam: they only ever measure the real
// program, and a simulated clock would have nothing to say.
#include "framework/startup_stamps.h"

#ifdef PINSCOPE_STARTUP_STAMPS

#include <windows.h>

#include <cstdio>

namespace fw {
namespace {

struct Stamps {
  LONGLONG at[static_cast<int>(StartupPhase::kCount)] = {};
  bool written = false;
};

// A benchmark's instrument, in the benchmark's build only: the program proper has no such state.
Stamps& Recorded() {
  static Stamps stamps;
  return stamps;
}

void Write(const Stamps& stamps) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return;
  char text[64 * static_cast<int>(StartupPhase::kCount)];
  int length = 0;
  for (int phase = 0; phase < static_cast<int>(StartupPhase::kCount); ++phase) {
    length += std::snprintf(text + length, sizeof text - length, "%d %lld\n", phase, stamps.at[phase]);
  }
  DWORD written = 0;
  WriteFile(out, text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

void StampStartup(StartupPhase phase) {
  Stamps& stamps = Recorded();
  LONGLONG& at = stamps.at[static_cast<int>(phase)];
  if (at != 0 || stamps.written) return;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  at = now.QuadPart;
  if (phase == StartupPhase::kFirstPaint) {
    stamps.written = true;
    Write(stamps);
  }
}

void StampStartupWhenIdle() {
  if (Recorded().written) return;
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) StampStartup(StartupPhase::kFirstPaint);
}

}  // namespace fw

#endif  // PINSCOPE_STARTUP_STAMPS

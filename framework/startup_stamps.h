// Where the program's start-up time goes. Only the benchmark's build of the program
// (PINSCOPE_STARTUP_STAMPS, see app/CMakeLists.txt) records anything: there each stamp takes the
// performance counter when a phase ends and bench/startup_windows.cpp reads them back. In
// every other build the stamps are empty statements, so the program users run carries no
// code for them.
#pragma once

#ifdef PINSCOPE_STARTUP_STAMPS

namespace fw {

/// The phases of start-up, each named by what has happened when it ends, in the order they end.
enum class StartupPhase {
  kMainEntered,      // the runtime and the static initialisers have run
  kLayoutRead,       // the window's layout text is a tree
  kSetupLoaded,      // SetupAPI is loaded and its entry points found
  kPortsEnumerated,  // the device list holds the machine's ports
  kComponentsMade,   // every component is made, its properties set, the layout loaded
  kWindowsMade,      // every window is made and the main one shown
  kFirstPaint,       // nothing is left in the queue: every window is painted
  kCount
};

/// Records the end of `phase` (its first end only); framework/startup_stamps.cpp defines it.
void StampStartup(StartupPhase phase);
/// Records the first paint once the message queue holds nothing, not even a paint.
void StampStartupWhenIdle();

}  // namespace fw

#define PINSCOPE_STAMP_STARTUP(phase) ::fw::StampStartup(::fw::StartupPhase::phase)
#define PINSCOPE_STAMP_STARTUP_WHEN_IDLE() ::fw::StampStartupWhenIdle()

#else

#define PINSCOPE_STAMP_STARTUP(phase) static_cast<void>(0)
#define PINSCOPE_STAMP_STARTUP_WHEN_IDLE() static_cast<void>(0)

#endif

// What pinscope-cli tells the caller through its exit code; --help and the README list them.
#pragma once

namespace cli {

enum ExitCode : int {
  kDone = 0,
  kPortFailed = 1,    // the port or the driver failed; the system's reason goes to standard error
  kUsage = 2,         // the command line asks for something the program does not do
  kDeviceFailed = 3,  // the port works, the device behind it did not (a wire, a busy printer)
  kOutputFailed = 4,  // all went well but standard output could not take the result (full, closed)
  kCheckOnceElevated = 5,  // check: direct mode can work here once the program runs elevated
  kCheckCannot = 6,        // check: direct mode cannot work here; the last line says the first reason
  kStopped = 130,     // Ctrl+C or Ctrl+Break, as shells report a program ended by SIGINT
};

}  // namespace cli

// What pinscope-cli tells the caller through its exit code; --help and the README list them.
#pragma once

namespace cli {

enum ExitCode : int {
  kDone = 0,
  kPortFailed = 1,    // the port or the driver failed; the system's reason goes to standard error
  kUsage = 2,         // the command line asks for something the program does not do
  kDeviceFailed = 3,  // the port works, the device behind it did not (a wire, a busy printer)
  kOutputFailed = 4,  // all went well but standard output could not take the result (full, closed)
  kStopped = 130,     // Ctrl+C or Ctrl+Break, as shells report a program ended by SIGINT
};

}  // namespace cli

// pinscope-cli: the pins of a parallel port from a command prompt or a script.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/program.h"
#include "cli/session_window.h"

// The wide command line: the characters as typed, whatever the console's code page.
extern "C" int wmain(int argc, wchar_t** argv) {
  try {
    const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const cli::SessionWindow session;  // the log-off and shut-down that a console event never tells
    return cli::RunProgram(arguments, std::cout, std::cerr);
  } catch (const std::exception& error) {
    // Out of memory, or a thread that would not start: said, never ended by terminate.
    std::cerr << "pinscope-cli: " << error.what() << "\n";
    return cli::kPortFailed;
  }
}

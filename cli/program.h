// pinscope-cli from its command line to its exit code: parse, pick the port as the window does
// (the same enumeration, open and close), run the command, close. Failures go to `err`, never
// to a message box.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace cli {

/// `arguments` without the program's name; returns the exit code (cli/exit_codes.h).
int RunProgram(std::span<const std::string> arguments, std::ostream& out, std::ostream& err);

/// The same with the command line as Windows holds it, in wide characters. Each argument is
/// taken into the ANSI code page, the library's text, exactly or not at all: one with a
/// character the code page lacks is refused (exit 2) rather than changed to '?' or to a
/// look-alike.
int RunProgram(std::span<const std::wstring> arguments, std::ostream& out, std::ostream& err);

}  // namespace cli

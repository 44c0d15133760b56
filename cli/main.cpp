// pinscope-cli: the pins of a parallel port from a command prompt or a script.
#include <iostream>
#include <string>
#include <vector>

#include "cli/program.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const int code = cli::RunProgram(arguments, std::cout, std::cerr);
  std::cout.flush();
  return code;
}

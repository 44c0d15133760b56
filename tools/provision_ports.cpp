// Gives a Windows (or Wine) machine parallel ports in its device database:
//   provision_ports LPT1=0x378 LPT2=0x278
// Ports that are already there are left alone, so running it twice changes nothing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/port_provisioning.h"

int main(int argc, char** argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const char* equals = std::strchr(argv[i], '=');
    if (!equals) {
      std::fprintf(stderr, "usage: provision_ports LPTn=BASE...\n");
      return 2;
    }
    const std::string name(argv[i], static_cast<size_t>(equals - argv[i]));
    const unsigned base = static_cast<unsigned>(std::strtoul(equals + 1, nullptr, 0));
    if (ParallelPortExists(name)) {
      std::printf("%s is there\n", name.c_str());
    } else if (AddParallelPort(name, base)) {
      std::printf("%s added at 0x%X\n", name.c_str(), base);
    } else {
      std::fprintf(stderr, "%s could not be added: error %lu\n", name.c_str(), GetLastError());
      status = 1;
    }
  }
  return status;
}

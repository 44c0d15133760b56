// Gives a Windows (or Wine) machine parallel ports in its device database:
//   provision_ports                       the virtual-port driver's: LPT1=0x378 LPT2=0x278 LPT3=0x3BC
//   provision_ports LPT1=0x378 LPT2=0x278 the ports named
// Ports that are already there are left alone, so running it twice changes nothing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/port_provisioning.h"

int main(int argc, char** argv) {
  // The virtual-port driver answers at these: LPT1 with the loopback plug, LPT2 with a
  // printer, LPT3 with the signal generator.
  std::vector<std::string> ports = {"LPT1=0x378", "LPT2=0x278", "LPT3=0x3BC"};
  if (argc > 1) ports.assign(argv + 1, argv + argc);
  int status = 0;
  for (const std::string& port : ports) {
    const size_t equals = port.find('=');
    if (equals == std::string::npos) {
      std::fprintf(stderr, "usage: provision_ports [LPTn=BASE...]\n");
      return 2;
    }
    const std::string name = port.substr(0, equals);
    const unsigned base = static_cast<unsigned>(std::strtoul(port.c_str() + equals + 1, nullptr, 0));
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

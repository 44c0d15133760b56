// Reads I/O ports through a running vlio driver, for tests that look at the port from
// outside the program that drives it. The first port named is the base of the port claimed:
//   port_probe 0x378 0x37A      prints "378=01 37A=0C"
//   port_probe 0x378            prints "378 held" while another open (the program) holds it
// Exits 1 when the driver's device does not open (the driver is not running, or this process
// may not load drivers: it must run elevated, as Pinscope does) or the claim is refused for
// another reason.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "driver/vlio_ioctl.h"
#include "platform/unique_handle.h"

namespace {

/// Enables the load-driver privilege in this process's token, which vlio asks of whoever opens
/// its device. Nothing to restore: the process ends after its one open.
void EnableLoadDriverPrivilege() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &opened)) return;
  const platform::UniqueHandle token(opened);
  TOKEN_PRIVILEGES enable{};
  enable.PrivilegeCount = 1;
  enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueA(nullptr, SE_LOAD_DRIVER_NAME, &enable.Privileges[0].Luid))
    AdjustTokenPrivileges(token.get(), FALSE, &enable, 0, nullptr, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  EnableLoadDriverPrivilege();
  const platform::UniqueFile device(
      CreateFileA(VLIO_WIN32_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device) {
    std::fprintf(stderr, "vlio does not open: error %lu\n", GetLastError());
    return 1;
  }
  if (argc < 2) return 1;
  VLIO_CLAIM_INPUT claim{static_cast<uint16_t>(std::strtoul(argv[1], nullptr, 0))};
  DWORD claimed = 0;
  if (!DeviceIoControl(device.get(), IOCTL_VLIO_CLAIM, &claim, sizeof claim, nullptr, 0, &claimed, nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_BUSY) {
      std::fprintf(stderr, "claiming %s failed: error %lu\n", argv[1], error);
      return 1;
    }
    std::printf("%X held\n", claim.Base);
    return 0;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    VLIO_READ_INPUT request{static_cast<uint16_t>(std::strtoul(argv[i], nullptr, 0))};
    UCHAR value = 0;
    DWORD returned = 0;
    if (!DeviceIoControl(device.get(), IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value, &returned, nullptr)) {
      std::fprintf(stderr, "reading %s failed: error %lu\n", argv[i], GetLastError());
      status = 1;
      continue;
    }
    std::printf("%s%X=%02X", i > 1 ? " " : "", request.Port, value);
  }
  std::printf("\n");
  return status;
}

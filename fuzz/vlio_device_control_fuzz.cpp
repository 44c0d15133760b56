// The driver's dispatch routines on the host kernel, with any control code, any buffer
// lengths and contents, several opens made and closed in any order, and callers with or
// without the load-driver privilege. Besides what the sanitizers see (a read or write past the
// system buffer), every request must be answered as the driver's contract says: completed once,
// Information never past the output buffer, a claim answered by who holds which port, and a
// port touched only by a well-formed read or write of a register of the port its open holds
// that is not one of the machine's own (a short request is invalid, any other is denied).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "driver/host/kernel_host.h"
#include "driver/vlio_ioctl.h"

extern "C" DRIVER_INITIALIZE DriverEntry;

namespace {

// The bus answers every port with its own low byte, so a read's answer tells which port it was.
class EchoPorts final : public kernel_host::PortBus {
 public:
  uint8_t Read(uint16_t port) override { return static_cast<uint8_t>(port); }
  void Write(uint16_t, uint8_t) override {}
};

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "vlio broke its contract: %s\n", what);
  std::abort();
}

// What the driver serves on a kernel without a parallel port driver: the legacy ports alone.
struct LegacyPort {
  uint16_t first, last;
};
constexpr LegacyPort kLegacyPorts[] = {{0x3BC, 0x3BF}, {0x378, 0x37F}, {0x278, 0x27F}};
constexpr int kNone = -1;

struct Open {
  FILE_OBJECT* file;
  int port;  // index into kLegacyPorts, or kNone
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  kernel_host::Kernel kernel;
  EchoPorts ports;
  kernel.ConnectPorts(&ports);
  kernel_host::Driver driver(kernel, &DriverEntry);
  if (driver.Load() != STATUS_SUCCESS) Broken("load failed on a kernel that fails nothing");

  std::vector<Open> opens;
  auto holder = [&](int port) {
    for (const Open& open : opens)
      if (open.port == port) return &open;
    return static_cast<const Open*>(nullptr);
  };
  // A few requests per input, so that the opens' histories matter too.
  while (input.remaining_bytes() > 0) {
    const bool privileged = input.ConsumeBool();
    kernel.SetRequestor(privileged ? kernel_host::PrivilegedClient() : kernel_host::UnprivilegedClient());
    const size_t accesses = kernel.PortAccesses().size();
    const int what = input.ConsumeIntegralInRange(0, 7);
    if (opens.empty() || what == 0) {
      const kernel_host::Reply opened = driver.Create();
      if (opened.status != (privileged ? STATUS_SUCCESS : STATUS_ACCESS_DENIED)) Broken("create status");
      if (opened.completions != 1 || opened.information != 0) Broken("create completion");
      if (kernel.PortAccesses().size() != accesses) Broken("create touched a port");
      if (privileged) opens.push_back({opened.file, kNone});
      continue;
    }
    const size_t which = input.ConsumeIntegralInRange<size_t>(0, opens.size() - 1);
    Open& open = opens[which];
    if (what == 1) {
      const kernel_host::Reply closed = driver.Close(open.file);
      if (closed.status != STATUS_SUCCESS || closed.completions != 1) Broken("close");
      if (kernel.PortAccesses().size() != accesses) Broken("close touched a port");
      opens.erase(opens.begin() + static_cast<std::ptrdiff_t>(which));
      continue;
    }
    // Mostly the driver's own three codes, sometimes anything at all.
    ULONG code = input.ConsumeIntegral<ULONG>();
    switch (code % 5) {
      case 0: code = IOCTL_VLIO_READ; break;
      case 1: code = IOCTL_VLIO_WRITE; break;
      case 2: code = IOCTL_VLIO_CLAIM; break;
      default: break;
    }
    const size_t in_size = input.ConsumeIntegralInRange<size_t>(0, 16);
    const size_t out_size = input.ConsumeIntegralInRange<size_t>(0, 16);
    std::vector<uint8_t> in = input.ConsumeBytes<uint8_t>(in_size);
    in.resize(in_size, 0);
    // Mostly near the legacy ports, whose claims and registers are the interesting part.
    if (in_size >= 2 && input.ConsumeBool()) {
      const LegacyPort& near = kLegacyPorts[in[0] % 3];
      const uint16_t port = static_cast<uint16_t>(near.first - 1 + in[1] % 10);
      in[0] = static_cast<uint8_t>(port);
      in[1] = static_cast<uint8_t>(port >> 8);
    }
    const std::vector<uint8_t> out(out_size, 0xEE);
    const kernel_host::Reply reply = driver.DeviceControl(open.file, code, in, out);

    if (reply.completions != 1 || reply.returned != reply.status) Broken("completion");
    if (reply.information > out_size) Broken("Information past the output buffer");
    const size_t made = kernel.PortAccesses().size() - accesses;
    const uint16_t port = in_size >= 2 ? static_cast<uint16_t>(in[0] | in[1] << 8) : 0;
    const bool read = code == IOCTL_VLIO_READ, write = code == IOCTL_VLIO_WRITE;
    if (code == IOCTL_VLIO_CLAIM) {
      int served = kNone;
      for (int i = 0; i < 3; ++i)
        if (kLegacyPorts[i].first == port) served = i;
      const Open* held_by = served == kNone ? nullptr : holder(served);
      const NTSTATUS expected = in_size < 2                                 ? STATUS_INVALID_PARAMETER
                                : served == kNone                           ? STATUS_ACCESS_DENIED
                                : held_by != nullptr && held_by != &open    ? STATUS_DEVICE_BUSY
                                                                            : STATUS_SUCCESS;
      if (reply.status != expected) Broken("claim status");
      if (reply.information != 0 || made != 0) Broken("a claim answered with data or touched a port");
      if (expected == STATUS_SUCCESS) open.port = served;
      continue;
    }
    const bool well_formed = (read && in_size >= 2 && out_size >= 1) || (write && in_size >= 3);
    const bool claimed = open.port != kNone && port >= kLegacyPorts[open.port].first &&
                         port <= kLegacyPorts[open.port].last;
    const bool denied = well_formed && (!claimed || (read ? VlioIsSystemPort(port) : VlioIsWriteRefused(port)));
    if ((read || write) && (!well_formed || denied)) {
      if (reply.status != (well_formed ? STATUS_ACCESS_DENIED : STATUS_INVALID_PARAMETER)) Broken("refusal status");
      if (reply.information != 0 || made != 0) Broken("a refused request was served");
      if (reply.output != out) Broken("a refused request wrote to the output buffer");
    } else if (read) {
      if (reply.status != STATUS_SUCCESS || made != 1) Broken("read status");
      const kernel_host::PortAccess access = kernel.PortAccesses().back();
      if (access.write || access.port != port) Broken("read went to another port");
      if (reply.information != 1 || reply.output[0] != static_cast<uint8_t>(port)) Broken("read answer");
    } else if (write) {
      if (reply.status != STATUS_SUCCESS || reply.information != 0 || made != 1) Broken("write status");
      const kernel_host::PortAccess access = kernel.PortAccesses().back();
      if (!access.write || access.port != port || access.value != in[2]) Broken("write went elsewhere");
    } else {
      if (reply.status != STATUS_UNSUCCESSFUL || reply.information != 0 || made != 0) Broken("unknown code");
    }
  }
  for (const Open& open : opens) driver.Close(open.file);
  if (!kernel.Faults().empty()) Broken(kernel.Faults().front().c_str());
  driver.Unload();
  if (!kernel.Devices().empty() || !kernel.Links().empty()) Broken("unload left the device or the link");
  return 0;
}

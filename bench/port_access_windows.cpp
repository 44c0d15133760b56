// Port access through the driver client against bare requests on the same device, measured
// side by side in one run: install the virtual-port driver, then alternate rounds of each.
// Run under Wine (or on Windows, elevated): build/win64/wine-run build/win64/bench/port_access_windows.exe
#include <cstdio>
#include <vector>

#include "bench/build_type.h"
#include "bench/stopwatch_windows.h"
#include "driver/vlio_ioctl.h"
#include "lib/vllpt.h"
#include "platform/unique_handle.h"

int main() {
  if (!bench::ReleaseBuild()) return 2;
  TvlLptDriver driver;
  const int32_t handle = driver.Open();
  if (handle == -1) {
    std::fprintf(stderr, "the driver did not open: %lu\n", GetLastError());
    return 1;
  }
  // An open reaches only the port it holds: without the claim both sides measure refusals.
  if (!driver.ClaimPort(0x378)) {
    std::fprintf(stderr, "the driver did not give LPT1 (0x378): %lu\n", GetLastError());
    return 1;
  }
  const HANDLE device = platform::HandleOf(handle);
  volatile uint8_t sink = 0;

  auto client = [&] { sink = driver.ReadPort(0x379); };
  auto bare = [&] {
    VLIO_READ_INPUT request{0x379};
    uint8_t value = 0;
    DWORD returned = 0;
    DeviceIoControl(device, IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value, &returned, nullptr);
    sink = value;
  };

  constexpr int kRounds = 21, kCount = 300;
  std::vector<double> client_ns, bare_ns, ratios;
  bench::NanosecondsPerCall(kCount / 10, bare);  // warm up the path into the driver
  for (int round = 0; round < kRounds; ++round) {
    client_ns.push_back(bench::NanosecondsPerCall(kCount, client));
    bare_ns.push_back(bench::NanosecondsPerCall(kCount, bare));
    // Against the bare round right after it: the machine's load moves Wine's request times a
    // lot within one run, and a ratio of adjacent rounds stays put.
    ratios.push_back(client_ns.back() / bare_ns.back());
  }
  const double client_median = bench::Median(client_ns), bare_median = bench::Median(bare_ns);
  std::printf("ReadPort through TvlLptDriver: %.0f ns per access (median of %d rounds of %d)\n", client_median,
              kRounds, kCount);
  std::printf("bare DeviceIoControl:          %.0f ns per access\n", bare_median);
  std::printf("ratio client/bare:             %.3f (median of the rounds' ratios)\n", bench::Median(ratios));
  (void)sink;
  return 0;
}

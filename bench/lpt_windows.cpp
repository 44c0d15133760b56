// The parallel port component in direct mode against the bare requests it is made of,
// measured side by side in one run on the virtual-port driver:
//   - GetPin (one read) and SetPin (a read and a write) on LPT1 at 0x378, the loopback plug;
//   - WriteString to the always-ready printer on LPT2 at 0x278, against five bare requests
//     per byte (WriteByte's data write and two read-modify-writes of the control register).
// Run under Wine (or on Windows, elevated): build/win64/wine-run build/win64/bench/lpt_windows.exe
#include <cstdio>
#include <string>
#include <vector>

#include "bench/build_type.h"
#include "bench/stopwatch_windows.h"
#include "driver/vlio_ioctl.h"
#include "lib/vllpt.h"
#include "platform/unique_handle.h"

namespace {

constexpr uint16_t kLpt1 = 0x378, kLpt2 = 0x278;
constexpr int kRounds = 31;

class BareRequests {
 public:
  explicit BareRequests(HANDLE device) : device_(device) {}

  uint8_t Read(uint16_t port) const {
    VLIO_READ_INPUT request{port};
    uint8_t value = 0;
    DWORD returned = 0;
    DeviceIoControl(device_, IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value, &returned, nullptr);
    return value;
  }
  void Write(uint16_t port, uint8_t value) const {
    VLIO_WRITE_INPUT request{port, value};
    DWORD returned = 0;
    DeviceIoControl(device_, IOCTL_VLIO_WRITE, &request, sizeof request, nullptr, 0, &returned, nullptr);
  }

 private:
  HANDLE device_;
};

struct Pair {
  double component_ns, bare_ns;
  double ratio;  // component over bare, the median of each round's own ratio
};

/// Alternating rounds of the two, so that the load on the machine, which moves Wine's
/// request times a lot, hits both alike; each round's ratio is taken against the bare round
/// right after it.
template <typename Component, typename Bare>
Pair SideBySide(int count, Component component, Bare bare) {
  std::vector<double> component_ns, bare_ns, ratios;
  const int warm_up = count / 10 + 1;
  bench::NanosecondsPerCall(warm_up, bare);
  bench::NanosecondsPerCall(warm_up, component);
  for (int round = 0; round < kRounds; ++round) {
    component_ns.push_back(bench::NanosecondsPerCall(count, component));
    bare_ns.push_back(bench::NanosecondsPerCall(count, bare));
    ratios.push_back(component_ns.back() / bare_ns.back());
  }
  return {bench::Median(component_ns), bench::Median(bare_ns), bench::Median(ratios)};
}

}  // namespace

int main() {
  if (!bench::ReleaseBuild()) return 2;
  TvlLPT lpt(nullptr);
  lpt.SetLptIOBase(kLpt1);
  lpt.SetActive(true);
  if (!lpt.GetActive()) {
    std::fprintf(stderr, "the port did not open in direct mode: %lu\n", GetLastError());
    return 1;
  }
  const BareRequests bare(platform::HandleOf(static_cast<int32_t>(lpt.Handle())));
  volatile uint8_t sink = 0;
  bool level = false;

  constexpr int kPinCalls = 75;
  const Pair get = SideBySide(kPinCalls, [&] { sink = lpt.GetPin(11); }, [&] { sink = bare.Read(kLpt1 + 1); });
  const Pair set = SideBySide(
      kPinCalls, [&] { lpt.SetPin(2, level = !level); },
      [&] { bare.Write(kLpt1, static_cast<uint8_t>(bare.Read(kLpt1) ^ 1)); });
  std::printf("LPT1 (0x378), median of %d rounds of %d calls each\n", kRounds, kPinCalls);
  std::printf("  %-30s %9.0f ns per call\n", "GetPin:", get.component_ns);
  std::printf("  %-30s %9.0f ns\n", "1 bare request (read):", get.bare_ns);
  std::printf("  %-30s %9.3f\n", "ratio GetPin / 1 request:", get.ratio);
  std::printf("  %-30s %9.0f ns per call\n", "SetPin:", set.component_ns);
  std::printf("  %-30s %9.0f ns\n", "2 bare requests (read, write):", set.bare_ns);
  std::printf("  %-30s %9.3f\n", "ratio SetPin / 2 requests:", set.ratio);

  // Init high and the printer selected: the printer takes every strobe at once.
  lpt.SetLptIOBase(kLpt2);
  lpt.WriteControl(0x0C);
  if ((lpt.ReadStatus() & 0x80) == 0) {
    std::fprintf(stderr, "the printer on LPT2 is busy (status 0x%02X): is this the virtual-port driver?\n",
                 lpt.ReadStatus());
    return 1;
  }
  const std::string text(64, 'P');
  const auto send_text = [&] { lpt.WriteString(text); };
  const auto five_per_byte = [&] {
    for (const char c : text) {
      bare.Write(kLpt2, static_cast<uint8_t>(c));
      bare.Write(kLpt2 + 2, static_cast<uint8_t>(bare.Read(kLpt2 + 2) | 1));
      bare.Write(kLpt2 + 2, static_cast<uint8_t>(bare.Read(kLpt2 + 2) & ~1));
    }
  };
  constexpr int kTexts = 1;
  const Pair write = SideBySide(kTexts, send_text, five_per_byte);
  const double bytes = double(text.size());
  const double write_rate = bytes * 1e9 / write.component_ns, bound_rate = bytes * 1e9 / write.bare_ns;
  std::printf("LPT2 (0x278) printer, median of %d rounds of %d x %zu bytes\n", kRounds, kTexts, text.size());
  std::printf("  %-30s %9.0f bytes/s (%.0f ns per byte)\n", "WriteString:", write_rate, write.component_ns / bytes);
  std::printf("  %-30s %9.0f bytes/s (%.0f ns per byte)\n", "5 bare requests per byte:", bound_rate,
              write.bare_ns / bytes);
  std::printf("  %-30s %9.3f of the rate\n", "ratio WriteString / bound:", 1 / write.ratio);
  if (write.component_ns / bytes > 50e6) std::printf("  (a byte took over 50 ms: characters were dropped)\n");

  lpt.SetActive(false);
  (void)sink;
  return 0;
}

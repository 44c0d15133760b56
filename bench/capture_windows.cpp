// The capture's sampling request against one request per read, side by side in one run:
// register reads per second each way, then the share of a capture's time lost in gaps, and the
// memory a capture of the given length takes. Built twice: capture_windows on the virtual-port
// driver's LPT3 (the signal generator), and capture_port_windows with the port driver, on the
// port at BASE (the virtual machine's test runs it on QEMU's port). Under Wine a request costs
// far more than on Windows, so the ratio here is Wine's, not the product's on a real port.
// Run under Wine (or on Windows, elevated), after provisioning LPT3 for the virtual one:
//   build/win64/wine-run build/win64/bench/capture_windows.exe [SECONDS, default 60 [BASE, default 0x3BC]]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "bench/build_type.h"
#include "bench/stopwatch_windows.h"
#include "cli/capture.h"
#include "cli/stop_request.h"
#include "driver/vlio_ioctl.h"
#include "lib/vllpt.h"

namespace {

constexpr uint16_t kGeneratorBase = 0x3BC;

/// Register reads per second through sampling requests back to back, for about `seconds`.
double SampledReadsPerSecond(TvlLptDriver& driver, uint16_t base, double seconds) {
  const uint16_t status = base + 1, control = base + 2;
  VLIO_SAMPLE_INPUT request{{status, control, 0, 0}, 2, VLIO_SAMPLE_MAX_ROUNDS, VLIO_SAMPLE_MAX_MICROSECONDS};
  std::vector<uint8_t> answer;
  uint64_t reads = 0;
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  do {
    if (!driver.Sample(request, answer)) {
      std::fprintf(stderr, "the sampling request failed: %lu\n", GetLastError());
      std::exit(1);
    }
    VLIO_SAMPLE_OUTPUT header;
    std::memcpy(&header, answer.data(), sizeof header);
    reads += uint64_t{header.Rounds} * request.Count;
    QueryPerformanceCounter(&now);
  } while (bench::Seconds(start, now) < seconds);
  return reads / bench::Seconds(start, now);
}

/// Register reads per second, one read request each, the two registers in turn.
double RequestedReadsPerSecond(TvlLptDriver& driver, uint16_t base, double seconds) {
  volatile uint8_t sink = 0;
  uint64_t reads = 0;
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  do {
    for (int i = 0; i < 64; ++i) sink = driver.ReadPort(static_cast<uint16_t>(base + 1 + i % 2));
    reads += 64;
    QueryPerformanceCounter(&now);
  } while (bench::Seconds(start, now) < seconds);
  (void)sink;
  return reads / bench::Seconds(start, now);
}

/// The process's peak working set: Wine keeps it from the resident set Linux reports, where
/// its private-bytes counter does not move.
uint64_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::ReleaseBuild()) return 2;
  const uint64_t capture_seconds = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 60;
  const auto base = static_cast<uint16_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 0) : kGeneratorBase);
  {
    TvlLptDriver driver;
    if (driver.Open() == -1 || !driver.ClaimPort(base)) {
      std::fprintf(stderr, "the driver did not give the port at 0x%X: %lu\n", base, GetLastError());
      return 1;
    }
    constexpr int kRounds = 7;
    std::vector<double> sampled, requested, ratios;
    for (int round = 0; round < kRounds; ++round) {
      sampled.push_back(SampledReadsPerSecond(driver, base, 0.2));
      requested.push_back(RequestedReadsPerSecond(driver, base, 0.2));
      // Against the round right beside it: Wine's request times move with the machine's load.
      ratios.push_back(sampled.back() / requested.back());
    }
    std::printf("sampling request:      %.0f register reads per second (median of %d rounds of 0.2 s)\n",
                bench::Median(sampled), kRounds);
    std::printf("one request per read:  %.0f register reads per second\n", bench::Median(requested));
    std::printf("ratio sampled/requested: %.0f (median of the rounds' ratios; goal under Wine: at least 100)\n",
                bench::Median(ratios));
  }

  cli::StopRequest stop;
  std::ostringstream out, err;
  cli::Console console{out, err, stop};
  TvlLPT lpt(nullptr);
  lpt.SetLptPortNo(base == kGeneratorBase ? 3 : 1);
  lpt.SetLptIOBase(base);
  lpt.SetActive(true);
  cli::CaptureOptions options;
  options.pins = cli::kCapturePins;
  options.duration_us = capture_seconds * 1'000'000;
  const uint64_t before = PeakWorkingSet();
  const cli::CaptureResult result = cli::RecordPins(lpt, options, console);
  const uint64_t after = PeakWorkingSet();
  lpt.SetActive(false);
  const cli::Recording& r = result.recording;
  std::printf("capture of %llu s at 0x%X: %zu changes, %llu reads, %zu gaps\n",
              static_cast<unsigned long long>(capture_seconds), base, r.changes.size(),
              static_cast<unsigned long long>(r.reads), r.gaps.size());
  std::printf("time lost in gaps: %.3f%% of the capture (goal: under 2%%)\n",
              r.end ? 100.0 * double(r.GapTicks()) / double(r.end) : 0.0);
  std::printf("memory: the recording holds %.1f MB (%zu bytes a change); the peak working set grew %.1f MB, to %.1f MB\n",
              double(r.changes.capacity() * sizeof(cli::LevelChange) + r.gaps.capacity() * sizeof(cli::SamplingGap)) /
                  1e6,
              sizeof(cli::LevelChange), double(after > before ? after - before : 0) / 1e6, double(after) / 1e6);
  return 0;
}

// The parallel port component in direct mode on the simulated PC, where every request runs
// the driver's own code against the port bus: GetPin and SetPin against the bare requests
// they are made of, and WriteString to the virtual printer against five bare requests per
// byte. Each figure carries how many requests one call made, counted on the PC; the ratios
// of the medians are printed at the end.
//   build/host/bench/lpt_host --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/build_type.h"
#include "driver/vlio_ioctl.h"
#include "lib/vllpt.h"
#include "platform/unique_handle.h"
#include "sim/pc.h"
#include "sim/printer.h"
#include "sim/vlio_entry.h"

namespace {

const std::vector<BYTE> kImage = {'M', 'Z', 'b', 'e', 'n', 'c', 'h'};
constexpr WORD kLpt1 = 0x378, kLpt2 = 0x278;
const std::string kText(64, 'P');

// LPT1 with the loopback plug, LPT2 with an always-ready printer, and the component open
// in direct mode on LPT1.
class Rig {
 public:
  Rig() {
    pc_.resources.Add(RT_RCDATA, "VLIOBIN", kImage);
    pc_.kernel.AddImage(kImage, &DriverEntry);
    vport_plug(&pc_.ports.AddPort(kLpt1), &vport_loopback_plug);
    vport_plug(&pc_.ports.AddPort(kLpt2), printer_.Peripheral());
    lpt_.SetLptIOBase(kLpt1);
    lpt_.SetActive(true);
    device_ = platform::HandleOf(static_cast<int32_t>(lpt_.Handle()));
  }
  ~Rig() {
    lpt_.SetActive(false);
    vport_plug(&pc_.ports.Port(kLpt2), nullptr);
  }

  TvlLPT& lpt() { return lpt_; }
  const sim::VirtualPrinter& printer() const { return printer_; }

  uint8_t Read(WORD port) const {
    VLIO_READ_INPUT request{port};
    uint8_t value = 0;
    DWORD returned = 0;
    win::DeviceIoControl(device_, IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value, &returned,
                         nullptr);
    return value;
  }
  void Write(WORD port, uint8_t value) const {
    VLIO_WRITE_INPUT request{port, value};
    DWORD returned = 0;
    win::DeviceIoControl(device_, IOCTL_VLIO_WRITE, &request, sizeof request, nullptr, 0, &returned, nullptr);
  }

  /// Requests and port accesses that `action` makes, as counters of the benchmark.
  template <typename Action>
  void Count(benchmark::State& state, Action action) {
    Forget();
    action();
    state.counters["requests"] = double(pc_.core.journal.Count("DeviceIoControl"));
    state.counters["accesses"] = double(pc_.ports.Count(sim::SimPortBus::By::Driver));
    Forget();
  }

  /// Every so often: the PC records every call, and millions of them would fill the memory.
  void Tick() {
    if (++calls_ % 1024 == 0) Forget();
  }

 private:
  void Forget() {
    pc_.core.journal.Clear();
    pc_.ports.ClearAccesses();
  }

  sim::InstalledPc pc_;
  sim::VirtualPrinter printer_{pc_.core.clock};
  TvlLPT lpt_{nullptr};
  HANDLE device_ = INVALID_HANDLE_VALUE;
  unsigned calls_ = 0;
};

void GetPin(benchmark::State& state) {
  Rig rig;
  rig.Count(state, [&] { rig.lpt().GetPin(11); });
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.lpt().GetPin(11));
    rig.Tick();
  }
}

void OneBareRequest(benchmark::State& state) {
  Rig rig;
  rig.Count(state, [&] { rig.Read(kLpt1 + 1); });
  for (auto _ : state) {
    benchmark::DoNotOptimize(rig.Read(kLpt1 + 1));
    rig.Tick();
  }
}

void SetPin(benchmark::State& state) {
  Rig rig;
  bool level = false;
  rig.Count(state, [&] { rig.lpt().SetPin(2, level = !level); });
  for (auto _ : state) {
    rig.lpt().SetPin(2, level = !level);
    rig.Tick();
  }
}

void TwoBareRequests(benchmark::State& state) {
  Rig rig;
  const auto toggle = [&] { rig.Write(kLpt1, static_cast<uint8_t>(rig.Read(kLpt1) ^ 1)); };
  rig.Count(state, toggle);
  for (auto _ : state) {
    toggle();
    rig.Tick();
  }
}

void WriteString(benchmark::State& state) {
  Rig rig;
  rig.lpt().SetLptIOBase(kLpt2);
  rig.Count(state, [&] { rig.lpt().WriteString(kText); });
  state.counters["requests"] = state.counters["requests"] / double(kText.size());
  state.counters["accesses"] = state.counters["accesses"] / double(kText.size());
  const std::size_t before = rig.printer().Received().size();
  for (auto _ : state) {
    rig.lpt().WriteString(kText);
    rig.Tick();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kText.size()));
  if (rig.printer().Received().size() - before != state.iterations() * kText.size())
    state.SkipWithError("the printer did not get every byte");
}

void FiveBareRequestsPerByte(benchmark::State& state) {
  Rig rig;
  const auto send = [&] {
    for (const char c : kText) {
      rig.Write(kLpt2, static_cast<uint8_t>(c));
      rig.Write(kLpt2 + 2, static_cast<uint8_t>(rig.Read(kLpt2 + 2) | 1));
      rig.Write(kLpt2 + 2, static_cast<uint8_t>(rig.Read(kLpt2 + 2) & ~1));
    }
  };
  rig.Count(state, send);
  state.counters["requests"] = state.counters["requests"] / double(kText.size());
  state.counters["accesses"] = state.counters["accesses"] / double(kText.size());
  for (auto _ : state) {
    send();
    rig.Tick();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kText.size()));
}

BENCHMARK(GetPin);
BENCHMARK(OneBareRequest);
BENCHMARK(SetPin);
BENCHMARK(TwoBareRequests);
BENCHMARK(WriteString);
BENCHMARK(FiveBareRequestsPerByte);

// The console's report, then the ratios of the medians (or of the single runs). Everything
// here runs on the calling thread, so CPU time is the measure that another load on the
// machine disturbs least.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.aggregate_name == "median" || (run.run_type == Run::RT_Iteration && !times_.count(name)))
        times_[name] = run.GetAdjustedCPUTime();
    }
  }

  void PrintRatios() const {
    Ratio("GetPin / 1 bare request", "GetPin", "OneBareRequest");
    Ratio("SetPin / 2 bare requests", "SetPin", "TwoBareRequests");
    // Both send the same text per iteration, so the rates are the times' inverse ratio.
    Ratio("WriteString rate / 5 bare requests per byte", "FiveBareRequestsPerByte", "WriteString");
  }

 private:
  void Ratio(const char* what, const std::string& over, const std::string& under) const {
    const auto a = times_.find(over), b = times_.find(under);
    if (a != times_.end() && b != times_.end() && b->second > 0)
      std::printf("ratio %-45s %.3f\n", what, a->second / b->second);
  }

  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!bench::ReleaseBuild()) return 2;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

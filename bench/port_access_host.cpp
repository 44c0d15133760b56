// The library's own cost per port access above the seam: ReadPort and WritePort of the
// driver client against the same requests made straight into the seam, on a platform whose
// device answers at once. What is left is what the client adds to every access.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/build_type.h"
#include "driver/vlio_ioctl.h"
#include "lib/vllpt.h"
#include "sim/pc.h"

namespace {

// The simulated PC's files, passed on call by call, so that the instant device below
// replaces only the calls it answers.
#define PINSCOPE_CALL(type, name, parameters, arguments) \
  type name parameters override { return disk_.name arguments; }
#define PINSCOPE_CALL_REAL_BY_HAND PINSCOPE_CALL
class DiskFiles : public platform::Files {
 public:
  explicit DiskFiles(platform::Files& disk) : disk_(disk) {}
#include "platform/calls/files.inc"

 private:
  platform::Files& disk_;
};
#undef PINSCOPE_CALL
#undef PINSCOPE_CALL_REAL_BY_HAND

// A device that answers every request at once, so that only the caller's cost is measured;
// files (the driver image) go to the simulated PC's disk.
class InstantFiles final : public DiskFiles {
 public:
  using DiskFiles::DiskFiles;
  HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flags, HANDLE template_file) override {
    if (std::strncmp(name, "\\\\.\\", 4) == 0 || std::strncmp(name, "\\\\?\\GLOBALROOT\\Device\\", 22) == 0)
      return kDevice;
    return DiskFiles::CreateFileA(name, access, share, security, disposition, flags, template_file);
  }
  BOOL CloseHandle(HANDLE object) override { return object == kDevice || DiskFiles::CloseHandle(object); }
  BOOL DeviceIoControl(HANDLE, DWORD, LPVOID in, DWORD, LPVOID out, DWORD out_size, LPDWORD returned,
                       LPOVERLAPPED) override {
    if (out_size) *static_cast<uint8_t*>(out) = *static_cast<uint8_t*>(in);
    *returned = out_size ? 1 : 0;
    return TRUE;
  }

  // Far above any handle the simulated PC hands out, so that closing one of its files is
  // never taken for closing the device.
  static inline const HANDLE kDevice = reinterpret_cast<HANDLE>(0x7FFF0000);
};

// The simulated PC for everything else (the driver service is created and started on it),
// with its files family swapped for the instant device.
struct Bench {
  sim::Pc pc;
  InstantFiles files{pc.files};
  platform::Platform platform = pc.platform();
  Bench() { platform.files = &files; }
};

void ReadPortThroughClient(benchmark::State& state) {
  Bench bench;
  platform::ScopedInstall installed(bench.platform);
  bench.pc.resources.Add(RT_RCDATA, "VLIOBIN", {0x4D, 0x5A});
  TvlLptDriver driver;
  driver.Open();
  for (auto _ : state) benchmark::DoNotOptimize(driver.ReadPort(0x379));
}

void ReadPortBare(benchmark::State& state) {
  Bench bench;
  platform::ScopedInstall installed(bench.platform);
  for (auto _ : state) {
    VLIO_READ_INPUT request{0x379};
    uint8_t value = 0;
    DWORD returned = 0;
    win::DeviceIoControl(InstantFiles::kDevice, IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value,
                         &returned, nullptr);
    benchmark::DoNotOptimize(value);
  }
}

void WritePortThroughClient(benchmark::State& state) {
  Bench bench;
  platform::ScopedInstall installed(bench.platform);
  bench.pc.resources.Add(RT_RCDATA, "VLIOBIN", {0x4D, 0x5A});
  TvlLptDriver driver;
  driver.Open();
  for (auto _ : state) driver.WritePort(0x378, 0x55);
}

BENCHMARK(ReadPortBare);
BENCHMARK(ReadPortThroughClient);
BENCHMARK(WritePortThroughClient);

}  // namespace

int main(int argc, char** argv) {
  if (!bench::ReleaseBuild()) return 2;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

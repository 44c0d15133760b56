// The library's own cost per port access above the seam: ReadPort and WritePort of the
// driver client against the same requests made straight into the seam, on a platform whose
// device answers at once. What is left is what the client adds to every access.
#include <benchmark/benchmark.h>

#include <cstring>

#include "driver/vlio_ioctl.h"
#include "lib/vllpt.h"
#include "sim/pc.h"

namespace {

// A device that answers every request at once, so that only the caller's cost is measured.
class InstantFiles final : public platform::Files {
 public:
  HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override { return kDevice; }
  BOOL WriteFile(HANDLE, LPCVOID, DWORD count, LPDWORD written, LPOVERLAPPED) override {
    *written = count;
    return TRUE;
  }
  BOOL CloseHandle(HANDLE) override { return TRUE; }
  BOOL DeviceIoControl(HANDLE, DWORD, LPVOID in, DWORD, LPVOID out, DWORD out_size, LPDWORD returned,
                       LPOVERLAPPED) override {
    if (out_size) *static_cast<uint8_t*>(out) = *static_cast<uint8_t*>(in);
    *returned = out_size ? 1 : 0;
    return TRUE;
  }
  HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) override { return kDevice; }
  BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) override { return FALSE; }
  DWORD GetFileSize(HANDLE, LPDWORD) override { return 0; }
  DWORD GetFileAttributesA(LPCSTR) override { return FILE_ATTRIBUTE_NORMAL; }
  BOOL DeleteFileA(LPCSTR) override { return TRUE; }
  DWORD GetTempPathA(DWORD size, LPSTR buffer) override {
    static constexpr char kTemp[] = "C:\\Windows\\Temp\\";
    if (size < sizeof kTemp) return sizeof kTemp;
    std::memcpy(buffer, kTemp, sizeof kTemp);
    return sizeof kTemp - 1;
  }

  static inline const HANDLE kDevice = reinterpret_cast<HANDLE>(0x100);
};

// The simulated PC for everything else (the driver service is created and started on it),
// with its files family swapped for the instant device.
struct Bench {
  sim::Pc pc;
  InstantFiles files;
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

BENCHMARK_MAIN();

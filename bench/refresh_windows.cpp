// Refresh of the pin panel's 17 signal pins against 17 bare requests on the same driver
// device, in turns in one run, on the virtual-port driver:
//   build/win64/wine-run build/win64/bench/refresh_windows.exe
// The window is built from its layout but not shown: Refresh needs no display.
#include <cstdio>
#include <vector>

#include "app/Unit1.h"
#include "bench/build_type.h"
#include "bench/stopwatch_windows.h"
#include "driver/vlio_ioctl.h"
#include "framework/application.h"
#include "layout_text.h"
#include "platform/unique_handle.h"

int main() {
  if (!bench::ReleaseBuild()) return 2;
  fw::TApplication application;
  TForm1 form(&application, kForm1LayoutText);
  form.CheckBox1->SetChecked(true);  // as ticking "Active" does: opens and refreshes
  if (!form.vlLPT1->GetActive()) {
    std::fprintf(stderr, "the port did not open\n");
    return 1;
  }
  const HANDLE device = platform::HandleOf(static_cast<int32_t>(form.vlLPT1->Handle()));
  const USHORT status_port = 0x379;
  volatile UCHAR sink = 0;
  auto refresh = [&] { form.Button1Click(form.Button1); };
  auto bare = [&] {
    for (int pin = 0; pin < 17; ++pin) {
      VLIO_READ_INPUT request{status_port};
      UCHAR value = 0;
      DWORD returned = 0;
      DeviceIoControl(device, IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value, &returned, nullptr);
      sink = value;
    }
  };

  constexpr int kRounds = 5, kCount = 200;
  std::vector<double> refresh_us, bare_us;
  bench::NanosecondsPerCall(kCount / 10, bare);
  for (int round = 0; round < kRounds; ++round) {
    refresh_us.push_back(bench::NanosecondsPerCall(kCount, refresh) / 1000);
    bare_us.push_back(bench::NanosecondsPerCall(kCount, bare) / 1000);
  }
  const double ours = bench::Median(refresh_us), theirs = bench::Median(bare_us);
  std::printf("Refresh of 17 pins: %.1f us; 17 bare requests: %.1f us; ratio %.3f (median of %d rounds of %d)\n", ours,
              theirs, ours / theirs, kRounds, kCount);
  form.CheckBox1->SetChecked(false);
  return 0;
}

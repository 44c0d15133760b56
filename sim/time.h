// kernel32's millisecond clock on the simulated PC: GetTickCount reads the virtual clock and
// Sleep moves it on at once.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/win32.h"
#include "sim/core.h"

namespace sim {

class SimTime final : public platform::Time {
 public:
  explicit SimTime(Core& core) : core_(core) {}

  DWORD GetTickCount() override;
  void Sleep(DWORD milliseconds) override;
  BOOL QueryPerformanceCounter(LARGE_INTEGER* count) override;
  BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) override;

  /// What GetTickCount reads next, e.g. just short of 2^32 to test a wrap-around.
  void SetTickCount(DWORD tick) { core_.clock.SetTick(tick); }
  /// Milliseconds since the PC started.
  std::uint64_t Now() const { return core_.clock.Now(); }
  /// Runs `hook` at virtual time `at` (milliseconds since start), or `delay` from now: a
  /// peripheral that changes while the code under test polls or waits.
  void At(std::uint64_t at, std::function<void()> hook) { core_.clock.At(at, std::move(hook)); }
  void After(std::uint64_t delay, std::function<void()> hook) { core_.clock.After(delay, std::move(hook)); }

 private:
  Core& core_;
};

}  // namespace sim

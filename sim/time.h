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

  /// What GetTickCount reads next, e.g. just short of 2^32 to test a wrap-around.
  void SetTickCount(DWORD tick) { core_.clock.SetTick(tick); }
  /// Milliseconds since the PC started.
  std::uint64_t Now() const { return core_.clock.Now(); }
  /// Runs `hook` at virtual time `at` (milliseconds since start), or `delay` from now: a
  /// peripheral that changes while the code under test polls or waits.
  void At(std::uint64_t at, std::function<void()> hook) { core_.clock.At(at, std::move(hook)); }
  void After(std::uint64_t delay, std::function<void()> hook) { core_.clock.After(delay, std::move(hook)); }
  /// For code that spins on GetTickCount without sleeping: each reading moves the clock on by
  /// this much (0, the default, leaves such a loop spinning for ever).
  void SetAdvancePerReading(DWORD milliseconds) { advance_per_reading_ = milliseconds; }

 private:
  Core& core_;
  DWORD advance_per_reading_ = 0;
};

}  // namespace sim

// The PC's virtual millisecond clock. Time moves only when the code under test waits (or a
// piece lets it move), so that timeouts and polling loops run exactly and at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/win32_types.h"

namespace sim {

class Clock {
 public:
  /// Milliseconds since the PC started; never wraps.
  std::uint64_t Now() const { return now_; }

  /// The performance counter's rate: 100 ns ticks, as Windows 10 and later report it.
  static constexpr std::int64_t kCounterFrequency = 10'000'000;
  /// What QueryPerformanceCounter and KeQueryPerformanceCounter read: the milliseconds in its
  /// ticks, plus the time the bus's accesses took (AddBusTime), which runs ahead of the
  /// milliseconds but never back.
  std::int64_t Counter() const {
    return static_cast<std::int64_t>(now_) * (kCounterFrequency / 1000) + bus_ticks_;
  }
  /// A port access takes time on the bus; the millisecond clock is left where waits put it.
  void AddBusTime(std::int64_t ticks) { bus_ticks_ += ticks; }

  /// What GetTickCount reads: 32 bits that wrap after 49.7 days.
  DWORD Tick() const { return static_cast<DWORD>(tick_at_start_ + now_); }
  /// Sets what Tick reads now (to bring a wrap-around close); Now is untouched.
  void SetTick(DWORD tick) { tick_at_start_ = static_cast<std::uint32_t>(tick - static_cast<std::uint32_t>(now_)); }

  /// Moves time on by `milliseconds`, running the hooks that fall due on the way, each at its
  /// own time and in order, and those already overdue first.
  void Advance(std::uint64_t milliseconds);

  /// Runs `hook` when the clock reaches `at` (milliseconds since start). A hook set for a time
  /// already past runs at the next Advance, even Advance(0).
  void At(std::uint64_t at, std::function<void()> hook);
  void After(std::uint64_t delay, std::function<void()> hook) { At(now_ + delay, std::move(hook)); }
  std::size_t PendingHooks() const { return hooks_.size(); }

 private:
  std::uint64_t now_ = 0;
  std::uint32_t tick_at_start_ = 0;
  std::int64_t bus_ticks_ = 0;
  std::multimap<std::uint64_t, std::function<void()>> hooks_;  // equal times keep their order
};

}  // namespace sim

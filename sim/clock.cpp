#include "sim/clock.h"

#include <algorithm>

namespace sim {

void Clock::Advance(std::uint64_t milliseconds) {
  const std::uint64_t until = now_ + milliseconds;
  while (!hooks_.empty() && hooks_.begin()->first <= until) {
    auto first = hooks_.begin();
    now_ = std::max(now_, first->first);
    std::function<void()> hook = std::move(first->second);
    hooks_.erase(first);
    hook();  // may set further hooks, or wait and so advance the clock itself
  }
  now_ = std::max(now_, until);
}

void Clock::At(std::uint64_t at, std::function<void()> hook) { hooks_.emplace(at, std::move(hook)); }

}  // namespace sim

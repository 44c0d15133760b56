// Hand-made captures for the tests of what a capture writes: each pin's levels set at chosen
// ticks, in any order, folded into a Recording as the sampler would leave it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "cli/recording.h"
#include "connector/pins.h"

namespace samples {

class HandMade {
 public:
  HandMade(int64_t frequency, cli::PinLevels pins, cli::PinLevels initial = 0) {
    recording_.frequency = frequency;
    recording_.pins = pins;
    recording_.initial = initial;
  }
  HandMade& Set(int64_t at, unsigned pin, bool high) {
    events_.emplace_back(at, pin, high);
    return *this;
  }
  /// A square wave on `pin`: `periods` times high for `high` ticks then low for `low`.
  HandMade& Square(unsigned pin, int64_t from, int64_t high, int64_t low, int periods) {
    for (int k = 0; k < periods; ++k) {
      Set(from + k * (high + low), pin, true);
      Set(from + k * (high + low) + high, pin, false);
    }
    return *this;
  }
  HandMade& Gap(int64_t begin, int64_t end) {
    recording_.gaps.push_back({begin, end});
    return *this;
  }
  HandMade& Trigger(int64_t at) {
    recording_.trigger = at;
    return *this;
  }
  cli::Recording End(int64_t end) {
    std::stable_sort(events_.begin(), events_.end(),
                     [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    cli::PinLevels levels = recording_.initial;
    for (const auto& [at, pin, high] : events_) {
      const cli::PinLevels next = high ? levels | VPORT_PIN(pin) : levels & ~VPORT_PIN(pin);
      if (next == levels) continue;
      if (!recording_.changes.empty() && recording_.changes.back().at == at)
        recording_.changes.back().levels = next;
      else
        recording_.changes.push_back({at, next});
      levels = next;
    }
    recording_.end = end;
    recording_.reads = static_cast<uint64_t>(end);
    return recording_;
  }

 private:
  cli::Recording recording_;
  std::vector<std::tuple<int64_t, unsigned, bool>> events_;
};

}  // namespace samples

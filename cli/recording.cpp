#include "cli/recording.h"

#include <algorithm>

namespace cli {

PinLevels Recording::LevelsAt(int64_t at) const {
  const auto after = std::upper_bound(changes.begin(), changes.end(), at,
                                      [](int64_t time, const LevelChange& change) { return time < change.at; });
  return after == changes.begin() ? initial : std::prev(after)->levels;
}

int64_t Recording::GapTicks() const {
  int64_t ticks = 0;
  for (const SamplingGap& gap : gaps) ticks += gap.end - gap.begin;
  return ticks;
}

}  // namespace cli

// Timing for the benchmarks that run as Windows programs: the performance counter, and the
// median of rounds, which a stray scheduling delay under Wine does not move.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

/// Nanoseconds per call of `action`, over `count` calls in a row.
template <typename Action>
double NanosecondsPerCall(int count, Action action) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) action();
  QueryPerformanceCounter(&end);
  return Seconds(start, end) * 1e9 / count;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace bench

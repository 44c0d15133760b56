// The program's own resources: the one place that finds, loads and locks them.
#pragma once

#include <cstdint>
#include <span>

namespace fw {

/// What the program's RCDATA resource `name` holds. `bytes` has a null data() when the
/// program has no such resource (`found` is false then) or it would not load; the last error
/// is that of the call that failed.
struct ResourceBytes {
  bool found = false;
  std::span<const std::uint8_t> bytes;
};
ResourceBytes ReadProgramResource(const char* name);

}  // namespace fw

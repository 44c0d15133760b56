// Failures a test arranges ahead of time: the next call(s) of a given name fail the way that
// call fails on Windows, with the given last error.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace sim {

class Faults {
 public:
  /// Pieces declare which of their calls can fail, so that a test naming a call that cannot
  /// (or misspelling one) is told at once rather than waiting for a failure that never comes.
  void Allow(std::string_view name);

  /// The next `times` calls of `name` fail with `error`; times 0 means every call. Throws
  /// std::invalid_argument for a name no piece declared.
  void Fail(std::string_view name, DWORD error, unsigned times = 1);

  /// Called by a piece at the start of `name`: the error to fail with, if one is due.
  std::optional<DWORD> Take(std::string_view name);

 private:
  struct Due {
    DWORD error;
    unsigned left;  // 0: always
  };
  std::set<std::string, std::less<>> allowed_;
  std::map<std::string, Due, std::less<>> pending_;
};

}  // namespace sim

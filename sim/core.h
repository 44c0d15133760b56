// What every piece of the simulated PC shares: the thread's last error, the journal of calls,
// the failures a test arranged, the kernel's handle table and the virtual clock.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "sim/clock.h"
#include "sim/faults.h"
#include "sim/handles.h"
#include "sim/journal.h"

namespace sim {

/// Thrown where Windows would have crashed the program (a null pointer it writes through),
/// so that the test fails there with a reason instead of carrying on.
class AccessViolation : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

/// Thrown when code asks for Windows behaviour this PC does not model yet: the simulation
/// needs extending, and guessing an answer would let the test pass for the wrong reason.
class NotSimulated : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class Core {
 public:
  Core() = default;
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  DWORD last_error = 0;
  Journal journal;
  Faults faults;
  HandleTable handles;
  Clock clock;

  /// Runs at the start of every call made through the seam, before it does anything: another
  /// program acting between two calls of the program's (an attacker racing it).
  std::function<void(std::string_view name)> before_each_call;

  /// Journals a call made through the seam, stamped with the virtual time.
  void Record(std::string_view name, const std::vector<std::string>& arguments) {
    if (before_each_call) before_each_call(name);
    journal.Add(name, arguments, clock.Now());
  }

  /// True when a failure of `name` is due; it has then set the last error already, and the
  /// caller only returns that call's failure value.
  bool Failing(std::string_view name);

  /// Fails the call and its last error the way Windows does: returns `result`.
  template <typename T>
  T Fail(DWORD error, T result) {
    last_error = error;
    return result;
  }
};

}  // namespace sim

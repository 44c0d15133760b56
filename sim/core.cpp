#include "sim/core.h"

namespace sim {

bool Core::Failing(std::string_view name) {
  const std::optional<DWORD> error = faults.Take(name);
  if (!error) return false;
  last_error = *error;
  return true;
}

}  // namespace sim

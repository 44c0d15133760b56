#include "sim/faults.h"

#include <stdexcept>

namespace sim {

void Faults::Allow(std::string_view name) { allowed_.emplace(name); }

void Faults::Fail(std::string_view name, DWORD error, unsigned times) {
  if (!allowed_.contains(name)) {
    throw std::invalid_argument("sim: no piece of the simulated PC can fail " + std::string(name));
  }
  pending_.insert_or_assign(std::string(name), Due{error, times});
}

std::optional<DWORD> Faults::Take(std::string_view name) {
  auto it = pending_.find(name);
  if (it == pending_.end()) return std::nullopt;
  const DWORD error = it->second.error;
  if (it->second.left != 0 && --it->second.left == 0) pending_.erase(it);
  return error;
}

}  // namespace sim

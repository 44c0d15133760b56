#include "sim/journal.h"

#include <algorithm>

namespace sim {

void Journal::Add(std::string_view name, const std::vector<std::string>& arguments, std::uint64_t at) {
  std::string line(name);
  line += '(';
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i) line += ", ";
    line += arguments[i];
  }
  line += ')';
  entries_.push_back({std::string(name), std::move(line), at});
}

std::vector<std::string> Journal::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(entries_.size());
  for (const Entry& entry : entries_) lines.push_back(entry.line);
  return lines;
}

std::size_t Journal::Count(std::string_view name) const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(), [&](const Entry& entry) { return entry.name == name; }));
}

}  // namespace sim

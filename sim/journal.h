// The record of every call the code under test made into the simulated PC, in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Journal {
 public:
  struct Entry {
    std::string name;  // "CreateFileA"
    std::string line;  // CreateFileA("\\.\vlio", 0xc0000000, 0, null, 3, 0x80, null)
    std::uint64_t at;  // virtual milliseconds since the PC started
  };

  /// Records `name(arguments...)`, the arguments already written by sim::format.
  void Add(std::string_view name, const std::vector<std::string>& arguments, std::uint64_t at);

  const std::vector<Entry>& Entries() const { return entries_; }
  std::vector<std::string> Lines() const;
  std::size_t Count(std::string_view name) const;
  void Clear() { entries_.clear(); }

 private:
  std::vector<Entry> entries_;
};

}  // namespace sim

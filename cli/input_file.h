// The file that `write --file` sends: only an ordinary file on disk, of at most kMaxBytes,
// read in pieces as it goes out. A device, a pipe or the console could block the read for
// good or never end, and a file without a limit could take all the memory or days to send.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/unique_handle.h"

namespace cli {

/// The file cannot be sent; the message names it and says why, the system's reason included.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class InputFile {
 public:
  static constexpr uint64_t kMaxBytes = 16 * 1024 * 1024;

  /// Opens `path` for reading, shared with readers only. Throws FileError.
  explicit InputFile(const std::string& path);

  uint64_t Size() const { return size_; }
  /// The next piece of at most `max` bytes; empty after the size measured at the open, so a
  /// file that grows meanwhile sends no more. Throws FileError.
  std::string Read(std::size_t max);

 private:
  std::string path_;
  platform::UniqueFile file_;
  uint64_t size_ = 0;
  uint64_t read_ = 0;
};

}  // namespace cli

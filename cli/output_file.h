// A file the capture writes: made before the port opens, so that a name that cannot be written
// is refused before anything is recorded, and filled at the end. A file never filled (the
// capture failed) is removed again rather than left empty.
#pragma once

#include <string>
#include <string_view>

#include "cli/input_file.h"
#include "platform/unique_handle.h"

namespace cli {

class OutputFile {
 public:
  /// Creates `path`, replacing a file of that name. Throws FileError.
  explicit OutputFile(std::string path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& Path() const { return path_; }
  /// Writes `content` and closes the file, which then stays. Throws FileError.
  void Fill(std::string_view content);

 private:
  std::string path_;
  platform::UniqueFile file_;
  bool filled_ = false;
};

}  // namespace cli

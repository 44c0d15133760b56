// A file the capture writes. Its name is checked before the port opens, so that a name that
// cannot be written is refused before anything is recorded, without touching a file already
// there; what the capture writes goes to a file of its own beside it, which takes the name
// only once it is complete. A capture that fails, times out or is stopped with nothing to
// write leaves an existing file as it was, and no file of its own behind.
#pragma once

#include <string>
#include <string_view>

#include "cli/input_file.h"
#include "platform/unique_handle.h"

namespace cli {

class OutputFile {
 public:
  /// Checks that `path` can be written (a file there is opened for writing and closed again,
  /// unchanged) and makes the file beside it that the capture fills. Throws FileError.
  explicit OutputFile(std::string path);
  /// Removes the file beside it, unless Fill gave it the name.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& Path() const { return path_; }
  /// Writes `content` to the file beside it, closes it and gives it the name, replacing the
  /// file there. Throws FileError; the file there then stays as it was.
  void Fill(std::string_view content);

 private:
  [[noreturn]] void Fail(DWORD error) const;

  std::string path_;
  std::string beside_;
  platform::UniqueFile file_;
  bool filled_ = false;
};

}  // namespace cli

#include "cli/input_file.h"

#include <algorithm>

#include "lib/vlwin32.h"
#include "platform/win32.h"

namespace cli {

namespace {

[[noreturn]] void Fail(const std::string& path, DWORD error) {
  throw FileError("cannot read " + path + ": " + SystemErrorText(error));
}

}  // namespace

InputFile::InputFile(const std::string& path) : path_(path) {
  file_.reset(win::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file_) {
    const DWORD error = win::GetLastError();
    // A folder opens only for backup: the system says no more than "Access is denied".
    if (error == ERROR_ACCESS_DENIED)
      throw FileError("cannot read " + path + ": " + SystemErrorText(error) + " (is it a folder?)");
    Fail(path, error);
  }
  if (win::GetFileType(file_.get()) != FILE_TYPE_DISK)
    throw FileError(path + " is not a file on disk but a device, a pipe or the console: --file sends files only");
  DWORD high = 0;
  win::SetLastError(ERROR_SUCCESS);  // a size whose low half is all ones is told apart by it
  const DWORD low = win::GetFileSize(file_.get(), &high);
  if (low == INVALID_FILE_SIZE) {
    if (const DWORD error = win::GetLastError(); error != ERROR_SUCCESS) Fail(path, error);
  }
  size_ = (uint64_t{high} << 32) | low;
  if (size_ > kMaxBytes)
    throw FileError(path + " holds " + std::to_string(size_) + " bytes; --file sends at most 16 MiB (" +
                    std::to_string(kMaxBytes) + " bytes)");
}

std::string InputFile::Read(std::size_t max) {
  std::string piece(static_cast<std::size_t>(std::min<uint64_t>(max, size_ - read_)), '\0');
  std::size_t filled = 0;
  while (filled < piece.size()) {
    DWORD count = 0;
    if (!win::ReadFile(file_.get(), piece.data() + filled, static_cast<DWORD>(piece.size() - filled), &count, nullptr))
      Fail(path_, win::GetLastError());
    if (count == 0) break;  // shorter than it was: what is there goes
    filled += count;
  }
  piece.resize(filled);
  read_ = filled < max ? size_ : read_ + filled;
  return piece;
}

}  // namespace cli

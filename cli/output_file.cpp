#include "cli/output_file.h"

#include "lib/vlwin32.h"
#include "platform/win32.h"

namespace cli {

namespace {

// Names tried beside the target before giving up: each one taken means another run's file.
constexpr unsigned kNamesTried = 100;

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  // A file there, or a folder of that name, must take writing: opened and closed, it stays.
  {
    platform::UniqueFile existing(win::CreateFileA(path_.c_str(), GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing && win::GetLastError() != ERROR_FILE_NOT_FOUND) Fail(win::GetLastError());
  }
  // CREATE_NEW never takes a name that is there, so the file is this run's alone.
  const DWORD start = win::GetTickCount();
  for (unsigned tried = 0;; ++tried) {
    beside_ = path_ + "." + std::to_string(start + tried) + ".part";
    file_.reset(win::CreateFileA(beside_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (file_) return;
    if (win::GetLastError() != ERROR_FILE_EXISTS || tried + 1 == kNamesTried) Fail(win::GetLastError());
  }
}

OutputFile::~OutputFile() {
  if (filled_) return;
  file_.reset();
  win::DeleteFileA(beside_.c_str());
}

void OutputFile::Fill(std::string_view content) {
  while (!content.empty()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
    if (!win::WriteFile(file_.get(), content.data(), piece, &written, nullptr) || written == 0)
      Fail(win::GetLastError());
    content.remove_prefix(written);
  }
  file_.reset();
  if (!win::MoveFileExA(beside_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) Fail(win::GetLastError());
  filled_ = true;
}

void OutputFile::Fail(DWORD error) const {
  throw FileError("cannot write " + path_ + ": " + SystemErrorText(error));
}

}  // namespace cli

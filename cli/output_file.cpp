#include "cli/output_file.h"

#include "lib/vlwin32.h"
#include "platform/win32.h"

namespace cli {

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  file_.reset(win::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) throw FileError("cannot write " + path_ + ": " + SystemErrorText(win::GetLastError()));
}

OutputFile::~OutputFile() {
  if (filled_ || !file_) return;
  file_.reset();
  win::DeleteFileA(path_.c_str());
}

void OutputFile::Fill(std::string_view content) {
  while (!content.empty()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
    if (!win::WriteFile(file_.get(), content.data(), piece, &written, nullptr) || written == 0)
      throw FileError("cannot write " + path_ + ": " + SystemErrorText(win::GetLastError()));
    content.remove_prefix(written);
  }
  file_.reset();
  filled_ = true;
}

}  // namespace cli

#include "sim/intruder.h"

#include "platform/win32_types.h"

namespace sim {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD WriteAll(FileObject& file, const std::vector<BYTE>& bytes) {
  DWORD written = 0;
  return file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), written);
}

}  // namespace

DWORD Intruder::Open(std::string_view path, DWORD access, DWORD disposition, std::shared_ptr<FileObject>& file) {
  return disk_.OpenAsUser({std::string(path), access, kShareAll, disposition, 0}, file);
}

DWORD Intruder::Rewrite(std::string_view path, const std::vector<BYTE>& bytes) {
  std::shared_ptr<FileObject> file;
  if (DWORD error = Open(path, GENERIC_WRITE, OPEN_EXISTING, file); !file) return error;
  return WriteAll(*file, bytes);
}

DWORD Intruder::Truncate(std::string_view path) {
  std::shared_ptr<FileObject> file;
  return Open(path, GENERIC_WRITE, TRUNCATE_EXISTING, file);
}

DWORD Intruder::Replace(std::string_view path, const std::vector<BYTE>& bytes) {
  if (DWORD error = disk_.DeleteAsUser(path); error && error != ERROR_FILE_NOT_FOUND) return error;
  std::shared_ptr<FileObject> file;
  if (DWORD error = Open(path, GENERIC_WRITE, CREATE_NEW, file); !file) return error;
  return WriteAll(*file, bytes);
}

DWORD Intruder::Swap(std::string_view path, const std::vector<BYTE>& bytes) {
  const std::string own = std::string(path) + ".new", aside = std::string(path) + ".old";
  std::shared_ptr<FileObject> file;
  if (DWORD error = Open(own, GENERIC_WRITE, CREATE_ALWAYS, file); !file) return error;
  if (DWORD error = WriteAll(*file, bytes)) return error;
  file.reset();
  if (DWORD error = disk_.RenameAsUser(path, aside); error && error != ERROR_FILE_NOT_FOUND) return error;
  return disk_.RenameAsUser(own, path);
}

DWORD Intruder::Hold(std::string_view path) {
  held_.reset();
  std::shared_ptr<FileObject> file;
  const DWORD error = Open(path, GENERIC_WRITE, OPEN_ALWAYS, file);
  held_ = std::move(file);
  return held_ ? ERROR_SUCCESS : error;
}

DWORD Intruder::WriteHeld(const std::vector<BYTE>& bytes) {
  if (!held_) return ERROR_INVALID_HANDLE;
  return WriteAll(*held_, bytes);
}

}  // namespace sim

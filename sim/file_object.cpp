#include "sim/file_object.h"

#include <string>

#include "platform/win32_types.h"
#include "sim/core.h"

namespace sim {

DWORD FileObject::Read(void*, DWORD, DWORD& read) {
  read = 0;
  return ERROR_INVALID_FUNCTION;
}

DWORD FileObject::Size(std::uint64_t& size) {
  size = 0;
  return ERROR_INVALID_FUNCTION;
}

DWORD FileObject::Write(const void*, DWORD, DWORD& written) {
  written = 0;
  return ERROR_INVALID_FUNCTION;
}

DWORD FileObject::IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD& returned) {
  returned = 0;
  return ERROR_INVALID_FUNCTION;
}

DWORD NameSpace::Delete(std::string_view name) { throw NotSimulated("DeleteFileA of " + std::string(name)); }

bool FileObject::CanRead() const { return access_ & (GENERIC_READ | GENERIC_ALL | MAXIMUM_ALLOWED | FILE_READ_DATA); }

bool FileObject::CanWrite() const {
  return access_ & (GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

bool FileObject::Overlapped() const { return flags_ & FILE_FLAG_OVERLAPPED; }

}  // namespace sim

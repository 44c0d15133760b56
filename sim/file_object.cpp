#include "sim/file_object.h"

#include "sim/win32_more.h"

namespace sim {

DWORD FileObject::Write(const void*, DWORD, DWORD& written) {
  written = 0;
  return ERROR_INVALID_FUNCTION;
}

DWORD FileObject::IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD& returned) {
  returned = 0;
  return ERROR_INVALID_FUNCTION;
}

bool FileObject::CanRead() const { return access_ & (GENERIC_READ | GENERIC_ALL | MAXIMUM_ALLOWED | FILE_READ_DATA); }

bool FileObject::CanWrite() const {
  return access_ & (GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED | FILE_WRITE_DATA | FILE_APPEND_DATA);
}

bool FileObject::Overlapped() const { return flags_ & FILE_FLAG_OVERLAPPED; }

}  // namespace sim

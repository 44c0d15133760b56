// What CreateFileA hands out and WriteFile and DeviceIoControl act on, and the name spaces it
// opens them in: the device names, the kernel's links and the disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win32_types.h"
#include "sim/handles.h"

namespace sim {

/// CreateFileA's arguments, as a name space sees them.
struct OpenRequest {
  std::string name;
  DWORD access = 0;
  DWORD share = 0;
  DWORD disposition = 0;
  DWORD flags = 0;
  /// The descriptor a new file is made with, in its text form; empty: the folder's.
  std::string security{};
};

/// An open file or device. Operations return a Win32 error, 0 for success; the caller has
/// already checked the handle's access rights and the buffers.
class FileObject : public KernelObject {
 public:
  explicit FileObject(const OpenRequest& request) : access_(request.access), flags_(request.flags) {}

  virtual DWORD Read(void* data, DWORD size, DWORD& read);
  virtual DWORD Write(const void* data, DWORD size, DWORD& written);
  /// GetFileSize's answer; devices have none.
  virtual DWORD Size(std::uint64_t& size);
  /// GetFileType's answer: a device unless the object says otherwise.
  virtual DWORD Type() const { return FILE_TYPE_CHAR; }
  virtual DWORD IoControl(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned);
  /// Where the next read or write starts: a request that comes with an OVERLAPPED starts at
  /// its offset, on any handle. Devices have no position and ignore it.
  virtual void MoveTo(std::uint64_t) {}

  /// The rights the handle was opened with, as the I/O manager reads GENERIC_ and per-object rights.
  bool CanRead() const;
  bool CanWrite() const;
  bool Overlapped() const;

 private:
  DWORD access_;
  DWORD flags_;
};

/// A part of the name space that CreateFileA opens things in.
class NameSpace {
 public:
  virtual ~NameSpace() = default;
  /// Whether `name` is this space's to open (or to report as missing).
  virtual bool Owns(std::string_view name) const = 0;
  /// Opens the name. On success sets `file` and returns the last error a successful
  /// CreateFileA leaves (0, or ERROR_ALREADY_EXISTS); on failure leaves `file` empty and
  /// returns the error.
  virtual DWORD Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) = 0;
  /// DeleteFileA: 0 or the error.
  virtual DWORD Delete(std::string_view name);
};

}  // namespace sim

// A device that CreateFileA("\\.\NAME") reaches: the kernel driver host, the parallel ports.
#pragma once

#include "platform/win32_types.h"
#include "sim/file_object.h"

namespace sim {

/// Each operation returns a Win32 error, 0 for success. The defaults are those of a driver
/// that handles nothing but create and close.
class Device {
 public:
  virtual ~Device() = default;
  /// Every CreateFileA of the device; a refusal (sharing, access) fails that CreateFileA.
  virtual DWORD Open(const OpenRequest& request);
  /// The last CloseHandle of a handle this device opened.
  virtual void Close() {}
  virtual DWORD Write(const void* data, DWORD size, DWORD& written);
  /// `returned` may not exceed `out_size`.
  virtual DWORD IoControl(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned);
};

}  // namespace sim

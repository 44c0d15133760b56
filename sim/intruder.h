// Another program of the same user, not elevated, that goes after the driver image between two
// calls of the program's: what it may do to a file is what the disk's rights and the open
// handles' sharing allow such a program.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "sim/disk.h"

namespace sim {

class Intruder {
 public:
  explicit Intruder(Disk& disk) : disk_(disk) {}

  // Each returns 0 when it got through, else the Win32 error that stopped it.

  /// Overwrites the file in place: opened for writing (sharing everything), `bytes` from its start.
  DWORD Rewrite(std::string_view path, const std::vector<BYTE>& bytes);
  /// Cuts the file to nothing (TRUNCATE_EXISTING).
  DWORD Truncate(std::string_view path);
  /// Deletes the file and puts a new one with `bytes` in its place.
  DWORD Replace(std::string_view path, const std::vector<BYTE>& bytes);
  /// Writes `bytes` to a file of its own beside `path`, moves the file at `path` aside and its
  /// own into its place.
  DWORD Swap(std::string_view path, const std::vector<BYTE>& bytes);
  /// Opens the file for writing (making it when missing), sharing everything, and keeps the
  /// handle for WriteHeld.
  DWORD Hold(std::string_view path);
  /// Writes `bytes` through the held handle, after what it wrote before; ERROR_INVALID_HANDLE
  /// without one.
  DWORD WriteHeld(const std::vector<BYTE>& bytes);

 private:
  DWORD Open(std::string_view path, DWORD access, DWORD disposition, std::shared_ptr<FileObject>& file);

  Disk& disk_;
  std::shared_ptr<FileObject> held_;
};

}  // namespace sim

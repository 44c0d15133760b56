// The PC's disk: drive C: with its directories and files in memory. The program reaches it
// through SimFiles (CreateFileA, ReadFile, WriteFile, GetFileSize,
// DeleteFileA, GetSystemDirectoryA); tests arrange and inspect it directly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "sim/file_object.h"

namespace sim {

/// Paths are absolute ("C:\\Windows\\Temp\\vlio.sys"), in any case, with \ or / between
/// parts, as Win32 takes them, or below the kernel's name of the Windows folder
/// ("\\\\?\\GLOBALROOT\\SystemRoot\\..."). A path without a drive throws NotSimulated:
/// the process has no current directory.
class Disk final : public NameSpace {
 public:
  /// C:\, C:\Windows\Temp, C:\Windows\System32\drivers and C:\Program Files\Pinscope exist.
  Disk();

  // The test's own hand: no sharing, no rights, no free space are checked.

  /// Puts a file at `path`, making missing directories; replaces what was there.
  void Write(std::string_view path, std::vector<BYTE> bytes);
  /// A file's bytes; nothing for a directory or a missing file.
  std::optional<std::vector<BYTE>> Read(std::string_view path) const;
  /// The security descriptor a file was made with, in its text form (SDDL); empty when it
  /// took its folder's. SetSecurity gives it one as another program might have.
  std::string Security(std::string_view path) const;
  void SetSecurity(std::string_view path, std::string text);
  /// A file or a directory. A file deleted while handles keep it open still exists.
  bool Exists(std::string_view path) const;
  /// The files and directories directly in `folder`, by their paths as made.
  std::vector<std::string> List(std::string_view folder) const;
  /// Makes the directory and its parents.
  void MakeDirectory(std::string_view path);

  /// Whether the account may create, write and delete at or under `path` (an ACL that
  /// denies it when false). Reading stays allowed.
  void SetWritable(std::string_view path, bool writable);
  /// Only an elevated program may create, write, rename or delete at or under `path`, as the
  /// ACL of the system folder gives that to Administrators, SYSTEM and TrustedInstaller alone.
  /// C:\Windows\System32 is so from the start; every other folder is the user's own, as their
  /// profile and temporary folder are, where a program that is not elevated may do all that.
  void SetAdminOnly(std::string_view path);
  /// Whether the program runs elevated; SimServices::SetElevated sets it along with the token.
  void SetElevated(bool elevated);

  /// Another program of the same user, not elevated, as an attacker on the image uses it: its
  /// CreateFileA, DeleteFileA and MoveFileExA (replacing an existing file) meet the same rights
  /// and sharing checks as the program's own calls. Each returns 0 or the Win32 error.
  DWORD OpenAsUser(const OpenRequest& request, std::shared_ptr<FileObject>& file);
  DWORD DeleteAsUser(std::string_view name);
  DWORD RenameAsUser(std::string_view from, std::string_view to);
  /// Bytes the files may still grow by; a WriteFile past it is cut short.
  void SetFreeSpace(std::uint64_t bytes);
  std::uint64_t FreeSpace() const;

  /// What GetSystemDirectoryA reports: C:\Windows\System32.
  const std::string& SystemDirectory() const { return system_directory_; }

  /// Reads a file as the kernel's image loader opens it (read access, sharing read and
  /// delete), so that a file the program still holds open for writing is refused.
  /// Returns 0 or the Win32 error.
  DWORD ReadImage(std::string_view path, std::vector<BYTE>& bytes) const;

  bool Owns(std::string_view name) const override;
  DWORD Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) override;
  DWORD Delete(std::string_view name) override;
  /// MoveFileExA with MOVEFILE_REPLACE_EXISTING, as the program: 0 or the Win32 error.
  DWORD Rename(std::string_view from, std::string_view to);

  struct Node;
  struct State;

 private:
  // Open handles keep the state, so that a handle closed after the Pc's disk is gone
  // (the handle table outlives it) still finds its file.
  DWORD Open(const OpenRequest& request, std::shared_ptr<FileObject>& file, bool elevated);
  DWORD Delete(std::string_view name, bool elevated);
  DWORD Rename(std::string_view from, std::string_view to, bool elevated);

  std::shared_ptr<State> state_;
  std::string system_directory_ = "C:\\Windows\\System32";
};

}  // namespace sim

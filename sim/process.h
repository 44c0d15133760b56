// kernel32's process-wide state on the simulated PC: the last error, system message texts,
// the Windows version, WOW64 and the ANSI code page. The process's modules are SimModules'.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"

namespace sim {

class SimProcess final : public platform::Process {
 public:
  explicit SimProcess(Core& core);

  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer, DWORD size,
                       va_list* arguments) override;
  BOOL GetVersionExA(LPOSVERSIONINFOA info) override;
  BOOL IsWow64Process(HANDLE process, PBOOL wow64) override;
  /// The ANSI code page here is plain ASCII: other characters become the default character
  /// and set `used_default`; without `used_default` they throw NotSimulated.
  int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi_byte,
                          int multi_byte_size, LPCSTR default_char, LPBOOL used_default) override;
  /// A null handler (ignore Ctrl+C altogether) is not simulated.
  BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) override;

  /// The user presses Ctrl+C (CTRL_C_EVENT) or Ctrl+Break: the handlers run, the one added
  /// last first, until one returns TRUE. False when none did: Windows would end the process.
  bool RaiseConsoleCtrl(DWORD event);
  std::size_t ConsoleCtrlHandlers() const { return ctrl_handlers_.size(); }

  /// VER_PLATFORM_WIN32_NT (2, the default: Windows XP SP3) or VER_PLATFORM_WIN32_WINDOWS
  /// (1: Windows 98 SE). Throws std::invalid_argument for anything else.
  void SetPlatformId(DWORD id);
  DWORD PlatformId() const { return platform_id_; }
  /// Whether the program is a 32-bit one on 64-bit Windows, as IsWow64Process tells.
  void SetWow64(bool wow64) { wow64_ = wow64; }
  /// The NT version GetVersionExA tells (the default: 5.1.2600, a workstation).
  struct NtVersion {
    DWORD major, minor, build;
    BYTE product_type = VER_NT_WORKSTATION;
  };
  void SetNtVersion(const NtVersion& version) { nt_version_ = version; }

  /// ntdll's NtQuerySystemInformation, reached through GetProcAddress: code integrity only.
  LONG NtQuerySystemInformation(int information_class, PVOID information, ULONG length, PULONG return_length);
  /// What it answers for code integrity: a status, and the options when that is success
  /// (the default: enabled, as on any Windows since Vista).
  void SetCodeIntegrity(LONG status, ULONG options) { code_integrity_ = {status, options}; }

 private:
  Core& core_;
  DWORD platform_id_ = VER_PLATFORM_WIN32_NT;
  bool wow64_ = false;
  NtVersion nt_version_{5, 1, 2600};
  struct {
    LONG status;
    ULONG options;
  } code_integrity_{0, 0x01};
  std::vector<PHANDLER_ROUTINE> ctrl_handlers_;  // in the order they were added
};

}  // namespace sim

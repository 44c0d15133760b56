#include "sim/process.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/nt_names.h"
#include "platform/win32_types.h"
#include "sim/format.h"
#include "sim/system_messages.h"

namespace sim {

using format::Dec;
using format::Hex;
using format::Ptr;
using format::ModuleKey;
using format::Str;

namespace {


}  // namespace

SimProcess::SimProcess(Core& core) : core_(core) {
  for (const char* name :
       {"FormatMessageA", "GetVersionExA", "IsWow64Process", "WideCharToMultiByte"}) {
    core_.faults.Allow(name);
  }
}

DWORD SimProcess::GetLastError() {
  core_.Record("GetLastError", {});
  return core_.last_error;
}

void SimProcess::SetLastError(DWORD error) {
  core_.Record("SetLastError", {Dec(error)});
  core_.last_error = error;
}

DWORD SimProcess::FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                                 DWORD size, va_list* arguments) {
  core_.Record("FormatMessageA",
               {Hex(flags), Ptr(source), Dec(message_id), Hex(language_id), Ptr(buffer), Dec(size), Ptr(arguments)});
  if (core_.Failing("FormatMessageA")) return 0;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    throw NotSimulated("FormatMessageA: FORMAT_MESSAGE_ALLOCATE_BUFFER (the seam has no LocalFree)");
  }
  if (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) {
    throw NotSimulated("FormatMessageA: messages from a string or a module");
  }
  if (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) throw NotSimulated("FormatMessageA: line width control");
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM)) return core_.Fail(ERROR_INVALID_PARAMETER, DWORD{0});

  // Only English is installed: neutral or any English sublanguage finds it.
  const DWORD primary_language = language_id & 0x3ff;
  if (primary_language != 0x00 && primary_language != 0x09) {
    return core_.Fail(ERROR_RESOURCE_LANG_NOT_FOUND, DWORD{0});
  }
  const std::optional<std::string_view> text = SystemMessage(message_id);
  if (!text) return core_.Fail(ERROR_MR_MID_NOT_FOUND, DWORD{0});
  if (!buffer && size) throw AccessViolation("FormatMessageA: lpBuffer is null");
  if (text->size() + 1 > size) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  std::memcpy(buffer, text->data(), text->size());
  buffer[text->size()] = '\0';
  return static_cast<DWORD>(text->size());
}

BOOL SimProcess::IsWow64Process(HANDLE process, PBOOL wow64) {
  core_.Record("IsWow64Process", {format::Handle(process), Ptr(wow64)});
  if (core_.Failing("IsWow64Process")) return FALSE;
  if (process != reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))) {
    throw NotSimulated("IsWow64Process of a process other than the current one");
  }
  if (!wow64) throw AccessViolation("IsWow64Process: Wow64Process is null");
  *wow64 = wow64_ ? TRUE : FALSE;
  return TRUE;
}

BOOL SimProcess::GetVersionExA(LPOSVERSIONINFOA info) {
  core_.Record("GetVersionExA", {Ptr(info)});
  if (core_.Failing("GetVersionExA")) return FALSE;
  if (!info) throw AccessViolation("GetVersionExA: lpVersionInformation is null");
  const bool extended = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
  if (!extended && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
    return core_.Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  const bool nt = platform_id_ == VER_PLATFORM_WIN32_NT;
  if (extended && !nt) throw NotSimulated("GetVersionExA: OSVERSIONINFOEXA on the 9x family");
  info->dwMajorVersion = nt ? nt_version_.major : 4;
  info->dwMinorVersion = nt ? nt_version_.minor : 10;
  // 9x keeps the version in the build number's high word.
  info->dwBuildNumber = nt ? nt_version_.build : 0x040A0000 + 2222;
  info->dwPlatformId = platform_id_;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::strcpy(info->szCSDVersion, !nt ? " A" : nt_version_.major == 5 ? "Service Pack 3" : "");
  if (extended) {
    auto* more = reinterpret_cast<OSVERSIONINFOEXA*>(info);
    more->wServicePackMajor = nt_version_.major == 5 ? 3 : 0;
    more->wServicePackMinor = more->wSuiteMask = 0;
    more->wProductType = nt_version_.product_type;
    more->wReserved = 0;
  }
  return TRUE;
}

LONG SimProcess::NtQuerySystemInformation(int information_class, PVOID information, ULONG length,
                                          PULONG return_length) {
  core_.Record("NtQuerySystemInformation", {Dec(information_class), Ptr(information), Dec(length), Ptr(return_length)});
  if (information_class != nt::kSystemCodeIntegrityInformation)
    throw NotSimulated("NtQuerySystemInformation class " + std::to_string(information_class));
  if (code_integrity_.status != nt::kStatusSuccess) return code_integrity_.status;
  if (length != sizeof(nt::CodeIntegrityInformation)) return nt::kStatusInfoLengthMismatch;
  if (!information) throw AccessViolation("NtQuerySystemInformation: SystemInformation is null");
  auto* answer = static_cast<nt::CodeIntegrityInformation*>(information);
  answer->CodeIntegrityOptions = code_integrity_.options;
  if (return_length) *return_length = sizeof *answer;
  return nt::kStatusSuccess;
}

int SimProcess::WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi_byte,
                                    int multi_byte_size, LPCSTR default_char, LPBOOL used_default) {
  core_.Record("WideCharToMultiByte", {Dec(code_page), Hex(flags), Ptr(wide), Dec(wide_count), Ptr(multi_byte),
                                       Dec(multi_byte_size), Ptr(default_char), Ptr(used_default)});
  if (core_.Failing("WideCharToMultiByte")) return 0;
  if (code_page != CP_ACP || (flags & ~WC_NO_BEST_FIT_CHARS)) {
    throw NotSimulated("WideCharToMultiByte other than CP_ACP, with flags other than WC_NO_BEST_FIT_CHARS");
  }
  if (!wide || wide_count == 0 || wide_count < -1 || multi_byte_size < 0 || (multi_byte_size && !multi_byte)) {
    return core_.Fail(ERROR_INVALID_PARAMETER, 0);
  }
  // -1: up to and with the terminator.
  std::size_t count = static_cast<std::size_t>(wide_count);
  if (wide_count == -1) count = std::wstring_view(wide).size() + 1;
  if (used_default) *used_default = FALSE;
  for (std::size_t i = 0; i < count; ++i) {
    // Outside ASCII the code page has no character: the default one stands in, as Windows
    // does for a character its code page lacks.
    if (static_cast<std::uint32_t>(wide[i]) < 0x80) continue;
    if (!used_default) throw NotSimulated("WideCharToMultiByte of a non-ASCII character, unasked whether it fits");
    *used_default = TRUE;
  }
  if (multi_byte_size == 0) return static_cast<int>(count);
  if (count > static_cast<std::size_t>(multi_byte_size)) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  const char stand_in = default_char ? *default_char : '?';
  for (std::size_t i = 0; i < count; ++i)
    multi_byte[i] = static_cast<std::uint32_t>(wide[i]) < 0x80 ? static_cast<char>(wide[i]) : stand_in;
  return static_cast<int>(count);
}

BOOL SimProcess::SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  core_.Record("SetConsoleCtrlHandler", {Ptr(reinterpret_cast<const void*>(handler)), Dec(add)});
  if (!handler) throw NotSimulated("SetConsoleCtrlHandler with a null handler");
  if (add) {
    ctrl_handlers_.push_back(handler);
    return TRUE;
  }
  const auto it = std::find(ctrl_handlers_.rbegin(), ctrl_handlers_.rend(), handler);
  if (it == ctrl_handlers_.rend()) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  ctrl_handlers_.erase(std::next(it).base());
  return TRUE;
}

bool SimProcess::RaiseConsoleCtrl(DWORD event) {
  // A handler may remove itself while it runs: work on the list as it stood.
  const std::vector<PHANDLER_ROUTINE> handlers = ctrl_handlers_;
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
    if ((*it)(event)) return true;
  return false;
}

void SimProcess::SetPlatformId(DWORD id) {
  if (id != VER_PLATFORM_WIN32_NT && id != VER_PLATFORM_WIN32_WINDOWS) {
    throw std::invalid_argument("sim: platform id " + std::to_string(id) + " is neither 9x nor NT");
  }
  platform_id_ = id;
}

}  // namespace sim

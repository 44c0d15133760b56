// The registry of the simulated PC: the machine's and the user's hives as trees of keys
// holding typed values. The program reads it through advapi32 (RegOpenKeyExA and friends)
// and asks ntdll's ZwQueryKey where a key it was handed lives; tests arrange it directly.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"

namespace sim {

class SimRegistry final : public platform::Registry {
 public:
  explicit SimRegistry(Core& core);

  // Open keys are kernel handles in the PC's handle table, as on the NT family: CloseHandle
  // would close one too. HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are the only roots.
  LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) override;
  LONG RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD size) override;
  LONG RegCloseKey(HKEY key) override;

  /// ntdll's ZwQueryKey (SimModules hands it out), for KeyNameInformation only: a
  /// KEY_NAME_INFORMATION of the key's kernel name in UTF-16, without terminator.
  LONG ZwQueryKey(HANDLE key, int information_class, PVOID information, ULONG length, PULONG result_length);

  // The test's own hand, neither journalled nor failing. `root` is HKEY_LOCAL_MACHINE or
  // HKEY_CURRENT_USER; paths go down from it with backslashes, in any case. Keys on the
  // way are made as needed and keep the spelling they were first given.

  void CreateKey(HKEY root, std::string_view path);
  /// Sets a value's type and bytes exactly as given; "" names the key's default value.
  void SetValue(HKEY root, std::string_view path, std::string_view name, DWORD type, std::vector<BYTE> bytes);
  /// A REG_SZ; without its terminator when asked, or when a test wants a value of exactly N bytes.
  void SetString(HKEY root, std::string_view path, std::string_view name, std::string_view text,
                 bool with_terminator = true);
  void SetBinary(HKEY root, std::string_view path, std::string_view name, std::vector<BYTE> bytes);
  /// Takes a key away with everything below it; handles open on it keep reading what it held.
  void RemoveKey(HKEY root, std::string_view path);
  void RemoveValue(HKEY root, std::string_view path, std::string_view name);
  /// A value's bytes, or nothing when the key or value is missing.
  std::optional<std::vector<BYTE>> Value(HKEY root, std::string_view path, std::string_view name) const;
  /// Opens of the key fail with ERROR_ACCESS_DENIED, as under an ACL that keeps the user out.
  void Deny(HKEY root, std::string_view path, bool denied = true);

  /// How the kernel names the hives: "\\REGISTRY\\MACHINE" and "\\REGISTRY\\USER" on
  /// Windows; Wine writes "\\REGISTRY\\Machine" and "\\REGISTRY\\User".
  void SetHiveNames(std::string machine, std::string users);
  /// The kernel's name of an open key; empty when `key` is not one.
  std::string KernelName(HKEY key) const;

  /// The next ZwQueryKey answers with this instead of the truth (scripted answers go in
  /// order, one per call): its bytes, cut to the caller's length, its result length and
  /// its status. For a system that misreports, so that the reader is seen to stay inside
  /// what it allocated.
  struct KeyNameAnswer {
    LONG status;
    ULONG result_length;
    std::vector<BYTE> bytes;
  };
  void ScriptKeyName(KeyNameAnswer answer) { scripted_.push_back(std::move(answer)); }
  /// KEY_NAME_INFORMATION's bytes for `name`: the length field (by default the name's true
  /// size in bytes), then the name in UTF-16. Names are ASCII.
  static std::vector<BYTE> KeyNameInformation(std::string_view name, std::optional<ULONG> name_length = {});

  /// Keys opened through the seam (or SetupAPI) and not closed: leaks, at the end of a test.
  std::size_t OpenKeyCount() const { return core_.handles.OpenCount("Key"); }

  /// Opens a key as a system DLL does for the program (SetupAPI's device keys): not
  /// journalled, no failure injected. Returns the Win32 error, setting `result` on success.
  LONG Open(HKEY root, std::string_view path, HKEY& result);
  /// Reads a value as a system DLL does: 0, ERROR_FILE_NOT_FOUND for a missing key or
  /// value. `type` and `bytes` are set on success.
  LONG Read(HKEY root, std::string_view path, std::string_view name, DWORD& type, std::vector<BYTE>& bytes) const;

  struct Node;

 private:
  struct Located {
    std::shared_ptr<Node> node;
    std::string kernel_name;
  };
  // The key behind a root or an open handle; nothing for neither.
  std::optional<Located> Resolve(HKEY key) const;
  // Walks `path` down from `from`: 0 and the key, or the Win32 error.
  LONG Walk(const Located& from, std::string_view path, Located& found) const;
  std::shared_ptr<Node> Make(HKEY root, std::string_view path);
  std::shared_ptr<Node> Find(HKEY root, std::string_view path) const;
  std::shared_ptr<Node> RootNode(HKEY root) const;
  std::string KeyArgument(HKEY key) const;

  Core& core_;
  std::shared_ptr<Node> machine_;
  std::shared_ptr<Node> user_;
  std::string machine_hive_ = "\\REGISTRY\\MACHINE";
  std::string users_hive_ = "\\REGISTRY\\USER";
  // The SID of the user whose hive is HKEY_CURRENT_USER ("\\REGISTRY\\USER\\<sid>").
  std::string user_sid_ = "S-1-5-21-1004336348-1177238915-682003330-1000";
  std::deque<KeyNameAnswer> scripted_;
};

}  // namespace sim

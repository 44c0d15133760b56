// The process's modules on the simulated PC: its own image (GetModuleHandleA,
// GetModuleFileNameA) and the DLLs loaded at run time (LoadLibraryA, GetProcAddress,
// FreeLibrary). SetupAPI.dll, ntdll's ZwQueryKey and NtQuerySystemInformation hand out plain
// functions with the real signatures, which run the PC's SimSetupApi, SimRegistry and SimProcess; the system DLLs the program
// imports are there to load as well, but export nothing simulated. Nothing is ever unloaded:
// after the last FreeLibrary GetModuleHandleA still answers.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/process.h"
#include "sim/registry.h"
#include "sim/setup_api.h"

namespace sim {

class SimModules final : public platform::Modules {
 public:
  /// Where the program's own image sits, as GetModuleHandleA(nullptr) reports it.
  static HMODULE ExeModule() { return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x00400000)); }

  SimModules(Core& core, SimSetupApi& setup_api, SimRegistry& registry, SimProcess& process);

  /// The modules of the installed platform, for the entry points. Throws NotSimulated when
  /// the installed platform is not the simulated PC.
  static SimModules& Current();

  /// Names as Windows takes them: any case, with or without ".dll", with or without a path.
  HMODULE GetModuleHandleA(LPCSTR name) override;
  DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) override;
  HMODULE LoadLibraryA(LPCSTR name) override;
  /// By name, case-sensitive; a name the module has in another case is not found.
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override;
  BOOL FreeLibrary(HMODULE module) override;

  /// Takes a module off the machine: later LoadLibraryA of it fail with ERROR_MOD_NOT_FOUND.
  /// One loaded already stays loaded.
  void Remove(std::string_view module);
  /// The module no longer exports `entry`: GetProcAddress fails with ERROR_PROC_NOT_FOUND.
  void RemoveEntry(std::string_view module, std::string_view entry);
  /// LoadLibraryA references of a module not yet given back by FreeLibrary.
  int References(std::string_view module) const;

  /// The pieces behind the entry points. An entry point called while its module is not
  /// loaded throws AccessViolation, as code running in an unloaded DLL would crash.
  SimSetupApi& SetupApiFor(std::string_view entry);
  SimRegistry& RegistryFor(std::string_view entry);
  SimProcess& ProcessFor(std::string_view entry);

 private:
  struct Module {
    std::string file_name;                  // as Windows spells it
    bool resident = false;                  // in the process from its start
    std::map<std::string, FARPROC> entries;  // by exact name
    std::set<std::string> removed_entries;
    bool on_disk = true;
    int references = 0;  // from LoadLibraryA
    HMODULE handle = nullptr;
  };
  Module* Find(std::string_view name);
  const Module* Find(std::string_view name) const;
  Module* Loaded(HMODULE handle);
  /// The module's handle, given on its first load.
  HMODULE Map(Module& module);
  void Enter(std::string_view module, std::string_view entry);

  Core& core_;
  SimSetupApi& setup_api_;
  SimRegistry& registry_;
  SimProcess& process_;
  std::map<std::string, Module> modules_;  // by upper-case file name
  std::size_t mapped_ = 0;
  // Where the program's image was started from, as GetModuleFileNameA reports it.
  std::string exe_path_ = "C:\\Program Files\\Pinscope\\Pinscope.exe";
};

}  // namespace sim

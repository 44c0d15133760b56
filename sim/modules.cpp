#include "sim/modules.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/win32_types.h"
#include "sim/format.h"

namespace sim {

using format::Dec;
using format::ModuleKey;
using format::Ptr;
using format::Str;

namespace {


bool IsOrdinal(LPCSTR name) { return reinterpret_cast<ULONG_PTR>(name) < 0x10000; }

// Through void (*)(), which converts to and from every function type without a warning.
template <typename Function>
FARPROC Export(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// The exports themselves: SetupAPI's and ntdll's own signatures, which the program calls
// through the pointers GetProcAddress gave it.

HDEVINFO WINAPI GetClassDevsExport(const GUID* class_guid, LPCSTR enumerator, HWND parent, DWORD flags) {
  return SimModules::Current().SetupApiFor("SetupDiGetClassDevsA").SetupDiGetClassDevsA(class_guid, enumerator,
                                                                                        parent, flags);
}

BOOL WINAPI DestroyDeviceInfoListExport(HDEVINFO set) {
  return SimModules::Current().SetupApiFor("SetupDiDestroyDeviceInfoList").SetupDiDestroyDeviceInfoList(set);
}

BOOL WINAPI EnumDeviceInfoExport(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
  return SimModules::Current().SetupApiFor("SetupDiEnumDeviceInfo").SetupDiEnumDeviceInfo(set, index, device);
}

BOOL WINAPI GetDeviceRegistryPropertyExport(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type,
                                            PBYTE buffer, DWORD size, LPDWORD required) {
  return SimModules::Current()
      .SetupApiFor("SetupDiGetDeviceRegistryPropertyA")
      .SetupDiGetDeviceRegistryPropertyA(set, device, property, type, buffer, size, required);
}

HKEY WINAPI OpenDevRegKeyExport(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD key_type,
                                REGSAM access) {
  return SimModules::Current().SetupApiFor("SetupDiOpenDevRegKey").SetupDiOpenDevRegKey(set, device, scope, profile,
                                                                                        key_type, access);
}

LONG WINAPI QueryKeyExport(HANDLE key, int information_class, PVOID information, ULONG length, PULONG result_length) {
  return SimModules::Current().RegistryFor("ZwQueryKey").ZwQueryKey(key, information_class, information, length,
                                                                    result_length);
}

LONG WINAPI QuerySystemInformationExport(int information_class, PVOID information, ULONG length,
                                         PULONG return_length) {
  return SimModules::Current().ProcessFor("NtQuerySystemInformation").NtQuerySystemInformation(
      information_class, information, length, return_length);
}

}  // namespace

SimModules::SimModules(Core& core, SimSetupApi& setup_api, SimRegistry& registry, SimProcess& process)
    : core_(core), setup_api_(setup_api), registry_(registry), process_(process) {
  for (const char* name : {"GetModuleHandleA", "GetModuleFileNameA", "LoadLibraryA", "GetProcAddress", "FreeLibrary"})
    core_.faults.Allow(name);
  auto add = [this](std::string file_name, bool resident, std::map<std::string, FARPROC> entries) {
    Module module;
    module.file_name = file_name;
    module.resident = resident;
    module.entries = std::move(entries);
    Module& added = modules_.emplace(ModuleKey(file_name), std::move(module)).first->second;
    if (resident) Map(added);
  };
  add("SETUPAPI.dll", false,
      {{"SetupDiGetClassDevsA", Export(GetClassDevsExport)},
       {"SetupDiDestroyDeviceInfoList", Export(DestroyDeviceInfoListExport)},
       {"SetupDiEnumDeviceInfo", Export(EnumDeviceInfoExport)},
       {"SetupDiGetDeviceRegistryPropertyA", Export(GetDeviceRegistryPropertyExport)},
       {"SetupDiOpenDevRegKey", Export(OpenDevRegKeyExport)}});
  // ntdll exports the same routine under both prefixes.
  add("ntdll.dll", true,
      {{"ZwQueryKey", Export(QueryKeyExport)},
       {"NtQueryKey", Export(QueryKeyExport)},
       {"NtQuerySystemInformation", Export(QuerySystemInformationExport)},
       {"ZwQuerySystemInformation", Export(QuerySystemInformationExport)}});
  // Wine's ntdll tells its version; Windows' has no such export.
  modules_.at(ModuleKey("ntdll.dll")).removed_entries.insert("wine_get_version");
  add("KERNEL32.dll", true, {});
  add("USER32.dll", true, {});
  add("ADVAPI32.dll", false, {});
  add("WINSPOOL.DRV", false, {});
}

HMODULE SimModules::GetModuleHandleA(LPCSTR name) {
  core_.Record("GetModuleHandleA", {Str(name)});
  if (core_.Failing("GetModuleHandleA")) return nullptr;
  if (!name) return ExeModule();
  // A module once loaded stays in the process: FreeLibrary never unloads here.
  const Module* found = Find(name);
  if (!found || !found->handle) return core_.Fail(ERROR_MOD_NOT_FOUND, HMODULE{nullptr});
  return found->handle;
}

DWORD SimModules::GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  core_.Record("GetModuleFileNameA", {format::Handle(module), Ptr(buffer), Dec(size)});
  if (core_.Failing("GetModuleFileNameA")) return 0;
  std::string path;
  if (!module || module == ExeModule()) {
    path = exe_path_;
  } else {
    for (const auto& [key, loaded] : modules_) {
      if (loaded.handle == module) path = "C:\\Windows\\system32\\" + key;
    }
    if (path.empty()) return core_.Fail(ERROR_MOD_NOT_FOUND, DWORD{0});
  }
  if (!size) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  if (!buffer) throw AccessViolation("GetModuleFileNameA: lpFilename is null");
  const auto length = static_cast<DWORD>(path.size());
  // Too small a buffer gets what fits, still terminated, and the call answers with its size.
  const DWORD copied = std::min(length, size - 1);
  std::memcpy(buffer, path.data(), copied);
  buffer[copied] = '\0';
  if (copied < length) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, size);
  return length;
}

HMODULE SimModules::Map(Module& module) {
  // DLLs load high, each in its own megabyte; the values mean nothing beyond being distinct.
  if (!module.handle) module.handle = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x10000000) + mapped_++ * 0x100000);
  return module.handle;
}

SimModules& SimModules::Current() {
  auto* modules = dynamic_cast<SimModules*>(platform::Installed().modules);
  if (!modules) throw NotSimulated("a simulated DLL's entry point ran while the simulated PC was not installed");
  return *modules;
}

SimModules::Module* SimModules::Find(std::string_view name) {
  auto it = modules_.find(ModuleKey(name));
  return it == modules_.end() ? nullptr : &it->second;
}

const SimModules::Module* SimModules::Find(std::string_view name) const {
  auto it = modules_.find(ModuleKey(name));
  return it == modules_.end() ? nullptr : &it->second;
}

SimModules::Module* SimModules::Loaded(HMODULE handle) {
  for (auto& [key, module] : modules_) {
    if (module.handle && module.handle == handle && (module.resident || module.references > 0)) return &module;
  }
  return nullptr;
}

HMODULE SimModules::LoadLibraryA(LPCSTR name) {
  core_.Record("LoadLibraryA", {Str(name)});
  if (core_.Failing("LoadLibraryA")) return nullptr;
  if (!name) return core_.Fail(ERROR_INVALID_PARAMETER, HMODULE{nullptr});
  Module* module = Find(name);
  if (!module || !module->on_disk) return core_.Fail(ERROR_MOD_NOT_FOUND, HMODULE{nullptr});
  ++module->references;
  return Map(*module);
}

FARPROC SimModules::GetProcAddress(HMODULE module, LPCSTR name) {
  const bool ordinal = IsOrdinal(name);
  core_.Record("GetProcAddress",
               {format::Handle(module), ordinal ? format::Dec(reinterpret_cast<ULONG_PTR>(name)) : Str(name)});
  if (core_.Failing("GetProcAddress")) return nullptr;
  if (ordinal) throw NotSimulated("GetProcAddress by ordinal");
  // The program's own image exports nothing.
  if (!module || module == ExeModule()) return core_.Fail(ERROR_PROC_NOT_FOUND, FARPROC{nullptr});
  Module* found = Loaded(module);
  if (!found) return core_.Fail(ERROR_MOD_NOT_FOUND, FARPROC{nullptr});
  if (found->removed_entries.contains(name)) return core_.Fail(ERROR_PROC_NOT_FOUND, FARPROC{nullptr});
  if (auto it = found->entries.find(name); it != found->entries.end()) return it->second;
  // A known export asked for in another case does not exist; any other name may well
  // exist in the real DLL, and answering for it would be a guess.
  for (const auto& [entry, address] : found->entries) {
    if (format::SameName(entry, name)) return core_.Fail(ERROR_PROC_NOT_FOUND, FARPROC{nullptr});
  }
  throw NotSimulated("GetProcAddress(" + found->file_name + ", " + name + ")");
}

BOOL SimModules::FreeLibrary(HMODULE module) {
  core_.Record("FreeLibrary", {format::Handle(module)});
  if (core_.Failing("FreeLibrary")) return FALSE;
  Module* found = Loaded(module);
  if (!found) return core_.Fail(ERROR_MOD_NOT_FOUND, FALSE);
  // A module the process was started with stays, whatever the count says.
  if (found->references > 0) --found->references;
  return TRUE;
}

void SimModules::Remove(std::string_view module) {
  Module* found = Find(module);
  if (!found) throw std::invalid_argument("sim: no module " + std::string(module));
  found->on_disk = false;
}

void SimModules::RemoveEntry(std::string_view module, std::string_view entry) {
  Module* found = Find(module);
  if (!found || !found->entries.contains(std::string(entry))) {
    throw std::invalid_argument("sim: " + std::string(module) + " has no entry " + std::string(entry));
  }
  found->removed_entries.emplace(entry);
}

int SimModules::References(std::string_view module) const {
  const Module* found = Find(module);
  if (!found) throw std::invalid_argument("sim: no module " + std::string(module));
  return found->references;
}

void SimModules::Enter(std::string_view module, std::string_view entry) {
  const Module* found = Find(module);
  if (!found->resident && found->references == 0) {
    throw AccessViolation(std::string(entry) + " called while " + found->file_name + " is not loaded");
  }
}

SimSetupApi& SimModules::SetupApiFor(std::string_view entry) {
  Enter("SETUPAPI.DLL", entry);
  return setup_api_;
}

SimRegistry& SimModules::RegistryFor(std::string_view entry) {
  Enter("NTDLL.DLL", entry);
  return registry_;
}

SimProcess& SimModules::ProcessFor(std::string_view entry) {
  Enter("NTDLL.DLL", entry);
  return process_;
}

}  // namespace sim

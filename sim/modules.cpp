#include "sim/modules.h"

#include <algorithm>
#include <stdexcept>

#include "sim/format.h"
#include "sim/win32_extra.h"

namespace sim {

using format::ModuleKey;
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

}  // namespace

SimModules::SimModules(Core& core, SimProcess& process, SimSetupApi& setup_api, SimRegistry& registry)
    : core_(core), process_(process), setup_api_(setup_api), registry_(registry) {
  for (const char* name : {"LoadLibraryA", "GetProcAddress", "FreeLibrary"}) core_.faults.Allow(name);
  auto add = [this](std::string file_name, bool resident, std::map<std::string, FARPROC> entries) {
    Module module;
    module.file_name = file_name;
    module.resident = resident;
    module.entries = std::move(entries);
    if (resident) module.handle = process_.AddModule(file_name);
    modules_.emplace(ModuleKey(file_name), std::move(module));
  };
  add("SETUPAPI.dll", false,
      {{"SetupDiGetClassDevsA", Export(GetClassDevsExport)},
       {"SetupDiDestroyDeviceInfoList", Export(DestroyDeviceInfoListExport)},
       {"SetupDiEnumDeviceInfo", Export(EnumDeviceInfoExport)},
       {"SetupDiGetDeviceRegistryPropertyA", Export(GetDeviceRegistryPropertyExport)},
       {"SetupDiOpenDevRegKey", Export(OpenDevRegKeyExport)}});
  // ntdll exports the same routine under both prefixes.
  add("ntdll.dll", true, {{"ZwQueryKey", Export(QueryKeyExport)}, {"NtQueryKey", Export(QueryKeyExport)}});
  add("KERNEL32.dll", true, {});
  add("USER32.dll", true, {});
  add("ADVAPI32.dll", false, {});
  add("WINSPOOL.DRV", false, {});
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
  if (!module->handle) module->handle = process_.AddModule(module->file_name);
  ++module->references;
  return module->handle;
}

FARPROC SimModules::GetProcAddress(HMODULE module, LPCSTR name) {
  const bool ordinal = IsOrdinal(name);
  core_.Record("GetProcAddress",
               {format::Handle(module), ordinal ? format::Dec(reinterpret_cast<ULONG_PTR>(name)) : Str(name)});
  if (core_.Failing("GetProcAddress")) return nullptr;
  if (ordinal) throw NotSimulated("GetProcAddress by ordinal");
  // The program's own image exports nothing.
  if (!module || module == SimProcess::ExeModule()) return core_.Fail(ERROR_PROC_NOT_FOUND, FARPROC{nullptr});
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

}  // namespace sim

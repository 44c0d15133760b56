#include "sim/services.h"

#include <cctype>
#include <cstddef>
#include <iterator>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/win32_types.h"
#include "sim/format.h"

namespace sim {

using format::Dec;
using format::Handle;
using format::Hex;
using format::Ptr;
using format::Str;

namespace {

constexpr DWORD kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;

// Generic rights as the service control manager maps them, for itself and for services.
DWORD ManagerRights(DWORD access) {
  DWORD rights = access & ~(kGenericRights | MAXIMUM_ALLOWED);
  if (access & GENERIC_READ) rights |= SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
  if (access & GENERIC_WRITE) rights |= SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG | READ_CONTROL;
  if (access & GENERIC_EXECUTE) rights |= SC_MANAGER_CONNECT | SC_MANAGER_LOCK | READ_CONTROL;
  if (access & GENERIC_ALL) rights |= SC_MANAGER_ALL_ACCESS;
  return rights;
}

DWORD ServiceRights(DWORD access) {
  DWORD rights = access & ~(kGenericRights | MAXIMUM_ALLOWED);
  if (access & GENERIC_READ) {
    rights |=
        SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS | READ_CONTROL;
  }
  if (access & GENERIC_WRITE) rights |= SERVICE_CHANGE_CONFIG | READ_CONTROL;
  if (access & GENERIC_EXECUTE) {
    rights |= SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;
  }
  if (access & GENERIC_ALL) rights |= SERVICE_ALL_ACCESS;
  return rights;
}

// What the default security of the manager and of a service grant a user who is not elevated.
constexpr DWORD kUserManagerRights =
    SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
constexpr DWORD kUserServiceRights = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                     SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;

// Grants `wanted` out of `allowed`, MAXIMUM_ALLOWED taking all of it; false when part is refused.
bool Grant(DWORD access, DWORD wanted, DWORD allowed, DWORD& granted) {
  if (wanted & ~allowed) return false;
  granted = access & MAXIMUM_ALLOWED ? allowed : wanted;
  return true;
}

struct ManagerHandle final : KernelObject {
  explicit ManagerHandle(DWORD granted) : granted(granted) {}
  std::string_view Kind() const override { return "Manager"; }
  DWORD granted;
};

struct ServiceHandle final : KernelObject {
  ServiceHandle(std::shared_ptr<SimServices::Service> service, DWORD granted)
      : service(std::move(service)), granted(granted) {}
  std::string_view Kind() const override { return "Service"; }
  std::shared_ptr<SimServices::Service> service;
  DWORD granted;
};

struct TokenHandle final : KernelObject {
  explicit TokenHandle(DWORD granted) : granted(granted) {}
  std::string_view Kind() const override { return "Token"; }
  DWORD granted;
};

// The privileges the PC knows by name, with the values their LUIDs have on Windows.
constexpr DWORD kLoadDriverPrivilege = 10;
constexpr DWORD kShutdownPrivilege = 19;
constexpr DWORD kDebugPrivilege = 20;
constexpr DWORD kChangeNotifyPrivilege = 23;
constexpr std::pair<std::string_view, DWORD> kPrivilegeNames[] = {
    {"SeLoadDriverPrivilege", kLoadDriverPrivilege},
    {"SeShutdownPrivilege", kShutdownPrivilege},
    {"SeDebugPrivilege", kDebugPrivilege},
    {"SeChangeNotifyPrivilege", kChangeNotifyPrivilege},
};

// TOKEN_PRIVILEGES with `count` entries.
DWORD PrivilegesSize(DWORD count) {
  return static_cast<DWORD>(offsetof(TOKEN_PRIVILEGES, Privileges) + count * sizeof(LUID_AND_ATTRIBUTES));
}

bool IsDriver(DWORD type) { return type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER; }

bool ValidType(DWORD type) {
  const DWORD process = type & ~SERVICE_INTERACTIVE_PROCESS;
  if (IsDriver(type)) return true;
  return process == SERVICE_WIN32_OWN_PROCESS || process == SERVICE_WIN32_SHARE_PROCESS;
}

bool ValidName(LPCSTR name) {
  if (!name || !*name || std::strlen(name) > 256) return false;
  return !std::strpbrk(name, "\\/");
}

// The file a driver's ImagePath names, as the kernel reads it: with the prefix \??\ or
// \SystemRoot\, or relative to the Windows folder.
std::string ImageFile(std::string path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  const std::string upper = format::Upper(path);
  if (upper.starts_with("\\??\\")) return path.substr(4);
  for (std::string_view root : {"\\SYSTEMROOT\\", "%SYSTEMROOT%\\"}) {
    if (upper.starts_with(root)) return "C:\\Windows\\" + path.substr(root.size());
  }
  if (upper.size() < 2 || upper[1] != ':') return "C:\\Windows\\" + path;
  return path;
}

// What the service control manager stores for a driver's binary path: a path with a drive
// letter becomes an NT path under \??\, as QueryServiceConfigA then reports it.
std::string StoredDriverPath(DWORD type, std::string path) {
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     path[2] == '\\';
  return IsDriver(type) && drive ? "\\??\\" + path : path;
}

}  // namespace

SimServices::SimServices(Core& core, Disk& disk, SimKernel& kernel) : core_(core), disk_(disk), kernel_(kernel) {
  for (const char* name : {"OpenSCManagerA", "CreateServiceA", "OpenServiceA", "StartServiceA", "ControlService",
                           "QueryServiceStatus", "QueryServiceConfigA", "ChangeServiceConfigA", "DeleteService", "CloseServiceHandle", "OpenProcessToken",
                           "LookupPrivilegeValueA", "GetTokenInformation", "AdjustTokenPrivileges"}) {
    core_.faults.Allow(name);
  }
  ResetToken();
  // A device's create routine judges the thread that opens it by this token.
  kernel_.SetCaller([this] { return kernel_bridge::Caller{PrivilegeEnabled(kLoadDriverPrivilege)}; });
}

void SimServices::SetElevated(bool elevated) {
  elevated_ = elevated;
  disk_.SetElevated(elevated);
  ResetToken();
}

void SimServices::ResetToken() {
  // What Windows gives an administrator's full token and a filtered (standard user) one.
  held_ = elevated_ ? std::set<DWORD>{kLoadDriverPrivilege, kShutdownPrivilege, kDebugPrivilege, kChangeNotifyPrivilege}
                    : std::set<DWORD>{kShutdownPrivilege, kChangeNotifyPrivilege};
  enabled_ = {kChangeNotifyPrivilege};
}

std::shared_ptr<SimServices::Service> SimServices::Lookup(std::string_view name) const {
  auto it = services_.find(format::Upper(name));
  return it == services_.end() ? nullptr : it->second;
}

const SimServices::Service* SimServices::Find(std::string_view name) const { return Lookup(name).get(); }

const SimServices::Service& SimServices::Add(const Config& config) {
  if (Lookup(config.name)) throw std::invalid_argument("sim: the service " + config.name + " exists");
  return Install(config.name, config.display_name.empty() ? config.name : config.display_name, config.binary_path,
                 config.type, config.start_type, config.error_control);
}

SimServices::Service& SimServices::Install(std::string_view name, std::string_view display_name,
                                           std::string_view binary_path, DWORD type, DWORD start_type,
                                           DWORD error_control) {
  auto service = std::make_shared<Service>(Service{std::string(name), std::string(display_name), type, start_type,
                                                   error_control, std::string(binary_path), SERVICE_STOPPED,
                                                   ERROR_SERVICE_NEVER_STARTED, false, 0, nullptr});
  services_.emplace(format::Upper(name), service);
  return *service;
}

DWORD SimServices::Start(std::string_view name) {
  std::shared_ptr<Service> service = Lookup(name);
  if (!service) return ERROR_SERVICE_DOES_NOT_EXIST;
  return Start(*service);
}

DWORD SimServices::Start(Service& service) {
  if (service.marked_for_delete) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (service.start_type == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
  if (service.state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
  if (!IsDriver(service.type)) throw NotSimulated("starting a service that is not a driver: " + service.name);
  // The kernel loads whatever file the service names, which need not be the one this
  // program would have written.
  std::vector<BYTE> image;
  DWORD error = disk_.ReadImage(ImageFile(service.binary_path), image);
  if (!error) error = kernel_.Load(image, service.driver);
  service.exit_code = error;
  if (!error) service.state = SERVICE_RUNNING;
  return error;
}

void SimServices::Forget(const std::shared_ptr<Service>& service) {
  if (!service->marked_for_delete || service->handles || service->state != SERVICE_STOPPED) return;
  if (auto it = services_.find(format::Upper(service->name)); it != services_.end() && it->second == service) {
    services_.erase(it);
  }
}

void SimServices::Fill(const Service& service, LPSERVICE_STATUS status) const {
  status->dwServiceType = service.type;
  status->dwCurrentState = service.state;
  status->dwControlsAccepted = service.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status->dwWin32ExitCode = service.exit_code;
  status->dwServiceSpecificExitCode = 0;
  status->dwCheckPoint = 0;
  status->dwWaitHint = 0;
}

SC_HANDLE SimServices::OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
  core_.Record("OpenSCManagerA", {Str(machine), Str(database), Hex(access)});
  if (core_.Failing("OpenSCManagerA")) return nullptr;
  if (machine && *machine) throw NotSimulated("the service control manager of another machine");
  if (database && !format::SameName(database, "ServicesActive")) {
    return core_.Fail(ERROR_DATABASE_DOES_NOT_EXIST, SC_HANDLE{nullptr});
  }
  DWORD granted = 0;
  const DWORD allowed = elevated_ ? SC_MANAGER_ALL_ACCESS : kUserManagerRights;
  if (!Grant(access, ManagerRights(access), allowed, granted))
    return core_.Fail(ERROR_ACCESS_DENIED, SC_HANDLE{nullptr});
  return static_cast<SC_HANDLE>(handles_.Add(std::make_shared<ManagerHandle>(granted | SC_MANAGER_CONNECT)));
}

SC_HANDLE SimServices::CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display_name, DWORD access,
                                      DWORD service_type, DWORD start_type, DWORD error_control, LPCSTR binary_path,
                                      LPCSTR load_order_group, LPDWORD tag, LPCSTR dependencies, LPCSTR account,
                                      LPCSTR password) {
  core_.Record("CreateServiceA", {Handle(manager), Str(name), Str(display_name), Hex(access), Hex(service_type),
                                  Dec(start_type), Dec(error_control), Str(binary_path), Str(load_order_group),
                                  Ptr(tag), Ptr(dependencies), Str(account), Ptr(password)});
  if (core_.Failing("CreateServiceA")) return nullptr;
  auto* opened = handles_.FindAs<ManagerHandle>(manager);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, SC_HANDLE{nullptr});
  if (!(opened->granted & SC_MANAGER_CREATE_SERVICE)) return core_.Fail(ERROR_ACCESS_DENIED, SC_HANDLE{nullptr});
  if (!ValidName(name)) return core_.Fail(ERROR_INVALID_NAME, SC_HANDLE{nullptr});
  if (!binary_path || !*binary_path || !ValidType(service_type) || start_type > SERVICE_DISABLED ||
      (start_type < SERVICE_AUTO_START && !IsDriver(service_type)) || error_control > SERVICE_ERROR_CRITICAL) {
    return core_.Fail(ERROR_INVALID_PARAMETER, SC_HANDLE{nullptr});
  }
  if (tag || (load_order_group && *load_order_group) || (dependencies && *dependencies)) {
    throw NotSimulated("CreateServiceA: load order groups, tags and dependencies");
  }
  if (std::shared_ptr<Service> existing = Lookup(name)) {
    return core_.Fail(existing->marked_for_delete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS,
                      SC_HANDLE{nullptr});
  }
  const std::string shown = display_name && *display_name ? display_name : name;
  for (const auto& [key, other] : services_) {
    if (format::SameName(other->display_name, shown) || format::SameName(other->name, shown)) {
      return core_.Fail(ERROR_DUPLICATE_SERVICE_NAME, SC_HANDLE{nullptr});
    }
  }
  DWORD granted = 0;
  if (!Grant(access, ServiceRights(access), SERVICE_ALL_ACCESS, granted)) {
    return core_.Fail(ERROR_ACCESS_DENIED, SC_HANDLE{nullptr});
  }
  Install(name, shown, StoredDriverPath(service_type, binary_path), service_type, start_type, error_control);
  std::shared_ptr<Service> service = Lookup(name);
  ++service->handles;
  core_.last_error = ERROR_SUCCESS;
  return static_cast<SC_HANDLE>(handles_.Add(std::make_shared<ServiceHandle>(service, granted)));
}

SC_HANDLE SimServices::OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
  core_.Record("OpenServiceA", {Handle(manager), Str(name), Hex(access)});
  if (core_.Failing("OpenServiceA")) return nullptr;
  if (!handles_.FindAs<ManagerHandle>(manager)) return core_.Fail(ERROR_INVALID_HANDLE, SC_HANDLE{nullptr});
  if (!ValidName(name)) return core_.Fail(ERROR_INVALID_NAME, SC_HANDLE{nullptr});
  std::shared_ptr<Service> service = Lookup(name);
  if (!service) return core_.Fail(ERROR_SERVICE_DOES_NOT_EXIST, SC_HANDLE{nullptr});
  DWORD granted = 0;
  const DWORD allowed = elevated_ ? SERVICE_ALL_ACCESS : kUserServiceRights;
  if (!Grant(access, ServiceRights(access), allowed, granted))
    return core_.Fail(ERROR_ACCESS_DENIED, SC_HANDLE{nullptr});
  ++service->handles;
  return static_cast<SC_HANDLE>(handles_.Add(std::make_shared<ServiceHandle>(service, granted)));
}

BOOL SimServices::StartServiceA(SC_HANDLE handle, DWORD argc, LPCSTR* argv) {
  core_.Record("StartServiceA", {Handle(handle), Dec(argc), Ptr(argv)});
  if (core_.Failing("StartServiceA")) return FALSE;
  auto* opened = handles_.FindAs<ServiceHandle>(handle);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(opened->granted & SERVICE_START)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (DWORD error = Start(*opened->service)) return core_.Fail(error, FALSE);
  return TRUE;
}

BOOL SimServices::ControlService(SC_HANDLE handle, DWORD control, LPSERVICE_STATUS status) {
  core_.Record("ControlService", {Handle(handle), Dec(control), Ptr(status)});
  if (core_.Failing("ControlService")) return FALSE;
  auto* opened = handles_.FindAs<ServiceHandle>(handle);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!status) return core_.Fail(RPC_X_NULL_REF_POINTER, FALSE);
  if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE) {
    throw NotSimulated("ControlService " + Dec(control));
  }
  const DWORD needed = control == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_INTERROGATE;
  if (!(opened->granted & needed)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);

  // These failures still report the service's status.
  const std::shared_ptr<Service> service = opened->service;
  auto refuse = [&](DWORD error) {
    Fill(*service, status);
    return core_.Fail(error, FALSE);
  };
  if (service->state == SERVICE_STOPPED) return refuse(ERROR_SERVICE_NOT_ACTIVE);
  if (service->state != SERVICE_RUNNING) return refuse(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  if (control == SERVICE_CONTROL_STOP) {
    std::weak_ptr<Service> weak = service;
    auto stopped = [this, weak] {
      if (std::shared_ptr<Service> gone = weak.lock()) {
        gone->state = SERVICE_STOPPED;
        gone->exit_code = ERROR_SUCCESS;
        gone->driver.reset();
        Forget(gone);
      }
    };
    // The kernel unloads a driver only once no handle to its devices is open; until then
    // the service stays stop-pending.
    switch (kernel_.Unload(service->driver, stopped)) {
      case SimKernel::Stop::NotStoppable: return refuse(ERROR_INVALID_SERVICE_CONTROL);
      case SimKernel::Stop::Pending: service->state = SERVICE_STOP_PENDING; break;
      case SimKernel::Stop::Unloaded: stopped(); break;
    }
  }
  Fill(*service, status);
  return TRUE;
}

BOOL SimServices::QueryServiceStatus(SC_HANDLE handle, LPSERVICE_STATUS status) {
  core_.Record("QueryServiceStatus", {Handle(handle), Ptr(status)});
  if (core_.Failing("QueryServiceStatus")) return FALSE;
  auto* opened = handles_.FindAs<ServiceHandle>(handle);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!status) return core_.Fail(RPC_X_NULL_REF_POINTER, FALSE);
  if (!(opened->granted & SERVICE_QUERY_STATUS)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  Fill(*opened->service, status);
  return TRUE;
}

BOOL SimServices::QueryServiceConfigA(SC_HANDLE handle, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
  core_.Record("QueryServiceConfigA", {Handle(handle), Ptr(config), Dec(size), Ptr(needed)});
  if (core_.Failing("QueryServiceConfigA")) return FALSE;
  auto* opened = handles_.FindAs<ServiceHandle>(handle);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!needed) throw AccessViolation("QueryServiceConfigA: pcbBytesNeeded is null");
  if (!(opened->granted & SERVICE_QUERY_CONFIG)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  const Service& service = *opened->service;
  // The record, then its strings: binary path, load order group, dependencies (a double-null
  // list), start name, display name.
  const std::string strings[] = {service.binary_path, "", std::string(1, '\0'), "", service.display_name};
  DWORD total = sizeof(QUERY_SERVICE_CONFIGA);
  for (const std::string& text : strings) total += static_cast<DWORD>(text.size() + 1);
  *needed = total;
  if (size < total) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (!config) throw AccessViolation("QueryServiceConfigA: lpServiceConfig is null");
  char* next = reinterpret_cast<char*>(config + 1);
  LPSTR* fields[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup, &config->lpDependencies,
                     &config->lpServiceStartName, &config->lpDisplayName};
  for (std::size_t i = 0; i < std::size(strings); ++i) {
    *fields[i] = next;
    std::memcpy(next, strings[i].c_str(), strings[i].size() + 1);
    next += strings[i].size() + 1;
  }
  config->dwServiceType = service.type;
  config->dwStartType = service.start_type;
  config->dwErrorControl = service.error_control;
  config->dwTagId = 0;
  return TRUE;
}

BOOL SimServices::ChangeServiceConfigA(SC_HANDLE handle, DWORD service_type, DWORD start_type, DWORD error_control,
                                       LPCSTR binary_path, LPCSTR load_order_group, LPDWORD tag,
                                       LPCSTR dependencies, LPCSTR account, LPCSTR password, LPCSTR display_name) {
  core_.Record("ChangeServiceConfigA", {Handle(handle), Hex(service_type), Hex(start_type), Hex(error_control),
                                        Str(binary_path), Str(load_order_group), Ptr(tag), Ptr(dependencies),
                                        Str(account), Ptr(password), Str(display_name)});
  if (core_.Failing("ChangeServiceConfigA")) return FALSE;
  auto* opened = handles_.FindAs<ServiceHandle>(handle);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(opened->granted & SERVICE_CHANGE_CONFIG)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (tag || (load_order_group && *load_order_group) || (dependencies && *dependencies) || account || password) {
    throw NotSimulated("ChangeServiceConfigA: load order groups, tags, dependencies and accounts");
  }
  Service& service = *opened->service;
  if (service.marked_for_delete) return core_.Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
  const DWORD type = service_type == SERVICE_NO_CHANGE ? service.type : service_type;
  const DWORD start = start_type == SERVICE_NO_CHANGE ? service.start_type : start_type;
  const DWORD error = error_control == SERVICE_NO_CHANGE ? service.error_control : error_control;
  if (!ValidType(type) || start > SERVICE_DISABLED || (start < SERVICE_AUTO_START && !IsDriver(type)) ||
      error > SERVICE_ERROR_CRITICAL || (binary_path && !*binary_path)) {
    return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  service.type = type;
  service.start_type = start;
  service.error_control = error;
  if (binary_path) service.binary_path = StoredDriverPath(type, binary_path);
  if (display_name && *display_name) service.display_name = display_name;
  return TRUE;
}

BOOL SimServices::DeleteService(SC_HANDLE handle) {
  core_.Record("DeleteService", {Handle(handle)});
  if (core_.Failing("DeleteService")) return FALSE;
  auto* opened = handles_.FindAs<ServiceHandle>(handle);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(opened->granted & DELETE)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (opened->service->marked_for_delete) return core_.Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
  // The service goes once it is stopped and its last handle (this one, at least) is closed.
  opened->service->marked_for_delete = true;
  return TRUE;
}

BOOL SimServices::CloseServiceHandle(SC_HANDLE handle) {
  core_.Record("CloseServiceHandle", {Handle(handle)});
  if (core_.Failing("CloseServiceHandle")) return FALSE;
  std::shared_ptr<Service> service;
  if (auto* opened = handles_.FindAs<ServiceHandle>(handle)) service = opened->service;
  if (!handles_.Close(handle)) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (service) {
    --service->handles;
    Forget(service);
  }
  return TRUE;
}

BOOL SimServices::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  core_.Record("OpenProcessToken", {Handle(process), Hex(access), Ptr(token)});
  if (core_.Failing("OpenProcessToken")) return FALSE;
  if (!token) throw AccessViolation("OpenProcessToken: TokenHandle is null");
  if (process != reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))) {
    throw NotSimulated("OpenProcessToken of a process other than the current one");
  }
  *token = core_.handles.Add(std::make_shared<TokenHandle>(access));
  return TRUE;
}

BOOL SimServices::LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
  core_.Record("LookupPrivilegeValueA", {Str(system), Str(name), Ptr(luid)});
  if (core_.Failing("LookupPrivilegeValueA")) return FALSE;
  if (system && *system) throw NotSimulated("LookupPrivilegeValueA on another machine");
  if (!name || !luid) throw AccessViolation("LookupPrivilegeValueA: a null name or LUID");
  for (const auto& [known, value] : kPrivilegeNames) {
    if (format::SameName(known, name)) {
      *luid = LUID{value, 0};
      return TRUE;
    }
  }
  return core_.Fail(ERROR_NO_SUCH_PRIVILEGE, FALSE);
}

BOOL SimServices::GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information,
                                      DWORD length, PDWORD return_length) {
  core_.Record("GetTokenInformation",
               {Handle(token), Dec(information_class), Ptr(information), Dec(length), Ptr(return_length)});
  if (core_.Failing("GetTokenInformation")) return FALSE;
  if (information_class != TokenElevation) throw NotSimulated("GetTokenInformation class " + Dec(information_class));
  if (!return_length) throw AccessViolation("GetTokenInformation: ReturnLength is null");
  auto* opened = core_.handles.FindAs<TokenHandle>(token);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(opened->granted & TOKEN_QUERY)) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  *return_length = sizeof(TOKEN_ELEVATION);
  if (length < sizeof(TOKEN_ELEVATION)) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (!information) throw AccessViolation("GetTokenInformation: TokenInformation is null");
  static_cast<TOKEN_ELEVATION*>(information)->TokenIsElevated = elevated_;
  return TRUE;
}

BOOL SimServices::AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD length,
                                        PTOKEN_PRIVILEGES previous_state, LPDWORD return_length) {
  core_.Record("AdjustTokenPrivileges",
               {Handle(token), Dec(disable_all), Ptr(new_state), Dec(length), Ptr(previous_state), Ptr(return_length)});
  if (core_.Failing("AdjustTokenPrivileges")) return FALSE;
  auto* opened = core_.handles.FindAs<TokenHandle>(token);
  if (!opened) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  const DWORD needed = TOKEN_ADJUST_PRIVILEGES | (previous_state ? TOKEN_QUERY : 0);
  if ((opened->granted & needed) != needed) return core_.Fail(ERROR_ACCESS_DENIED, FALSE);
  if (disable_all) throw NotSimulated("AdjustTokenPrivileges disabling all privileges");
  if (!new_state) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);

  // Work out every change first: a previous-state buffer that is too small fails the call
  // with nothing changed.
  std::vector<std::pair<DWORD, bool>> changes;  // privilege, enable
  bool all_assigned = true;
  for (DWORD i = 0; i < new_state->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& entry = new_state->Privileges[i];
    if (entry.Attributes & ~(SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT)) {
      throw NotSimulated("AdjustTokenPrivileges attributes " + Hex(entry.Attributes));
    }
    const DWORD privilege = entry.Luid.HighPart ? 0 : entry.Luid.LowPart;
    if (!PrivilegeHeld(privilege)) {
      all_assigned = false;
      continue;
    }
    const bool enable = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    if (enable != PrivilegeEnabled(privilege)) changes.emplace_back(privilege, enable);
  }
  if (previous_state) {
    const DWORD size = PrivilegesSize(static_cast<DWORD>(changes.size()));
    if (return_length) *return_length = size;
    if (length < size) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    // Only what this call changed, with the state it had before.
    previous_state->PrivilegeCount = static_cast<DWORD>(changes.size());
    for (size_t i = 0; i < changes.size(); ++i) {
      const DWORD was = changes[i].second ? DWORD{0} : DWORD{SE_PRIVILEGE_ENABLED};
      previous_state->Privileges[i] = {LUID{changes[i].first, 0}, was};
    }
  }
  for (const auto& [privilege, enable] : changes) {
    if (enable)
      enabled_.insert(privilege);
    else
      enabled_.erase(privilege);
  }
  // Success either way; the last error tells whether every privilege named was there.
  core_.last_error = all_assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
  return TRUE;
}

}  // namespace sim

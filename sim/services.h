// advapi32's service control manager on the simulated PC: the service database, handles
// with the rights they were granted, and kernel drivers that start by loading their image
// from the disk into the PC's kernel. Also the process's access token, whose privileges
// follow the same elevation and decide whether a driver's device lets the program in.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/disk.h"
#include "sim/handles.h"
#include "sim/kernel.h"

namespace sim {

class SimServices final : public platform::Services {
 public:
  /// An installed service.
  struct Service {
    std::string name;
    std::string display_name;
    DWORD type;
    DWORD start_type;
    DWORD error_control;
    std::string binary_path;
    DWORD state = SERVICE_STOPPED;
    DWORD exit_code;  // ERROR_SERVICE_NEVER_STARTED until it ran
    bool marked_for_delete = false;
    int handles = 0;
    std::shared_ptr<SimKernel::Loaded> driver;  // while a driver service runs
  };

  SimServices(Core& core, Disk& disk, SimKernel& kernel);

  SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) override;
  SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display_name, DWORD access, DWORD service_type,
                           DWORD start_type, DWORD error_control, LPCSTR binary_path, LPCSTR load_order_group,
                           LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password) override;
  SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) override;
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) override;
  BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) override;
  BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) override;
  BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) override;
  BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD service_type, DWORD start_type, DWORD error_control,
                            LPCSTR binary_path, LPCSTR load_order_group, LPDWORD tag, LPCSTR dependencies,
                            LPCSTR account, LPCSTR password, LPCSTR display_name) override;
  BOOL DeleteService(SC_HANDLE service) override;
  BOOL CloseServiceHandle(SC_HANDLE handle) override;
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override;
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override;
  /// TokenElevation only: what SetElevated said.
  BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, LPVOID information, DWORD length,
                           PDWORD return_length) override;
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD length,
                             PTOKEN_PRIVILEGES previous_state, LPDWORD return_length) override;

  /// A service as a test installs it ahead of the program (one a killed run left behind), its
  /// binary path stored as given:
  ///   pc.services.Add({.name = "vlio", .binary_path = "C:\\Windows\\Temp\\vlio.sys"});
  struct Config {
    std::string name{};
    std::string binary_path{};
    DWORD type = SERVICE_KERNEL_DRIVER;
    DWORD start_type = SERVICE_DEMAND_START;
    DWORD error_control = SERVICE_ERROR_NORMAL;
    std::string display_name{};  // empty: the name
  };
  /// Installs a stopped service; throws std::invalid_argument when the name is taken.
  const Service& Add(const Config& config);
  /// Starts a service as StartServiceA does, without a handle: 0 or the error.
  DWORD Start(std::string_view name);
  /// The service of that name (any case), or null.
  const Service* Find(std::string_view name) const;

  /// An elevated program (the default) may do anything; one that is not gets only what
  /// Windows gives a standard user: connecting and querying. Either way the process's token
  /// starts afresh: an elevated one holds the load-driver privilege, disabled until enabled;
  /// a filtered one does not hold it at all. The disk follows (Disk::SetElevated).
  void SetElevated(bool elevated);
  /// Whether the token holds a privilege (an SE_..._PRIVILEGE value), and whether it is
  /// enabled: what SeSinglePrivilegeCheck sees when the program opens a device.
  bool PrivilegeHeld(DWORD privilege) const { return held_.count(privilege) != 0; }
  bool PrivilegeEnabled(DWORD privilege) const { return enabled_.count(privilege) != 0; }
  /// Service control manager handles still open, for a test's leak check.
  std::size_t OpenHandles() const { return handles_.OpenCount(); }

 private:
  std::shared_ptr<Service> Lookup(std::string_view name) const;
  Service& Install(std::string_view name, std::string_view display_name, std::string_view binary_path, DWORD type,
                   DWORD start_type, DWORD error_control);
  DWORD Start(Service& service);
  // Takes a service marked for delete out of the database once nothing holds it.
  void Forget(const std::shared_ptr<Service>& service);
  void Fill(const Service& service, LPSERVICE_STATUS status) const;

  Core& core_;
  Disk& disk_;
  SimKernel& kernel_;
  void ResetToken();

  bool elevated_ = true;
  std::set<DWORD> held_, enabled_;
  // SC_HANDLEs are not kernel handles: their own table, with values apart from those.
  HandleTable handles_{0x00C00000};
  std::map<std::string, std::shared_ptr<Service>> services_;  // by upper-case name
};

}  // namespace sim

#include "lib/vlddbasew32.h"

#include "framework/exception.h"
#include "lib/vlwin32.h"

namespace {

std::string Trimmed(const std::string& text) {
  // Spaces and control characters, as the runtime's Trim takes them.
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

/// The temporary directory with exactly one trailing backslash, or empty with the last
/// error set when the system gives none that fits.
std::string TempDirectory() {
  char buffer[MAX_PATH];
  const DWORD length = win::GetTempPathA(MAX_PATH, buffer);
  if (length == 0) return {};
  if (length >= MAX_PATH) {
    win::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return {};
  }
  std::string directory(buffer, length);
  if (directory.back() != '\\') directory += '\\';
  return directory;
}

/// `message`, then the system's own words for `error` on a line of their own, so that the
/// user reads the cause ("Access is denied") and not just that something failed.
std::string WithCause(const std::string& message, DWORD error) {
  const std::string cause = SystemErrorText(error);
  return cause.empty() ? message : message + "\r" + cause;
}

/// The load-driver privilege enabled in the process's token while this object lives, and put
/// back as it was afterwards. The driver opens its device only for a caller that has it
/// enabled; a token that does not hold it (a program that is not elevated) stays as it is, and
/// the open then fails with the driver's access error.
class EnabledLoadDriverPrivilege {
 public:
  EnabledLoadDriverPrivilege() {
    HANDLE token = nullptr;
    if (!win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    token_.reset(token);
    TOKEN_PRIVILEGES enable{};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!win::LookupPrivilegeValueA(nullptr, SE_LOAD_DRIVER_NAME, &enable.Privileges[0].Luid)) return;
    DWORD length = 0;
    if (!win::AdjustTokenPrivileges(token_.get(), FALSE, &enable, sizeof previous_, &previous_, &length))
      previous_.PrivilegeCount = 0;
  }
  ~EnabledLoadDriverPrivilege() {
    // Already enabled, not held, or not adjusted at all: nothing to put back.
    if (previous_.PrivilegeCount == 0) return;
    const DWORD error = win::GetLastError();  // the open's, which the caller reports
    win::AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
    win::SetLastError(error);
  }
  EnabledLoadDriverPrivilege(const EnabledLoadDriverPrivilege&) = delete;
  EnabledLoadDriverPrivilege& operator=(const EnabledLoadDriverPrivilege&) = delete;

 private:
  platform::UniqueHandle token_;
  TOKEN_PRIVILEGES previous_{};
};

}  // namespace

TvlDriverBase::~TvlDriverBase() { TvlDriverBase::Close(); }

void TvlDriverBase::DoError(uint32_t code, uint32_t detail, const std::string& message) {
  bool raise = true;
  if (OnError.Assigned()) OnError(this, code, detail, message, raise);
  if (raise) throw fw::Exception(message);
}

int32_t TvlDriverBase::Open() {
  if (device_) return DeviceHandle();
  if (!InstallDriver()) {
    const DWORD error = win::GetLastError();
    DoError(7, error, WithCause("Create service failed.", error));
    return -1;
  }
  if (!StartDriver()) {
    const DWORD error = win::GetLastError();
    DoError(7, error, WithCause("Start service failed.", error));
    return -1;
  }
  const std::string device = "\\\\.\\" + ServiceName;
  const EnabledLoadDriverPrivilege privilege;
  device_.reset(win::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  // A driver the system refused to load leaves no device to find; why it was refused (an
  // unsigned or blocked image) is what the caller should report.
  if (!device_ && start_error_ != ERROR_SUCCESS && start_error_ != ERROR_SERVICE_ALREADY_RUNNING)
    win::SetLastError(start_error_);
  return DeviceHandle();
}

void TvlDriverBase::Close() {
  if (!device_) return;
  // The driver must hold no handle of ours when it is asked to stop.
  device_.reset();
  StopDriver();
  RemoveDriver();
}

bool TvlDriverBase::WriteImage() {
  // A file already there is trusted only when it is our own image: the temporary directory
  // is writable by other programs, and whatever lies there is loaded as kernel code.
  if (!Trimmed(DriverPath).empty() && FileExists(DriverPath)) {
    if (Trimmed(ResourceName).empty() || FileMatchesResource(ResourceName, DriverPath)) return true;
  }
  if (Trimmed(ResourceName).empty()) return false;
  if (Trimmed(DriverPath).empty()) {
    const std::string directory = TempDirectory();
    if (directory.empty()) return false;
    DriverPath = directory + ServiceName + ".sys";
  }
  return SaveResourceToFile(ResourceName, DriverPath);
}

bool TvlDriverBase::InstallDriver() {
  if (!WriteImage()) return false;
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::CreateServiceA(
      manager.get(), ServiceName.c_str(), ServiceName.c_str(), SERVICE_START, SERVICE_KERNEL_DRIVER,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, DriverPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  // An existing service of this name is taken as it is.
  return service || win::GetLastError() == ERROR_SERVICE_EXISTS;
}

bool TvlDriverBase::StartDriver() {
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_START));
  if (!service) return false;
  // Already running, or failing to start: either way the device open that follows tells, and
  // the start's error is kept for it.
  start_error_ = win::StartServiceA(service.get(), 0, nullptr) ? ERROR_SUCCESS : win::GetLastError();
  return true;
}

bool TvlDriverBase::StopDriver() {
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_STOP));
  if (!service) return false;
  SERVICE_STATUS status{};
  win::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  return true;
}

bool TvlDriverBase::RemoveDriver() {
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return false;
  win::DeleteService(service.get());
  return true;
}

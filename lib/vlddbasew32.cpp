#include "lib/vlddbasew32.h"

#include <vector>

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

/// The system folder (C:\Windows\System32), or empty with the last error set when the system
/// gives none that fits.
std::string SystemDirectory() {
  char buffer[MAX_PATH];
  const UINT length = win::GetSystemDirectoryA(buffer, MAX_PATH);
  if (length == 0) return {};
  if (length >= MAX_PATH) {
    win::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return {};
  }
  return std::string(buffer, length);
}

constexpr char kWow64Refusal[] =
    "This 32-bit Pinscope cannot load its driver on 64-bit Windows; the 64-bit Pinscope can";

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

std::string TvlDriverBase::WithCause(const std::string& message, DWORD error) const {
  // The user reads the cause ("Access is denied") on a line of its own, not just that
  // something failed.
  const std::string cause = cause_.empty() ? SystemErrorText(error) : cause_;
  return cause.empty() ? message : message + "\r" + cause;
}

int32_t TvlDriverBase::Open() {
  if (HasDevice()) return DeviceHandle();
  if (!InstallDriver()) {
    const DWORD error = win::GetLastError();
    image_.reset();
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
  if (HasDevice()) return DeviceHandle();
  // A driver the system refused to load leaves no device to find; why it was refused (an
  // unsigned or blocked image) is what the caller should report.
  const DWORD error = start_error_ != ERROR_SUCCESS && start_error_ != ERROR_SERVICE_ALREADY_RUNNING
                          ? start_error_
                          : win::GetLastError();
  // Close acts only on a held device: without this, a driver that loaded but gave no device,
  // or a service the system would not start, stays on the machine after the program ends.
  if (started_ && StopDriver()) started_ = false;
  RemoveDriver();
  win::SetLastError(error);
  return -1;
}

void TvlDriverBase::Close() {
  if (!HasDevice()) return;
  // The driver must hold no handle of ours when it is asked to stop.
  device_.reset();
  // A service this object cannot reach to stop still runs the driver it started.
  if (StopDriver()) started_ = false;
  RemoveDriver();
}

bool TvlDriverBase::PinImage() {
  image_.reset();
  cause_.clear();
  // A 32-bit program on 64-bit Windows writes to the 32-bit system folder, while the service
  // manager loads drivers from the 64-bit one.
  BOOL wow64 = FALSE;
  if (win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64) {
    cause_ = kWow64Refusal;
    win::SetLastError(ERROR_EXE_MACHINE_TYPE_MISMATCH);
    return false;
  }
  if (Trimmed(DriverPath).empty()) {
    // The system's drivers folder: only Administrators, SYSTEM and TrustedInstaller may create,
    // write, rename or delete there, and it is where the service manager expects kernel
    // drivers. No environment variable moves it, unlike the temporary folder, which every
    // program of the user may write to and whose place the user chooses.
    const std::string system = SystemDirectory();
    if (system.empty()) return false;
    DriverPath = system + "\\drivers\\" + ServiceName + ".sys";
  }
  // A blank resource name leaves the image to the caller: it is held, not compared.
  const std::string resource = Trimmed(ResourceName).empty() ? std::string() : ResourceName;
  image_ = OpenPinnedImage(resource, DriverPath);
  if (image_ || resource.empty()) return static_cast<bool>(image_);
  // Missing, or not our bytes: written again, then checked as the loader will read it.
  if (!SaveResourceToFile(resource, DriverPath)) return false;
  image_ = OpenPinnedImage(resource, DriverPath);
  if (!image_ && win::GetLastError() == ERROR_INVALID_DATA) {
    cause_ = "Another program changed " + DriverPath + " as it was written";
  }
  return static_cast<bool>(image_);
}

bool TvlDriverBase::PointServiceAtImage(SC_HANDLE manager) {
  platform::UniqueServiceHandle service(win::OpenServiceA(
      manager, ServiceName.c_str(), SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS));
  if (!service) return false;
  // The most a service's configuration takes, in records that align it.
  std::vector<uint64_t> buffer(8192 / sizeof(uint64_t));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  DWORD needed = 0;
  if (!win::QueryServiceConfigA(service.get(), config, static_cast<DWORD>(buffer.size() * sizeof(uint64_t)),
                                &needed))
    return false;
  const std::string system = SystemDirectory();
  if (system.empty()) return false;
  const std::string windows = ExtractParentPath(system);
  if (config->dwServiceType == SERVICE_KERNEL_DRIVER && config->lpBinaryPathName &&
      SamePath(DriverImageFile(config->lpBinaryPathName, windows), DriverImageFile(DriverPath, windows)))
    return true;
  // One left by an older build or made by another program. A running one is left alone, and
  // its start is refused.
  SERVICE_STATUS status{};
  if (!win::QueryServiceStatus(service.get(), &status)) return false;
  if (status.dwCurrentState != SERVICE_STOPPED) return true;
  return win::ChangeServiceConfigA(service.get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                   DriverPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
}

bool TvlDriverBase::InstallDriver() {
  if (!PinImage()) return false;
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::CreateServiceA(
      manager.get(), ServiceName.c_str(), ServiceName.c_str(), SERVICE_START, SERVICE_KERNEL_DRIVER,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, DriverPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (service) return true;
  if (win::GetLastError() != ERROR_SERVICE_EXISTS) return false;
  return PointServiceAtImage(manager.get());
}

bool TvlDriverBase::StartDriver() {
  if (!image_ && !PinImage()) return false;
  // Held until the service manager has loaded the image, and let go on every way out.
  const platform::UniqueFile image = std::move(image_);
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_START));
  if (!service) return false;
  // Failing to start: the device open that follows tells, and the start's error is kept for it.
  start_error_ = win::StartServiceA(service.get(), 0, nullptr) ? ERROR_SUCCESS : win::GetLastError();
  if (start_error_ == ERROR_SUCCESS) started_ = true;
  // Already running: loaded by somebody else from whatever file was there then, unless this
  // object started it and it never stopped.
  return start_error_ != ERROR_SERVICE_ALREADY_RUNNING || started_;
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

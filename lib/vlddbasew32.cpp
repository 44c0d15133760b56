#include "lib/vlddbasew32.h"

#include <cctype>
#include <memory>
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

// The image belongs to Administrators, who with SYSTEM alone may touch it; the kernel loads it
// without an access check, and anybody else who could open it could lock it against the next
// start. Protected (P), so the folder's entries do not join in.
constexpr char kImageSecurity[] = "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";

// A driver whose device is no longer open unloads at once; two seconds without it mean that
// another program holds the device. Short enough that a close and a later retry fit in the
// five seconds Windows gives a console program that is being closed.
constexpr DWORD kStopWaitMilliseconds = 2000;

/// Whether the name fits a service and a device alike: letters, digits and '_' only, so that
/// it names no other object, folder or stream than the one meant.
bool PlainName(const std::string& name) {
  if (name.empty() || name.size() > 200) return false;
  for (const char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

/// Waits, a few seconds at most, until the service stops, after asking it to. True when it
/// did or was not running; false (ERROR_BUSY) while its driver's device stays open.
bool StopAndWait(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!win::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = win::GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) return true;
    // Stop-pending already: asked by somebody else, and waited for here all the same.
    if (error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) return false;
  } else if (status.dwCurrentState == SERVICE_STOPPED) {
    return true;
  }
  // ControlService answers as soon as the stop is pending, which lasts while the device is open.
  const DWORD start = win::GetTickCount();
  for (;;) {
    if (!win::QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    if (win::GetTickCount() - start >= kStopWaitMilliseconds) break;
    win::Sleep(50);
  }
  win::SetLastError(ERROR_BUSY);
  return false;
}

/// A descriptor from its text form, freed with LocalFree.
struct FreeLocal {
  void operator()(void* memory) const { win::LocalFree(memory); }
};
using UniqueDescriptor = std::unique_ptr<void, FreeLocal>;

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

namespace {

// Where Windows refuses the image itself, its text ("Windows cannot verify the digital
// signature for this file") does not say what stands in the way on this machine.
const char* RefusedImageCause(DWORD error) {
  switch (error) {
    case ERROR_INVALID_IMAGE_HASH:
      return "This Windows loads only kernel drivers that Microsoft has signed (64-bit Windows 10 and later, or"
             " Secure Boot on), and Pinscope's driver is not.";
    case ERROR_DRIVER_BLOCKED:
      return "Windows' vulnerable-driver blocklist or this machine's driver policy blocks it.";
    case ERROR_SYSTEM_INTEGRITY_POLICY_VIOLATION:
      return "Memory integrity (Windows Security, Core isolation) refuses it.";
    default:
      return nullptr;
  }
}

}  // namespace

std::string TvlDriverBase::WithCause(const std::string& message, DWORD error) const {
  // The user reads the cause ("Access is denied") on a line of its own, not just that
  // something failed.
  std::string cause = cause_.empty() ? SystemErrorText(error) : cause_;
  if (const char* refused = cause_.empty() ? RefusedImageCause(error) : nullptr) cause += "\r" + std::string(refused);
  return cause.empty() ? message : message + "\r" + cause;
}

void TvlDriverBase::Fail(const char* message, DWORD error) {
  last_error_ = FatalError{7, error, WithCause(message, error), error};
  DoError(last_error_->code, last_error_->detail, last_error_->message);
}

int32_t TvlDriverBase::Open() {
  last_error_.reset();
  if (HasDevice()) return DeviceHandle();
  if (!InstallDriver()) {
    const DWORD error = win::GetLastError();
    image_.reset();
    // A running service that cannot be made ours fails the start, not the installation.
    Fail(start_refused_ ? "Start service failed." : "Create service failed.", error);
    return -1;
  }
  if (!StartDriver()) {
    const DWORD error = win::GetLastError();
    // Whatever stands in the way (a driver of another service holding the device's name, an
    // unsigned image), nothing of this call stays behind.
    if (created_) RemoveDriver();
    created_ = false;
    Fail("Start service failed.", error);
    return -1;
  }
  created_ = false;
  // The device by its name in the kernel, which the driver just made: not through the caller's
  // session's map of DOS device names, where anybody's link may stand.
  const std::string device = "\\\\?\\GLOBALROOT\\Device\\" + ServiceName;
  {
    const EnabledLoadDriverPrivilege privilege;
    device_.reset(win::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (HasDevice()) return DeviceHandle();
  const DWORD error = win::GetLastError();
  // Close acts only on what this object started: the driver it loaded gave no device that it
  // may open, so it goes now.
  if (StopDriver()) started_ = false;
  RemoveDriver();
  win::SetLastError(error);
  return -1;
}

void TvlDriverBase::Close() {
  // A service whose stop did not complete is still this object's to take down.
  if (!HasDevice() && !started_) return;
  // The driver must hold no handle of ours when it is asked to stop.
  device_.reset();
  if (StopDriver()) started_ = false;
  RemoveDriver();
}

bool TvlDriverBase::CheckPlace() {
  // A 32-bit program on 64-bit Windows writes to the 32-bit system folder, while the service
  // manager loads drivers from the 64-bit one.
  BOOL wow64 = FALSE;
  if (win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64) {
    cause_ = kWow64Refusal;
    win::SetLastError(ERROR_EXE_MACHINE_TYPE_MISMATCH);
    return false;
  }
  if (!PlainName(ServiceName)) {
    cause_ = "The service name \"" + ServiceName + "\" may hold only letters, digits and _";
    win::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  // The system's drivers folder: only Administrators, SYSTEM and TrustedInstaller may create,
  // write, rename or delete there, and it is where the service manager expects kernel drivers.
  // No environment variable moves it, unlike the temporary folder, which every program of the
  // user may write to and whose place the user chooses.
  system_ = SystemDirectory();
  if (system_.empty()) return false;
  const std::string drivers = system_ + "\\drivers";
  if (Trimmed(DriverPath).empty()) DriverPath = drivers + "\\" + ServiceName + ".sys";
  const std::string file = DriverPath.substr(DriverPath.rfind('\\') + 1);
  const bool plain_file = !file.empty() && file.front() != '.' &&
                          file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.-") ==
                              std::string::npos;
  if (!plain_file || !SamePath(ExtractParentPath(DriverPath), drivers)) {
    cause_ = "The driver image " + DriverPath + " must be a file of the system's drivers folder, " + drivers;
    win::SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  return true;
}

std::string TvlDriverBase::ImageFileName() const {
  const std::string file = DriverPath.substr(DriverPath.rfind('\\') + 1);
  // The name the service's binary path gives the kernel, so that the file checked is the file
  // loaded, whatever the caller's drive letters and links say. Wine 8 cannot open a file by
  // its kernel name (\\?\GLOBALROOT\SystemRoot\...: error 3), so there the image is reached
  // by its Win32 path, which names the same file in Wine's one name space. Asked outright
  // rather than inferred from a failed open: on Windows a failure of the kernel name must fail
  // the open, not send it to a path that a session's drive letters could redirect.
  return WineVersion() ? DriverPath : "\\\\?\\GLOBALROOT\\SystemRoot\\System32\\drivers\\" + file;
}

bool TvlDriverBase::PinImage() {
  image_.reset();
  // A blank resource name leaves the image to the caller: it is held, not written or compared.
  const std::string resource = Trimmed(ResourceName).empty() ? std::string() : ResourceName;
  const std::string file = ImageFileName();
  if (resource.empty()) {
    image_ = OpenPinnedImage(resource, file);
    return static_cast<bool>(image_);
  }
  // Never written in place: whatever is there goes, with its owner and its access list, and the
  // image is made anew with ours.
  if (!win::DeleteFileA(file.c_str()) && win::GetLastError() != ERROR_FILE_NOT_FOUND) return FileFailure();
  PSECURITY_DESCRIPTOR made = nullptr;
  if (!win::ConvertStringSecurityDescriptorToSecurityDescriptorA(kImageSecurity, SDDL_REVISION_1, &made, nullptr))
    return false;
  const UniqueDescriptor descriptor(made);
  SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
  if (!SaveResourceToFile(resource, file, &security)) {
    // The resource's own failure has the system's words; the file's names the file.
    const DWORD error = win::GetLastError();
    if (error == ERROR_RESOURCE_TYPE_NOT_FOUND || error == ERROR_RESOURCE_NAME_NOT_FOUND) return false;
    return FileFailure();
  }
  image_ = OpenPinnedImage(resource, file);
  if (!image_ && win::GetLastError() == ERROR_INVALID_DATA) {
    cause_ = "Another program changed " + DriverPath + " as it was written";
  }
  return static_cast<bool>(image_);
}

bool TvlDriverBase::FileFailure() {
  const DWORD error = win::GetLastError();
  cause_ = SystemErrorText(error) + ": " + DriverPath;
  win::SetLastError(error);
  return false;
}

bool TvlDriverBase::Describe(SC_HANDLE service, const std::string& system, const std::string& place,
                            FoundService& found, std::string& loads) const {
  // The most a service's configuration takes, in records that align it.
  std::vector<uint64_t> buffer(8192 / sizeof(uint64_t));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  DWORD needed = 0;
  SERVICE_STATUS status{};
  if (!win::QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size() * sizeof(uint64_t)), &needed) ||
      !win::QueryServiceStatus(service, &status))
    return false;
  found.binary = config->lpBinaryPathName ? config->lpBinaryPathName : "";
  found.state = status.dwCurrentState;
  loads = config->dwServiceType == SERVICE_KERNEL_DRIVER ? DriverImageFile(found.binary, ExtractParentPath(system))
                                                         : std::string();
  found.owner = !loads.empty() && SamePath(loads, place) ? FoundService::kThisImage : FoundService::kAnotherProgram;
  return true;
}

std::string TvlDriverBase::OlderBuildImage() const {
  char temp[MAX_PATH];
  const DWORD length = win::GetTempPathA(MAX_PATH, temp);
  return length > 0 && length < MAX_PATH ? std::string(temp, length) + ServiceName + ".sys" : std::string();
}

std::string TvlDriverBase::ImagePlace() const {
  if (!Trimmed(DriverPath).empty()) return DriverPath;
  const std::string system = SystemDirectory();
  return system.empty() ? system : system + "\\drivers\\" + ServiceName + ".sys";
}

TvlDriverBase::FoundService TvlDriverBase::FindService() const {
  FoundService found;
  auto unreadable = [&found] {
    found.owner = FoundService::kUnreadable;
    found.error = win::GetLastError();
    return found;
  };
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return unreadable();
  platform::UniqueServiceHandle service(
      win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
  if (!service) return win::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? found : unreadable();
  std::string loads;
  if (!Describe(service.get(), SystemDirectory(), ImagePlace(), found, loads)) return unreadable();
  const std::string older = found.owner == FoundService::kAnotherProgram && !loads.empty() ? OlderBuildImage() : "";
  if (!older.empty() && SamePath(loads, older)) found.owner = FoundService::kOlderBuild;
  return found;
}

bool TvlDriverBase::ClearWay(SC_HANDLE manager) {
  platform::UniqueServiceHandle service(win::OpenServiceA(
      manager, ServiceName.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE));
  if (!service) return win::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  FoundService found;
  std::string loads;
  if (!Describe(service.get(), system_, DriverPath, found, loads)) return false;
  const bool ours = found.owner == FoundService::kThisImage;
  if (found.state != SERVICE_STOPPED) {
    start_refused_ = true;
    // Another product's driver, or one loaded from anywhere else, is left to whoever runs it.
    if (!ours) {
      win::SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
      return false;
    }
    // Left running by a run that ended without closing (killed, crashed, logged off): restarted
    // from the checked image below, which is what makes it ours again.
    if (!StopAndWait(service.get())) {
      if (win::GetLastError() == ERROR_BUSY) {
        cause_ = "Another program is using the port driver " + ServiceName +
                 "; it is taken down when that program closes its port";
      }
      return false;
    }
    start_refused_ = false;
  }
  const std::string older = OlderBuildImage();
  if (!ours && !(!loads.empty() && !older.empty() && SamePath(loads, older))) {
    cause_ = "The service " + ServiceName + " belongs to another program: it loads " + found.binary;
    win::SetLastError(ERROR_SERVICE_EXISTS);
    return false;
  }
  // Ours or an older build's: made afresh, so that nothing of it (its access list, its start
  // type, its driver object's name) survives.
  if (!win::DeleteService(service.get())) return false;
  service.reset();
  const DWORD start = win::GetTickCount();
  for (;;) {
    platform::UniqueServiceHandle gone(win::OpenServiceA(manager, ServiceName.c_str(), SERVICE_QUERY_STATUS));
    if (!gone) return win::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    if (win::GetTickCount() - start >= kStopWaitMilliseconds) break;
    win::Sleep(50);
  }
  win::SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
  return false;
}

bool TvlDriverBase::InstallDriver() {
  cause_.clear();
  start_refused_ = false;
  created_ = false;
  if (!CheckPlace()) return false;
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return false;
  if (!ClearWay(manager.get()) || !PinImage()) return false;
  // The kernel's own name of the file, the one that was just pinned.
  const std::string binary = "\\SystemRoot\\System32\\drivers\\" + DriverPath.substr(DriverPath.rfind('\\') + 1);
  platform::UniqueServiceHandle service(win::CreateServiceA(
      manager.get(), ServiceName.c_str(), ServiceName.c_str(), SERVICE_START, SERVICE_KERNEL_DRIVER,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  created_ = static_cast<bool>(service);
  return created_;
}

bool TvlDriverBase::StartDriver() {
  if (!image_) {
    cause_.clear();
    if (!CheckPlace() || !PinImage()) return false;
  }
  // Held until the service manager has loaded the image, and let go on every way out.
  const platform::UniqueFile image = std::move(image_);
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_START));
  if (!service) return false;
  // Any failure, "already running" included: the device may then be somebody else's.
  if (!win::StartServiceA(service.get(), 0, nullptr)) return false;
  started_ = true;
  return true;
}

bool TvlDriverBase::StopDriver() {
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  platform::UniqueServiceHandle service(
      win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
  // A service that is gone runs nothing.
  if (!service) return win::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  return StopAndWait(service.get());
}

bool TvlDriverBase::RemoveDriver() {
  platform::UniqueServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return false;
  platform::UniqueServiceHandle service(win::OpenServiceA(manager.get(), ServiceName.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return win::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  // Marked already: it goes with its last handle all the same.
  return win::DeleteService(service.get()) || win::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

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
    DoError(7, win::GetLastError(), "Create service failed.");
    return -1;
  }
  if (!StartDriver()) {
    DoError(7, win::GetLastError(), "Start service failed.");
    return -1;
  }
  const std::string device = "\\\\.\\" + ServiceName;
  device_.reset(win::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
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
  // Already running, or failing to start: either way the device open that follows tells.
  win::StartServiceA(service.get(), 0, nullptr);
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

#include "sim/kernel.h"

#include <algorithm>
#include <cstring>

#include "platform/nt_names.h"
#include "sim/core.h"
#include "sim/format.h"

namespace sim {

namespace {

constexpr DWORD kMethodMask = 3;  // METHOD_BUFFERED is 0

// The object manager's names for the Win32 device space, which \\.\ stands for.
constexpr std::string_view kLinkDirectories[] = {"\\DosDevices\\", "\\??\\", "\\GLOBAL??\\"};

}  // namespace

struct SimKernel::Loaded {
  std::unique_ptr<kernel_bridge::Driver> driver;
  SimKernel* kernel;  // null once the kernel is gone or the driver unloaded
  int handles = 0;
  bool unload_pending = false;
  std::function<void()> unloaded;
};

namespace {

// A handle on a driver's device: requests go to the driver as IRPs.
class DriverFile final : public FileObject {
 public:
  DriverFile(const OpenRequest& request, std::shared_ptr<SimKernel::Loaded> driver, void* open,
             std::function<void(const std::shared_ptr<SimKernel::Loaded>&)> last_closed)
      : FileObject(request), driver_(std::move(driver)), open_(open), last_closed_(std::move(last_closed)) {
    ++driver_->handles;
  }
  ~DriverFile() override {
    if (!driver_->kernel) return;
    driver_->driver->Close(open_);
    if (--driver_->handles == 0 && driver_->unload_pending) last_closed_(driver_);
  }
  std::string_view Kind() const override { return "Device"; }

  DWORD IoControl(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned) override {
    returned = 0;
    if (!driver_->kernel) return ERROR_INVALID_HANDLE;
    if (code & kMethodMask) throw NotSimulated("a control code that is not METHOD_BUFFERED: " + format::Hex(code));
    const auto* in_bytes = static_cast<const BYTE*>(in);
    std::vector<std::uint8_t> input(in_bytes, in_bytes + in_size);
    auto* out_bytes = static_cast<BYTE*>(out);
    std::vector<std::uint8_t> output(out_bytes, out_bytes + out_size);
    const kernel_bridge::Reply reply = driver_->driver->DeviceControl(open_, code, std::move(input), std::move(output));
    if (out_size) std::memcpy(out, reply.output.data(), out_size);
    // Errors copy nothing back; warnings (a buffer overflow) still do.
    if (reply.status >= 0 || static_cast<std::uint32_t>(reply.status) < 0xC0000000u) {
      returned = static_cast<DWORD>(std::min<std::uintptr_t>(reply.information, out_size));
    }
    return reply.status >= 0 ? ERROR_SUCCESS : SimKernel::Win32Error(reply.status);
  }

 private:
  std::shared_ptr<SimKernel::Loaded> driver_;
  void* open_;  // the driver's file object for this handle
  std::function<void(const std::shared_ptr<SimKernel::Loaded>&)> last_closed_;
};

}  // namespace

SimKernel::SimKernel(SimPortBus& ports, const Clock& clock) : ports_(ports), clock_(clock) {}

SimKernel::~SimKernel() {
  // Handles may outlive the kernel in the handle table; they find their driver gone.
  for (const std::shared_ptr<Loaded>& driver : retired_) driver->driver.reset();
  for (const std::shared_ptr<Loaded>& driver : loaded_) {
    driver->kernel = nullptr;
    driver->unloaded = nullptr;
    driver->driver.reset();
  }
}

kernel_bridge::Kernel& SimKernel::Host() {
  if (!host_) {
    host_ = std::make_unique<kernel_bridge::Kernel>(
        [this](std::uint16_t port) { return ports_.Read(port, SimPortBus::By::Driver); },
        [this](std::uint16_t port, std::uint8_t value) { ports_.Write(port, value, SimPortBus::By::Driver); });
    host_->SetPerformanceCounter([this] { return clock_.Counter(); }, Clock::kCounterFrequency);
  }
  return *host_;
}

void SimKernel::AddImage(std::vector<BYTE> bytes, DriverEntryRoutine entry) {
  if (!entry) throw std::invalid_argument("sim: a driver image needs its entry point");
  images_.push_back({std::move(bytes), entry, ERROR_SUCCESS});
}

void SimKernel::RefuseImage(std::vector<BYTE> bytes, DWORD error) {
  images_.push_back({std::move(bytes), nullptr, error});
}

void SimKernel::FailNext(Routine routine, std::int32_t status) { Host().FailNext(routine, status); }

std::map<std::string, std::string> SimKernel::Links() const { return host_ ? host_->Links() : decltype(Links()){}; }

std::vector<std::string> SimKernel::Devices() const {
  return host_ ? host_->DeviceNames() : std::vector<std::string>{};
}

std::vector<std::string> SimKernel::DriverFaults() const {
  return host_ ? host_->Faults() : std::vector<std::string>{};
}

DWORD SimKernel::Win32Error(std::int32_t status) {
  switch (status) {
    case nt::kStatusBufferOverflow: return ERROR_MORE_DATA;
    case nt::kStatusUnsuccessful: return ERROR_GEN_FAILURE;
    case nt::kStatusInvalidParameter: return ERROR_INVALID_PARAMETER;
    case nt::kStatusNoSuchDevice: return ERROR_FILE_NOT_FOUND;
    case nt::kStatusInvalidDeviceRequest: return ERROR_INVALID_FUNCTION;
    case nt::kStatusNoMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case nt::kStatusAccessDenied: return ERROR_ACCESS_DENIED;
    case nt::kStatusDeviceBusy: return ERROR_BUSY;
    case nt::kStatusBufferTooSmall: return ERROR_INSUFFICIENT_BUFFER;
    case nt::kStatusObjectNameNotFound: return ERROR_FILE_NOT_FOUND;
    case nt::kStatusObjectNameCollision: return ERROR_ALREADY_EXISTS;
    case nt::kStatusObjectPathNotFound: return ERROR_PATH_NOT_FOUND;
    case nt::kStatusInsufficientResources: return ERROR_NO_SYSTEM_RESOURCES;
    case nt::kStatusNotSupported: return ERROR_NOT_SUPPORTED;
    case nt::kStatusConflictingAddresses: return ERROR_INVALID_ADDRESS;
    case nt::kStatusDeviceRemoved: return ERROR_DEVICE_REMOVED;
    default: return ERROR_GEN_FAILURE;
  }
}

DWORD SimKernel::Load(const std::vector<BYTE>& image, std::shared_ptr<Loaded>& driver) {
  auto known = std::find_if(images_.begin(), images_.end(), [&](const Image& each) { return each.bytes == image; });
  if (known == images_.end()) return ERROR_BAD_EXE_FORMAT;
  if (!known->entry) return known->refusal;
  auto loaded = std::make_shared<Loaded>();
  loaded->driver = Host().NewDriver(known->entry);
  loaded->kernel = this;
  loaded_images_.push_back(image);
  const std::int32_t status = loaded->driver->Load();
  // A driver whose entry failed is not loaded; whatever it left behind stays in the kernel,
  // where DriverFaults and Devices show it.
  if (status < 0) {
    loaded->kernel = nullptr;
    retired_.push_back(std::move(loaded));
    return Win32Error(status);
  }
  loaded_.push_back(loaded);
  driver = std::move(loaded);
  return ERROR_SUCCESS;
}

SimKernel::Stop SimKernel::Unload(const std::shared_ptr<Loaded>& driver, std::function<void()> unloaded) {
  if (!driver->driver->CanUnload()) return Stop::NotStoppable;
  if (driver->handles > 0) {
    driver->unload_pending = true;
    driver->unloaded = std::move(unloaded);
    return Stop::Pending;
  }
  Finish(driver);
  return Stop::Unloaded;
}

void SimKernel::Finish(const std::shared_ptr<Loaded>& last) {
  const std::shared_ptr<Loaded> driver = last;  // `last` may be an element of loaded_
  driver->driver->Unload();
  driver->kernel = nullptr;
  std::erase(loaded_, driver);
  retired_.push_back(driver);
  if (std::function<void()> unloaded = std::move(driver->unloaded)) unloaded();
}

std::string SimKernel::Target(std::string_view name) const {
  // The device's own kernel name, through the global root: no link, and no session's map.
  constexpr std::string_view kGlobalDevices = "\\\\?\\GLOBALROOT\\Device\\";
  if (format::SameName(name.substr(0, kGlobalDevices.size()), kGlobalDevices)) {
    return std::string(name.substr(kGlobalDevices.size() - 8));
  }
  if (!host_ || !name.starts_with("\\\\.\\")) return {};
  name.remove_prefix(4);
  for (const auto& [link, device] : host_->Links()) {
    for (std::string_view directory : kLinkDirectories) {
      if (format::SameName(link, std::string(directory) + std::string(name))) return device;
    }
  }
  return {};
}

bool SimKernel::Owns(std::string_view name) const { return !Target(name).empty(); }

DWORD SimKernel::Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) {
  const std::string device = Target(request.name);
  if (!host_) return ERROR_FILE_NOT_FOUND;
  for (const std::shared_ptr<Loaded>& driver : loaded_) {
    const std::vector<std::string> names = driver->driver->DeviceNames();
    auto found = std::find_if(names.begin(), names.end(),
                              [&](const std::string& each) { return format::SameName(each, device); });
    if (found == names.end()) continue;
    // A driver on its way out takes no new handles.
    if (driver->unload_pending) return ERROR_FILE_NOT_FOUND;
    if (found != names.begin()) throw NotSimulated("opening a driver's second device: " + device);
    const kernel_bridge::Reply reply =
        driver->driver->Create(caller_ ? caller_() : kernel_bridge::Caller{.load_driver_privilege_enabled = true});
    if (reply.status < 0) return Win32Error(reply.status);
    file = std::make_shared<DriverFile>(request, driver, reply.open, [this](const std::shared_ptr<Loaded>& last) { Finish(last); });
    return ERROR_SUCCESS;
  }
  // A link left pointing at no device.
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace sim

#include "lib/port_access.h"

#include "lib/vllpt.h"
#include "lib/vlwin32.h"
#include "platform/nt_names.h"

FatalError PortOpenFailed(const std::string& port_name, DWORD error) {
  return {10, 0, port_name + " open is failed.\r" + SystemErrorText(error), error};
}

namespace {

/// What an access answers for a request it cannot serve.
bool NotSupported() {
  win::SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

}  // namespace

bool PortAccess::ClaimPort(uint16_t) { return NotSupported(); }

bool PortAccess::SampleRegisters(const VLIO_SAMPLE_INPUT&, std::vector<uint8_t>&) { return NotSupported(); }

// --- Through the driver ------------------------------------------------------------------------

DriverAccess::DriverAccess() : driver_(std::make_unique<TvlLptDriver>()) {}

DriverAccess::~DriverAccess() = default;

std::optional<uint32_t> DriverAccess::Open(const std::string& port_name) {
  failure_.reset();
  int32_t handle = -1;
  try {
    handle = driver_->Open();
  } catch (...) {
    // Reported already through the loader's own event; the component learns why from its value.
    failure_ = driver_->LastError();
    throw;
  }
  if (handle != -1) return static_cast<uint32_t>(handle);
  failure_ = PortOpenFailed(port_name, win::GetLastError());
  return {};
}

void DriverAccess::Close() { driver_->Close(); }

uint8_t DriverAccess::ReadRegister(uint16_t address) { return driver_->ReadPort(address); }

void DriverAccess::WriteRegister(uint16_t address, uint8_t value) { driver_->WritePort(address, value); }

bool DriverAccess::ClaimPort(uint16_t base) { return driver_->ClaimPort(base); }

bool DriverAccess::SampleRegisters(const VLIO_SAMPLE_INPUT& request, std::vector<uint8_t>& answer) {
  return driver_->Sample(request, answer);
}

// --- Through the system's port device ------------------------------------------------------------

std::optional<uint32_t> DeviceFileAccess::Open(const std::string& port_name) {
  failure_.reset();
  const std::string path = "\\\\.\\" + port_name;
  device_.reset(win::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!device_) {
    failure_ = PortOpenFailed(port_name, win::GetLastError());
    return {};
  }
  // The system's parallel port driver initialises the port; what it answers changes nothing.
  uint8_t init = PARALLEL_INIT;
  DWORD returned = 0;
  win::DeviceIoControl(device_.get(), IOCTL_PAR_SET_INFORMATION, &init, sizeof init, nullptr, 0, &returned, nullptr);
  return static_cast<uint32_t>(platform::HandleValue(device_.get()));
}

bool DeviceFileAccess::WriteDeviceByte(uint8_t value, OVERLAPPED& overlapped) {
  // True only when the device took it: WriteFile's count, after the request completes when it
  // was left pending.
  overlapped.Internal = overlapped.InternalHigh = 0;
  overlapped.Offset = overlapped.OffsetHigh = 0;
  DWORD written = 0;
  if (win::WriteFile(device_.get(), &value, 1, &written, &overlapped)) return written == 1;
  if (win::GetLastError() != ERROR_IO_PENDING) return false;
  return win::GetOverlappedResult(device_.get(), &overlapped, &written, TRUE) && written == 1;
}

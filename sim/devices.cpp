#include "sim/devices.h"

#include "platform/win32_types.h"
#include "sim/format.h"

namespace sim {

DWORD Device::Open(const OpenRequest&) { return ERROR_SUCCESS; }

DWORD Device::Write(const void*, DWORD, DWORD& written) {
  written = 0;
  return ERROR_INVALID_FUNCTION;
}

DWORD Device::IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD& returned) {
  returned = 0;
  return ERROR_INVALID_FUNCTION;
}

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// The DOS names (LPT1, COM2:) reach \\.\LPT1 and \\.\COM2 from anywhere, as on Windows.
std::string Canonical(std::string_view name) {
  std::string upper = format::Upper(name);
  if (upper.starts_with(kDevicePrefix)) return upper;
  if (upper.ends_with(':')) upper.pop_back();
  const bool numbered =
      upper.size() == 4 && (upper.starts_with("LPT") || upper.starts_with("COM")) && upper[3] >= '1' && upper[3] <= '9';
  return numbered ? std::string(kDevicePrefix) + upper : std::string();
}

class DeviceFile final : public FileObject {
 public:
  DeviceFile(const OpenRequest& request, std::shared_ptr<Device> device)
      : FileObject(request), device_(std::move(device)) {}
  ~DeviceFile() override { device_->Close(); }
  std::string_view Kind() const override { return "Device"; }

  DWORD Write(const void* data, DWORD size, DWORD& written) override { return device_->Write(data, size, written); }
  DWORD IoControl(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned) override {
    return device_->IoControl(code, in, in_size, out, out_size, returned);
  }

 private:
  std::shared_ptr<Device> device_;
};

}  // namespace

void Devices::Add(std::string_view name, std::shared_ptr<Device> device) {
  devices_.insert_or_assign(Canonical(name), std::move(device));
}

std::shared_ptr<Device> Devices::Find(std::string_view name) const {
  auto it = devices_.find(Canonical(name));
  return it == devices_.end() ? nullptr : it->second;
}

bool Devices::Owns(std::string_view name) const { return !Canonical(name).empty(); }

DWORD Devices::Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) {
  std::shared_ptr<Device> device = Find(request.name);
  if (!device) return ERROR_FILE_NOT_FOUND;
  if (DWORD error = device->Open(request)) return error;
  file = std::make_shared<DeviceFile>(request, std::move(device));
  return ERROR_SUCCESS;
}

}  // namespace sim

#include "sim/lpt_device.h"

#include <cctype>
#include <cstring>

#include "platform/nt_names.h"
#include "sim/format.h"

namespace sim {

DWORD LptDevice::Open(const OpenRequest& request) {
  if (open_) return ERROR_ACCESS_DENIED;
  open_ = true;
  // The driver's own name of the port, which is the last part of the name it was opened by.
  location_ = request.name.substr(request.name.find_last_of('\\') + 1);
  for (char& c : location_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ++opens_;
  return ERROR_SUCCESS;
}

bool LptDevice::WaitReady() {
  const std::uint64_t start = core_.clock.Now();
  while (!(vport_read(port_, VPORT_STATUS) & VPORT_STATUS_BUSY)) {
    if (core_.clock.Now() - start >= write_timeout_) return false;
    core_.clock.Advance(1);
  }
  return true;
}

void LptDevice::Strobe(BYTE value) {
  vport_write(port_, VPORT_DATA, value);
  const auto control = static_cast<BYTE>(vport_read(port_, VPORT_CONTROL) & ~VPORT_CONTROL_UNUSED);
  vport_write(port_, VPORT_CONTROL, static_cast<BYTE>(control | VPORT_CONTROL_STROBE));
  vport_write(port_, VPORT_CONTROL, static_cast<BYTE>(control & ~VPORT_CONTROL_STROBE));
}

DWORD LptDevice::Write(const void* data, DWORD size, DWORD& written) {
  const auto* bytes = static_cast<const BYTE*>(data);
  written = 0;
  for (; written < size; ++written) {
    if (port_ && !WaitReady()) {
      const BYTE status = vport_read(port_, VPORT_STATUS);
      if (status & VPORT_STATUS_PAPER_OUT) return ERROR_OUT_OF_PAPER;
      if (!(status & VPORT_STATUS_SELECT)) return ERROR_NOT_READY;
      return ERROR_BUSY;
    }
    if (port_) Strobe(bytes[written]);
    written_.push_back(bytes[written]);
  }
  return ERROR_SUCCESS;
}

BYTE LptDevice::States() const {
  if (!port_) return PARALLEL_NOT_CONNECTED;
  const uint32_t levels = vport_lines(port_);
  BYTE states = 0;
  for (const vport_system_state& state : connector::kSystemStates)
    if (state.pin && ((levels >> state.pin) & 1) == state.level) states |= state.flag;
  return states;
}

DWORD LptDevice::IoControl(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned) {
  returned = 0;
  if (code == IOCTL_PAR_QUERY_INFORMATION || code == IOCTL_PAR_IS_PORT_FREE) {
    if (out_size < 1) return ERROR_INSUFFICIENT_BUFFER;
    *static_cast<BYTE*>(out) = code == IOCTL_PAR_IS_PORT_FREE ? !held_elsewhere_ : States();
    returned = 1;
    return ERROR_SUCCESS;
  }
  if (code == IOCTL_PAR_QUERY_LOCATION) {
    // The name and its terminating zero, or nothing where they do not fit.
    if (out_size < location_.size() + 1) return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(out, location_.c_str(), location_.size() + 1);
    returned = static_cast<DWORD>(location_.size() + 1);
    return ERROR_SUCCESS;
  }
  if (code != IOCTL_PAR_SET_INFORMATION) throw NotSimulated("parallel port request " + format::Hex(code));
  if (in_size < 1) return ERROR_INSUFFICIENT_BUFFER;
  // The driver knows one request here: initialise.
  if (*static_cast<const BYTE*>(in) != PARALLEL_INIT) return ERROR_INVALID_PARAMETER;
  ++init_requests_;
  if (port_) {
    const auto control = static_cast<BYTE>(vport_read(port_, VPORT_CONTROL) & ~VPORT_CONTROL_UNUSED);
    vport_write(port_, VPORT_CONTROL, static_cast<BYTE>(control & ~VPORT_CONTROL_INIT));
    vport_write(port_, VPORT_CONTROL, static_cast<BYTE>(control | VPORT_CONTROL_INIT));
  }
  return ERROR_SUCCESS;
}

}  // namespace sim

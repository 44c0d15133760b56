// The system's parallel port device, \\.\LPTn, as CreateFileA opens it on the NT family:
// one handle at a time, bytes out with WriteFile, IOCTL_PAR_SET_INFORMATION to initialise
// the printer. Connected to a virtual port, it sends each byte with the Centronics handshake
// and waits for Busy on the PC's virtual clock; unconnected, it takes every byte at once.
//
//   auto lpt1 = std::make_shared<LptDevice>(pc.core);
//   pc.files.AddDevice("\\\\.\\LPT1", lpt1);
//   lpt1->Connect(pc.ports.Port(0x378));
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/core.h"
#include "sim/device.h"
#include "vport/vport.h"

namespace sim {

class LptDevice final : public Device {
 public:
  explicit LptDevice(Core& core) : core_(core) {}

  /// The port driver admits one open at a time, as an exclusive device does: a second
  /// CreateFileA fails with ERROR_ACCESS_DENIED, whatever its sharing.
  DWORD Open(const OpenRequest& request) override;
  void Close() override { open_ = false; }
  /// Every byte, or those the printer took before it stayed busy past the write timeout;
  /// then the error the driver makes of the status lines: ERROR_OUT_OF_PAPER, ERROR_NOT_READY
  /// (off line) or ERROR_BUSY.
  DWORD Write(const void* data, DWORD size, DWORD& written) override;
  /// IOCTL_PAR_SET_INFORMATION with PAR_SET_INFORMATION{PARALLEL_INIT}: pulses Init.
  /// IOCTL_PAR_QUERY_INFORMATION: the port's lines as the driver decodes them
  /// (vport_system_states; unconnected: PARALLEL_NOT_CONNECTED). IOCTL_PAR_IS_PORT_FREE: a
  /// BOOLEAN, false while another client of the port driver holds the port.
  /// IOCTL_PAR_QUERY_LOCATION: the port's name ("LPT1"), zero-terminated.
  DWORD IoControl(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned) override;

  /// Bytes go out through `port`, which must outlive the connection.
  void Connect(vport& port) { port_ = &port; }
  /// Another client of the port driver (a print job, another program) holds the port.
  void SetHeldElsewhere(bool held) { held_elsewhere_ = held; }
  /// How long a byte may wait for Busy to drop, in virtual milliseconds (default 1000).
  void SetWriteTimeout(std::uint64_t milliseconds) { write_timeout_ = milliseconds; }

  bool IsOpen() const { return open_; }
  /// Successful opens so far.
  std::size_t Opens() const { return opens_; }
  /// The bytes that went out, in order, over every write.
  const std::vector<BYTE>& Written() const { return written_; }
  /// Initialisation requests that the driver carried out.
  std::size_t InitRequests() const { return init_requests_; }

 private:
  // Waits until the port reads not busy; false when the timeout passes first.
  bool WaitReady();
  void Strobe(BYTE value);
  BYTE States() const;

  Core& core_;
  std::string location_;
  vport* port_ = nullptr;
  bool open_ = false;
  std::size_t opens_ = 0;
  std::uint64_t write_timeout_ = 1000;
  std::vector<BYTE> written_;
  std::size_t init_requests_ = 0;
  bool held_elsewhere_ = false;
};

}  // namespace sim

// The two ways of reaching a parallel port behind one interface: through the port I/O driver,
// which reaches the registers, and through the system's port device, which takes bytes only.
// The component opens, uses and closes the one its mode names; each owns what it opens.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/vlio_ioctl.h"
#include "lib/vlclasses.h"
#include "platform/unique_handle.h"

class TvlLptDriver;

/// One way of reaching a port. A request that only one way can serve (a claim of the port from
/// the system's parallel port driver, a register sampled into a buffer) joins as a virtual
/// operation here whose default refuses, as the register and byte operations below do, so the
/// component asks whichever access is open and the other answers that it cannot.
class PortAccess {
 public:
  virtual ~PortAccess() = default;
  PortAccess() = default;
  PortAccess(const PortAccess&) = delete;
  PortAccess& operator=(const PortAccess&) = delete;

  /// Opens the port named `port_name` ("LPT1"): the value the component keeps as its Handle, or
  /// nothing, with Failure() telling why. A failure that a lower layer reports by raising (the
  /// driver loader's) leaves by its exception, with Failure() set first.
  virtual std::optional<uint32_t> Open(const std::string& port_name) = 0;
  /// Lets go of what Open took; nothing when nothing is open.
  virtual void Close() = 0;
  /// The byte at I/O port `address`: 0 from an access that reaches no register.
  virtual uint8_t ReadRegister(uint16_t) { return 0; }
  /// Writes `value` at I/O port `address`; dropped by an access that reaches no register.
  virtual void WriteRegister(uint16_t, uint8_t) {}
  /// Holds the parallel port at `base` for this open alone; false, with the last error, from
  /// an access that cannot (TvlLptDriver::ClaimPort tells the errors).
  virtual bool ClaimPort(uint16_t base);
  /// The registers `request` names, sampled into `answer` (TvlLptDriver::Sample); false, with
  /// the last error ERROR_NOT_SUPPORTED, from an access that reaches no register.
  virtual bool SampleRegisters(const VLIO_SAMPLE_INPUT& request, std::vector<uint8_t>& answer);
  /// One byte to the port's device; true only when the device took it. False from an access
  /// that sends bytes through the registers instead.
  virtual bool WriteDeviceByte(uint8_t, OVERLAPPED&) { return false; }

  /// Why the last Open failed; empty after one that succeeded.
  const std::optional<FatalError>& Failure() const { return failure_; }

 protected:
  std::optional<FatalError> failure_;
};

/// The port's open failure as the component reports it: the port name, " open is failed.", and
/// on a line of its own the system's text for `error`.
FatalError PortOpenFailed(const std::string& port_name, DWORD error);

/// Through the port I/O driver client, which it owns: the registers at any address, bytes only
/// through them (data, then the strobe pulse, which the component does).
class DriverAccess final : public PortAccess {
 public:
  DriverAccess();
  ~DriverAccess() override;

  /// The driver client's handle (-2 on the 9x family). The loader's failures go through the
  /// client's OnError and raise; the device that does not open is a failure of the port.
  std::optional<uint32_t> Open(const std::string& port_name) override;
  void Close() override;
  uint8_t ReadRegister(uint16_t address) override;
  void WriteRegister(uint16_t address, uint8_t value) override;
  bool ClaimPort(uint16_t base) override;
  bool SampleRegisters(const VLIO_SAMPLE_INPUT& request, std::vector<uint8_t>& answer) override;

  TvlLptDriver& Driver() { return *driver_; }

 private:
  std::unique_ptr<TvlLptDriver> driver_;
};

/// Through the system's port device "\\.\LPTn", opened exclusively and initialised: bytes only.
class DeviceFileAccess final : public PortAccess {
 public:
  std::optional<uint32_t> Open(const std::string& port_name) override;
  void Close() override { device_.reset(); }
  bool WriteDeviceByte(uint8_t value, OVERLAPPED& overlapped) override;

 private:
  platform::UniqueFile device_;
};

// The parallel port: the port I/O driver client and the TvlLPT component, which selects a
// port, opens it directly (registers through the driver) or as the system's port device
// (bytes only), reads and sets pins, and sends bytes with the strobe handshake.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lib/port_access.h"
#include "lib/vlclasses.h"
#include "lib/vlddbasew32.h"
#include "lib/vlwin32.h"
#include "connector/pins.h"

/// Single-byte port input and output: through the vlio driver on the NT family, with the
/// processor's own instructions on the 9x family.
class TvlLptDriver : public TvlDriverBase {
 public:
  /// The 9x family's open mark: not the invalid handle, and never passed to a system call.
  static constexpr int32_t kDirectHandle = -2;

  TvlLptDriver();
  ~TvlLptDriver() override;

  int32_t Open() override;
  void Close() override;
  virtual void WritePort(uint16_t port, uint8_t value);
  /// The byte at `port`; 0 when the driver does not answer (no device, or a failed request).
  virtual uint8_t ReadPort(uint16_t port);
  /// Makes the parallel port at `base` the one port the device serves this client, held from
  /// every other program and from Windows' own printing until the device is closed or another
  /// claim succeeds. False with the last error ERROR_ACCESS_DENIED for a base that is not a
  /// served parallel port, ERROR_INVALID_ADDRESS for a legacy base the driver does not serve
  /// because Windows lists a port it could not describe, ERROR_BUSY while another holds it,
  /// ERROR_DEVICE_REMOVED for a port that went away, ERROR_INVALID_HANDLE without a device; a
  /// refused claim leaves the port held before. The 9x family holds nothing: true.
  bool ClaimPort(uint16_t base);
  /// Samples the registers `request` names in the driver's loop (IOCTL_VLIO_SAMPLE), into
  /// `answer`: the answer's header and records, resized to what came back. On the 9x family the
  /// same loop runs here, with the program's own port instructions. False with the last error
  /// when the driver refused (ERROR_ACCESS_DENIED for a register of no port claimed,
  /// ERROR_INVALID_PARAMETER for a request out of bounds) or there is no device.
  bool Sample(const VLIO_SAMPLE_INPUT& request, std::vector<uint8_t>& answer);
  /// Reads, writes and claims the driver did not carry out (no device, or a refused request)
  /// since the client was made. ReadPort and WritePort stay silent; a caller that must know
  /// whether a step went through compares this before and after.
  uint64_t FailedRequests() const { return failed_requests_; }
  /// Whether the driver answered a request since the open that the port it held went away
  /// (its card removed or disabled): from then on every access of it is refused.
  bool PortRemoved() const { return port_removed_; }

  /// The room one sampling request's answer gets: its header and 4093 records. A request whose
  /// changes fill it ends early, and the next begins at once.
  static constexpr std::size_t kSampleAnswerBytes = 64 * 1024;

 private:
  // The platform cannot change while the program runs: asked once, tested at every access.
  const bool nine_x_;
  uint64_t failed_requests_ = 0;
  bool port_removed_ = false;

  // Counts a request the driver refused, and remembers a refusal because the port went away.
  void Refused();
};

enum TLptPorts : uint8_t { lpLPT1, lpLPT2, lpLPT3, lpLPT4, lpLPTxx };

/// The IEEE 1284 port modes by name. The component never selects or queries a mode.
inline constexpr std::array<const char*, 11> LptModeNames{
    "CENTRONICS", "IEEE_COMPATIBILITY", "NIBBLE",       "CHANNEL_NIBBLE", "BYTE_BIDIR", "EPP_HW",
    "EPP_SW",     "BOUNDED_ECP",        "ECP_HW_NOIRQ", "ECP_HW_IRQ",     "ECP_SW"};

class TvlLPT : public TvlBaseIO {
 public:
  explicit TvlLPT(fw::TComponent* owner);
  ~TvlLPT() override;

  // Port selection. Every change of the port number closes, takes the base address from the
  // device list, reopens and tells the listeners (code 3), even when the number is the same.
  TLptPorts GetLptPort() const;
  /// lpLPTxx changes nothing.
  void SetLptPort(TLptPorts port);
  uint8_t GetLptPortNo() const { return static_cast<uint8_t>(port_number_); }
  void SetLptPortNo(uint8_t number);
  uint16_t GetLptIOBase() const { return io_base_; }
  /// Takes effect with the next register access, which in direct mode claims the port at the
  /// new base first; no reopen, nothing raised.
  void SetLptIOBase(uint16_t base) { io_base_ = base; }
  bool GetDirectMode() const { return direct_mode_; }
  /// Closes in the old mode and reopens in the new one when open.
  void SetDirectMode(bool direct);
  /// "LPT" followed by the character whose code is the port number plus 48.
  std::string GetPortName() const;
  TvlLptDriver& Driver() { return driver_access_.Driver(); }

  void SetDeviceIndex(int index) override;
  int GetDeviceIndex() override;
  /// Appends the machine's parallel ports to the device list: from the device database on
  /// the NT family, from the spooler's port list on the 9x family. Failures only shorten it.
  void EnumDevices() override;
  int AddPortDevice(const std::string& name, int32_t number, uint16_t base);
  /// Opens through the access of the current mode.
  /// Direct mode also claims the port at LptIOBase from the driver (not with base 0); a refused
  /// claim closes the driver again, so nothing is left installed.
  uint32_t OpenHandle() override;
  /// Reports a failed open, a refused claim of the port, a direct-mode open without base
  /// address, or one whose registers reach a system port (nothing is opened then), as a fatal
  /// error.
  void DoOpen() override;
  void DoClose() override;
  /// Why the last open failed, or was reported although it opened (base address 0), with the
  /// system's error behind it: also for the driver loader's failures, which raise on their
  /// own event and never reach OnFatalError. Empty after an open that went well.
  const std::optional<FatalError>& OpenError() const { return open_error_; }
  /// Whether that failure was the driver's refusal of the port at LptIOBase (no parallel port
  /// it serves, or one held elsewhere) rather than of the program.
  bool PortRefused() const { return port_refused_; }

  /// The port's registers, as offsets from its base address.
  enum Register : unsigned { kDataRegister = VPORT_DATA, kStatusRegister = VPORT_STATUS, kControlRegister = VPORT_CONTROL };
  /// The number of registers from the base address up.
  static constexpr unsigned kRegisterCount = 3;

  // Registers and pins. In handle mode registers read 0 and writes are dropped; so are those of
  // a register on one of the machine's own ports (VlioIsSystemPort, VlioIsWriteRefused). In
  // direct mode, the first access after LptIOBase changed claims the port at the new base; a
  // refused claim makes the access answer as a refused request does.
  uint8_t ReadData() { return ReadRegister(kDataRegister); }
  uint8_t ReadStatus() { return ReadRegister(kStatusRegister); }
  uint8_t ReadControl() { return ReadRegister(kControlRegister); }
  void WriteData(uint8_t value) { WriteRegister(kDataRegister, value); }
  void WriteStatus(uint8_t value) { WriteRegister(kStatusRegister, value); }
  void WriteControl(uint8_t value) { WriteRegister(kControlRegister, value); }
  /// True when the pin's register bit reads 1. Pins 0 and 18 and above read no register.
  bool GetPin(int32_t pin);
  /// Read-modify-write of the pin's register; pins without a register bit touch nothing.
  void SetPin(int32_t pin, bool state);
  /// Polls the status register every millisecond until (status & mask) == value; false when
  /// `timeout` milliseconds pass first or the port is closed.
  bool WaitStatus(uint8_t mask, uint8_t value, uint32_t timeout);
  /// Direct mode: the data register, then a strobe pulse. Handle mode: a one-byte write.
  void WriteByte(uint8_t value) override;
  /// Each character after up to 100 ms of waiting for Busy to clear; skipped when it does not.
  void WriteString(const std::string& text) override;

  /// Samples the registers at `offsets` from the base in the driver's loop, round after round,
  /// for at most `max_rounds` rounds and `max_microseconds` (each within the driver's limits,
  /// driver/vlio_ioctl.h), into `answer` (the request's header and records). False, with the
  /// last error, in handle mode (ERROR_NOT_SUPPORTED: the system's port device reads no
  /// register), for a register on one of the machine's own ports or a port that is not held
  /// (ERROR_ACCESS_DENIED), or when the driver refused.
  bool SampleRegisters(std::span<const unsigned> offsets, uint32_t max_rounds, uint32_t max_microseconds,
                       std::vector<uint8_t>& answer);

  /// WriteByte that answers whether the byte went out: in handle mode the device took it
  /// (WriteFile's count), in direct mode the driver carried out every request of it.
  bool SendByte(uint8_t value);

  /// What a string's bytes came to: sent, skipped because the device stayed busy, refused
  /// (SendByte false), and the rest, not tried because the caller stopped.
  struct Delivery {
    std::size_t sent = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    std::size_t unsent = 0;
  };
  struct SendOptions {
    /// Handle mode reads no status, so waiting on Busy there skips every byte; the system's
    /// port driver does the handshake itself. WriteString waits in either mode.
    bool wait_in_handle_mode = true;
    /// Asked before each byte with the count done so far; false stops the string there.
    std::function<bool(std::size_t done)> go_on;
    /// The console program's handshake in direct mode: each strobe pulse written from the
    /// control register as read once before the first byte (three accesses a byte, not
    /// WriteByte's five), and Busy read again at once a few times before the millisecond
    /// waits begin, since a device clears it within microseconds of most strobes and a
    /// sleep takes a whole timer tick. WriteString keeps WriteByte's accesses.
    bool quick_handshake = false;
  };
  /// WriteString's loop: each byte after up to 100 ms of waiting for Busy to clear, skipped
  /// when it does not.
  Delivery SendString(std::string_view text, const SendOptions& options);

 private:
  bool ByteWentOut(uint64_t failed_before);
  bool StrobeByte(uint8_t value, uint8_t control);
  bool NotBusySoon();
  PortAccess& Access() { return direct_mode_ ? static_cast<PortAccess&>(driver_access_) : device_access_; }
  /// Keeps `error` as OpenError, then reports it on the fatal-error path.
  void FailOpen(FatalError error);
  /// Whether the access may go to the registers at the base: in direct mode, the port there is
  /// claimed (now, when the base changed since the last claim).
  bool HoldsBase();
  uint8_t ReadRegister(unsigned offset);
  void WriteRegister(unsigned offset, uint8_t value);
  uint16_t RegisterAddress(unsigned offset) const { return static_cast<uint16_t>(io_base_ + offset); }
  /// The first register that is one of the machine's system ports (VlioSystemPorts), if any.
  std::optional<uint16_t> SystemRegister() const;
  void EnumDeviceDatabase();
  void EnumSpoolerPorts();

  int32_t port_number_ = 0;
  bool direct_mode_ = true;
  DriverAccess driver_access_;      // direct mode's, with the driver client
  DeviceFileAccess device_access_;  // handle mode's
  std::optional<FatalError> open_error_;
  bool port_refused_ = false;
  uint16_t io_base_ = 0;
  std::optional<uint16_t> claimed_base_;  // the port this open holds in direct mode
  SetupApi setup_api_;                 // loaded by the first enumeration, kept while the component lives
  bool last_byte_out_ = false;         // what the last WriteByte achieved, for SendByte
};

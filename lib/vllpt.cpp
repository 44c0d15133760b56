#include "lib/vllpt.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "driver/vlio_ioctl.h"
#include "driver/vlio_sample.h"
#include "framework/format.h"
#include "framework/startup_stamps.h"
#include "lib/vlwin32.h"
#include "platform/unique_handle.h"

namespace {

constexpr int32_t kStrobePin = VPORT_PIN_STROBE;
// The port inverts Busy: its bit reads 1 while the printer is not busy.
constexpr uint8_t kStatusNotBusy = VPORT_STATUS_BUSY;

/// The port number of a name "LPT" + digits: the decimal number after "LPT", or 1 when there is
/// none or it does not fit in 32 bits (never a wrapped value).
int32_t PortNumberOf(std::string_view name) {
  std::string_view digits = name.substr(3);
  if (digits.empty()) return 1;
  int64_t value = 0;
  const bool negative = digits.front() == '-';
  if (negative || digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return 1;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 1;
    value = value * 10 + (c - '0');
    if (value > (negative ? 2147483648LL : 2147483647LL)) return 1;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

struct PortRange {
  uint16_t base;
  uint32_t length;
};

/// The I/O range a boot resource list (CM_RESOURCE_LIST) gives a port: the start and length
/// of its first partial descriptor, when the list holds a full descriptor whose first partial
/// descriptor is there whole, is a port range and starts at a 16-bit port. Nothing otherwise.
std::optional<PortRange> BootPortRange(const std::vector<uint8_t>& list) {
  // Offsets: the count of full descriptors, the first one's count of partial descriptors, and
  // the first partial descriptor's type, start and length; 36 bytes end that descriptor.
  constexpr size_t kFullCount = 0, kPartialCount = 16, kType = 20, kStart = 24, kLength = 32, kListOfOne = 36;
  constexpr uint8_t kPortRange = 1;  // CmResourceTypePort
  if (list.size() < kListOfOne) return {};
  auto little_endian = [&list](size_t at, size_t size) {
    uint64_t value = 0;
    for (size_t i = size; i-- > 0;) value = value << 8 | list[at + i];
    return value;
  };
  if (little_endian(kFullCount, 4) == 0 || little_endian(kPartialCount, 4) == 0 || list[kType] != kPortRange)
    return {};
  const uint64_t start = little_endian(kStart, 8);
  if (start > 0xFFFF) return {};
  return PortRange{static_cast<uint16_t>(start), static_cast<uint32_t>(little_endian(kLength, 4))};
}

// A refused claim in the user's terms: which ports the driver serves and why, or who holds
// this one.
FatalError ClaimRefused(const std::string& port_name, uint16_t base, DWORD error) {
  const std::string failed = port_name + " open in Direct Mode is failed. ";
  std::string legacy;
  for (const VLIO_PORT_RANGE& port : VlioLegacyPorts) legacy += (legacy.empty() ? "" : ", ") + fw::HexNumber(port.First);
  const std::string known =
      "the ports under \"Ports (COM & LPT)\" in Device Manager, at the addresses on their Resources tab";
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return {10, 0,
              failed + "Base I/O port " + fw::HexNumber(base) + " is not a parallel port that Windows knows. Served are " +
                  known + ", and the legacy addresses " + legacy +
                  " unless Windows lists a parallel port whose address the driver could not tell",
              error};
    case ERROR_INVALID_ADDRESS:  // the driver's STATUS_CONFLICTING_ADDRESSES
      return {10, 0,
              failed + "Base I/O port " + fw::HexNumber(base) +
                  " is a legacy address, which is not served on this machine: Windows lists a parallel port whose "
                  "address the driver could not tell (or one that came after it started), and Windows' printing may "
                  "drive that port at this address. Served are " + known,
              error};
    case ERROR_BUSY:
      return {10, 0,
              failed + "The port at " + fw::HexNumber(base) +
                  " is in use by another program or by Windows' printing; try again when the print job has finished",
              error};
    case ERROR_DEVICE_REMOVED:
      return {10, 0, failed + "The port at " + fw::HexNumber(base) + " was removed from the machine, or is being removed", error};
    default:
      return PortOpenFailed(port_name, error);
  }
}

}  // namespace

// --- TvlLptDriver ----------------------------------------------------------------------------

TvlLptDriver::TvlLptDriver() : nine_x_(Win32Platform() == VER_PLATFORM_WIN32_WINDOWS) {
  ServiceName = "vlio";
  ResourceName = "vliobin";
}

TvlLptDriver::~TvlLptDriver() { TvlLptDriver::Close(); }

int32_t TvlLptDriver::Open() {
  port_removed_ = false;
  return nine_x_ ? kDirectHandle : TvlDriverBase::Open();
}

void TvlLptDriver::Refused() {
  ++failed_requests_;
  // Kept until the next open: the port does not come back by itself.
  if (win::GetLastError() == ERROR_DEVICE_REMOVED) port_removed_ = true;
}

void TvlLptDriver::Close() {
  if (!nine_x_) TvlDriverBase::Close();
}

void TvlLptDriver::WritePort(uint16_t port, uint8_t value) {
  if (nine_x_) return win::OutByte(port, value);
  // Without a device there is nobody to ask; the system must not see the invalid handle.
  if (!HasDevice()) {
    ++failed_requests_;
    return;
  }
  VLIO_WRITE_INPUT request{port, value};
  DWORD returned = 0;
  if (!win::DeviceIoControl(Device(), IOCTL_VLIO_WRITE, &request, sizeof request, nullptr, 0, &returned, nullptr))
    Refused();
}

uint8_t TvlLptDriver::ReadPort(uint16_t port) {
  if (nine_x_) return win::InByte(port);
  if (!HasDevice()) {
    ++failed_requests_;
    return 0;
  }
  VLIO_READ_INPUT request{port};
  uint8_t value = 0;
  DWORD returned = 0;
  if (!win::DeviceIoControl(Device(), IOCTL_VLIO_READ, &request, sizeof request, &value, sizeof value, &returned,
                            nullptr)) {
    Refused();
    return 0;
  }
  if (returned != sizeof value) {
    ++failed_requests_;
    return 0;
  }
  return value;
}

bool TvlLptDriver::ClaimPort(uint16_t base) {
  if (nine_x_) return true;
  if (!HasDevice()) {
    ++failed_requests_;
    win::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  VLIO_CLAIM_INPUT request{base};
  DWORD returned = 0;
  // The driver's STATUS_DEVICE_BUSY reaches the caller as ERROR_BUSY.
  if (win::DeviceIoControl(Device(), IOCTL_VLIO_CLAIM, &request, sizeof request, nullptr, 0, &returned, nullptr))
    return true;
  Refused();
  return false;
}

bool TvlLptDriver::Sample(const VLIO_SAMPLE_INPUT& request, std::vector<uint8_t>& answer) {
  answer.resize(kSampleAnswerBytes);
  if (nine_x_) {
    // The driver's loop, here: the 9x family lets a program execute IN itself.
    if (!VlioSampleInputValid(&request, sizeof request, static_cast<uint32_t>(answer.size()))) {
      answer.clear();
      win::SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    LARGE_INTEGER frequency;
    win::QueryPerformanceFrequency(&frequency);
    const auto read = [](void*, uint16_t port) -> uint8_t { return win::InByte(port); };
    const auto counter = [](void*) -> int64_t {
      LARGE_INTEGER now;
      win::QueryPerformanceCounter(&now);
      return now.QuadPart;
    };
    answer.resize(VlioSample(&request, answer.data(), static_cast<uint32_t>(answer.size()), frequency.QuadPart, read,
                             counter, nullptr));
    return true;
  }
  if (!HasDevice()) {
    ++failed_requests_;
    answer.clear();
    win::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD returned = 0;
  if (!win::DeviceIoControl(Device(), IOCTL_VLIO_SAMPLE, const_cast<VLIO_SAMPLE_INPUT*>(&request), sizeof request,
                            answer.data(), static_cast<DWORD>(answer.size()), &returned, nullptr)) {
    Refused();
    answer.clear();
    return false;
  }
  answer.resize(returned);
  return true;
}

// --- TvlLPT: selection, open and close -------------------------------------------------------

TvlLPT::TvlLPT(fw::TComponent* owner) : TvlBaseIO(owner) { SetLptPort(lpLPT1); }

TvlLPT::~TvlLPT() {
  if (GetActive()) DoClose();
}

TLptPorts TvlLPT::GetLptPort() const {
  // Port 0 is none of LPT1 to LPT4 either.
  if (port_number_ < 1 || port_number_ > 4) return lpLPTxx;
  return static_cast<TLptPorts>(port_number_ - 1);
}

void TvlLPT::SetLptPort(TLptPorts port) {
  if (port != lpLPTxx) SetLptPortNo(static_cast<uint8_t>(port + 1));
}

void TvlLPT::SetLptPortNo(uint8_t number) {
  const bool was_active = GetActive();
  SetActive(false);
  port_number_ = number;
  const int index = IndexOfNumber(number);
  if (index >= 0) io_base_ = static_cast<uint16_t>(GetDevice(index)->Param);
  SetActive(was_active);
  DoNotify(ncDevicesChanged);
}

void TvlLPT::SetDirectMode(bool direct) {
  if (direct == direct_mode_) return;
  const bool was_active = GetActive();
  if (was_active) DoClose();
  direct_mode_ = direct;
  if (was_active) DoOpen();
}

std::string TvlLPT::GetPortName() const { return std::string("LPT") + static_cast<char>((port_number_ + 48) & 0xFF); }

void TvlLPT::SetDeviceIndex(int index) {
  if (index >= 0 && index < DeviceCount()) SetLptPortNo(static_cast<uint8_t>(GetDevice(index)->Number));
}

int TvlLPT::GetDeviceIndex() { return IndexOfNumber(port_number_); }

uint32_t TvlLPT::OpenHandle() {
  claimed_base_.reset();
  const std::optional<uint32_t> handle = Access().Open(GetPortName());
  if (!handle) return kClosed;
  if (!direct_mode_ || io_base_ == 0 || HoldsBase()) return *handle;
  open_error_ = ClaimRefused(GetPortName(), io_base_, win::GetLastError());
  port_refused_ = true;
  Access().Close();
  return kClosed;
}

bool TvlLPT::HoldsBase() {
  if (!direct_mode_ || claimed_base_ == io_base_) return true;
  if (!Access().ClaimPort(io_base_)) return false;
  claimed_base_ = io_base_;
  return true;
}

std::optional<uint16_t> TvlLPT::SystemRegister() const {
  for (unsigned offset = 0; offset < kRegisterCount; ++offset) {
    if (VlioIsSystemPort(RegisterAddress(offset))) return RegisterAddress(offset);
  }
  return {};
}

void TvlLPT::FailOpen(FatalError error) {
  open_error_ = std::move(error);
  DoFatalError(open_error_->code, open_error_->detail, open_error_->message, false);
}

void TvlLPT::DoOpen() {
  open_error_.reset();
  port_refused_ = false;
  // Refused before anything is installed or opened: the driver would refuse every access
  // there anyway, and on the 9x family nothing else stands between the pins and the machine.
  // Base 0 is the unset address, reported after the open as always.
  if (direct_mode_ && io_base_ != 0) {
    if (const std::optional<uint16_t> port = SystemRegister()) {
      return FailOpen({10, 0,
                       GetPortName() + " open in Direct Mode is failed. Base I/O port " + fw::HexNumber(io_base_) +
                           " reaches system port " + fw::HexNumber(*port) +
                           ", which belongs to the machine's own devices and is never served"});
    }
  }
  try {
    TvlBaseIO::DoOpen();
  } catch (...) {
    open_error_ = Access().Failure();  // the loader's, raised on its own event
    throw;
  }
  if (Handle() == kClosed) {
    // A refused claim says why itself. An OpenHandle of a descendant may fail without an access
    // to say why: the last error does.
    const std::optional<FatalError>& failure = open_error_ ? open_error_ : Access().Failure();
    FailOpen(failure ? *failure : PortOpenFailed(GetPortName(), win::GetLastError()));
  } else if (direct_mode_ && io_base_ == 0) {
    FailOpen({10, 0, GetPortName() + " open in Direct Mode is failed. Base I/O port is NULL"});
  }
}

void TvlLPT::DoClose() {
  Access().Close();
  claimed_base_.reset();
  TvlBaseIO::DoClose();
}

// --- TvlLPT: registers, pins and output ------------------------------------------------------

// A register on one of the machine's own ports is skipped whatever the base became after the
// open (or with base 0, which stays open): on the 9x family nothing else stands between the
// port instructions and the machine. A skipped read answers what a refused request does.
uint8_t TvlLPT::ReadRegister(unsigned offset) {
  const uint16_t port = RegisterAddress(offset);
  return VlioIsSystemPort(port) || !HoldsBase() ? 0 : Access().ReadRegister(port);
}

void TvlLPT::WriteRegister(unsigned offset, uint8_t value) {
  const uint16_t port = RegisterAddress(offset);
  if (!VlioIsWriteRefused(port) && HoldsBase()) Access().WriteRegister(port, value);
}

bool TvlLPT::SampleRegisters(std::span<const unsigned> offsets, uint32_t max_rounds, uint32_t max_microseconds,
                             std::vector<uint8_t>& answer) {
  VLIO_SAMPLE_INPUT request{};
  if (!direct_mode_) return Access().SampleRegisters(request, answer);  // which cannot
  if (offsets.empty() || offsets.size() > VLIO_SAMPLE_MAX_REGISTERS) {
    win::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  for (const unsigned offset : offsets) {
    const uint16_t port = RegisterAddress(offset);
    if (VlioIsSystemPort(port)) {
      win::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    request.Registers[request.Count++] = port;
  }
  request.MaxRounds = max_rounds;
  request.MaxMicroseconds = max_microseconds;
  return HoldsBase() && Access().SampleRegisters(request, answer);
}

bool TvlLPT::GetPin(int32_t pin) {
  const vport_signal* signal = connector::SignalOf(pin);
  return signal && (ReadRegister(signal->offset) & signal->mask) != 0;
}

void TvlLPT::SetPin(int32_t pin, bool state) {
  const vport_signal* signal = connector::SignalOf(pin);
  if (!signal) return;
  const uint8_t value = ReadRegister(signal->offset);
  WriteRegister(signal->offset, state ? value | signal->mask : value & ~signal->mask);
}

bool TvlLPT::WaitStatus(uint8_t mask, uint8_t value, uint32_t timeout) {
  if (Handle() == kClosed) return false;
  const DWORD start = win::GetTickCount();
  for (;;) {
    // Unsigned arithmetic keeps the wait right across the tick counter's wrap.
    if (win::GetTickCount() - start > timeout) return false;
    if ((ReadStatus() & mask) == value) return true;
    win::Sleep(1);
  }
}

void TvlLPT::WriteByte(uint8_t value) {
  last_byte_out_ = false;
  if (Handle() == kClosed) return;
  if (direct_mode_) {
    const uint64_t failed = Driver().FailedRequests();
    WriteData(value);
    SetPin(kStrobePin, true);
    SetPin(kStrobePin, false);
    last_byte_out_ = ByteWentOut(failed);
  } else {
    last_byte_out_ = Access().WriteDeviceByte(value, write_overlapped_);
  }
}

bool TvlLPT::ByteWentOut(uint64_t failed_before) {
  // A register the component skips (a system port) did not take its part of the byte either.
  const bool skipped =
      VlioIsWriteRefused(RegisterAddress(kDataRegister)) || VlioIsWriteRefused(RegisterAddress(kControlRegister));
  return !skipped && Driver().FailedRequests() == failed_before;
}

bool TvlLPT::StrobeByte(uint8_t value, uint8_t control) {
  const uint64_t failed = Driver().FailedRequests();
  WriteData(value);
  WriteControl(static_cast<uint8_t>(control | VPORT_CONTROL_STROBE));
  WriteControl(static_cast<uint8_t>(control & ~VPORT_CONTROL_STROBE));
  return ByteWentOut(failed);
}

bool TvlLPT::NotBusySoon() {
  constexpr int kQuickReads = 16;
  for (int i = 0; i < kQuickReads; ++i)
    if (ReadStatus() & kStatusNotBusy) return true;
  return false;
}

bool TvlLPT::SendByte(uint8_t value) {
  WriteByte(value);  // dispatched, as WriteString's bytes are
  return last_byte_out_;
}

void TvlLPT::WriteString(const std::string& text) {
  if (Handle() == kClosed || text.empty()) return;
  const fw::FormatArg args[] = {text};
  LogLine(2, "Try to send string %s ...", args);
  SendString(text, {});
}

TvlLPT::Delivery TvlLPT::SendString(std::string_view text, const SendOptions& options) {
  Delivery delivery;
  const bool wait = direct_mode_ || options.wait_in_handle_mode;
  const bool quick = options.quick_handshake && direct_mode_ && Handle() != kClosed;
  const uint8_t control = quick ? ReadControl() : 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (options.go_on && !options.go_on(i)) {
      delivery.unsent = text.size() - i;
      break;
    }
    const auto byte = static_cast<uint8_t>(text[i]);
    if (wait && !(quick && NotBusySoon()) && !WaitStatus(kStatusNotBusy, kStatusNotBusy, 100))
      ++delivery.skipped;
    else if (quick ? StrobeByte(byte, control) : SendByte(byte))
      ++delivery.sent;
    else
      ++delivery.failed;
  }
  return delivery;
}

// --- TvlLPT: the machine's ports --------------------------------------------------------------

int TvlLPT::AddPortDevice(const std::string& name, int32_t number, uint16_t base) {
  auto* device = new TvlDevice;
  device->Name = device->Caption = name;
  device->Number = number;
  device->Param = base;
  return AddDevice(device);
}

void TvlLPT::EnumDevices() {
  if (Win32Platform() == VER_PLATFORM_WIN32_NT)
    EnumDeviceDatabase();
  else
    EnumSpoolerPorts();
}

void TvlLPT::EnumDeviceDatabase() {
  const SetupApi::DeviceList set = setup_api_.GetClassDevices(kPortsClass);
  if (!set) return;
  DeviceInfo info;
  for (int index = 0; setup_api_.GetDeviceInfo(set.get(), index, info); ++index) {
    if (info.service != "Parport") continue;
    const auto hardware = OpenRegistryKey(HKEY_LOCAL_MACHINE, info.key_path);
    if (!hardware) continue;
    const auto value = QueryRegistryValue(hardware.get(), "PortName", 128);
    if (!value) continue;
    // The text up to its terminating zero, or all the bytes returned when it has none.
    const std::string name(value->begin(), std::find(value->begin(), value->end(), uint8_t{0}));
    if (name.rfind("LPT", 0) != 0) continue;
    std::optional<PortRange> range;
    // The resources the port was given at boot, in the instance key above the hardware key.
    if (const auto conf = OpenRegistryKey(HKEY_LOCAL_MACHINE, ExtractParentPath(info.key_path) + "\\LogConf"); conf) {
      if (const auto boot = QueryRegistryValue(conf.get(), "BootConfig", 2048)) range = BootPortRange(*boot);
    }
    const int added = AddPortDevice(name, PortNumberOf(name), range ? range->base : VLIO_LPT1_BASE);
    if (range) GetDevice(added)->Span = range->length;
  }
  PINSCOPE_STAMP_STARTUP(kPortsEnumerated);
}

void TvlLPT::EnumSpoolerPorts() {
  for (const SpoolerPort& entry : SpoolerPorts()) {
    const std::string& port = entry.name;
    if (port.rfind("LPT", 0) != 0) continue;
    const char fourth = port.size() > 3 ? port[3] : '\0';
    const uint16_t base = fourth == '1' ? VLIO_LPT1_BASE : fourth == '2' ? VLIO_LPT2_BASE : VLIO_LPT3_BASE;
    AddPortDevice(port, fourth - '0', base);
  }
}

#include "lib/vlclasses.h"

#include <vector>

#include "framework/exception.h"
#include "framework/report.h"
#include "platform/win32.h"

// --- TvlNotifyList -------------------------------------------------------------------------

int TvlNotifyList::Add(TvlNotifyProc listener) {
  listeners_.push_back(listener);
  return Count() - 1;
}

void TvlNotifyList::Delete(int index) {
  GetListener(index);
  listeners_.erase(listeners_.begin() + index);
}

TvlNotifyProc TvlNotifyList::GetListener(int index) const {
  if (index < 0 || index >= Count()) throw fw::EListError(index);
  return listeners_[static_cast<size_t>(index)];
}

int TvlNotifyList::IndexOfListener(TvlNotifyProc listener) const {
  for (int i = 0; i < Count(); ++i)
    if (listeners_[static_cast<size_t>(i)] == listener) return i;
  return -1;
}

void TvlNotifyList::Notify(fw::TObject* sender, int code) {
  // A listener may register itself again while it runs; the count taken first bounds the walk,
  // and each pair is copied before its call.
  const int count = Count();
  for (int i = 0; i < count && i < Count(); ++i) {
    const TvlNotifyProc listener = listeners_[static_cast<size_t>(i)];
    listener(sender, code);
  }
}

// --- TvlCustomLogFile ----------------------------------------------------------------------

void TvlCustomLogFile::DoFatalError(uint32_t code, uint32_t detail, const std::string& message) {
  bool raise = true;
  if (OnFatalError.Assigned()) OnFatalError(this, code, detail, message, raise);
  if (raise) throw fw::Exception(message);
}

void TvlCustomLogFile::WriteLog(int, const std::string&, std::span<const fw::FormatArg>) { fw::AbstractError(); }

// --- TvlBaseIO: construction and the Active protocol ---------------------------------------

TvlBaseIO::TvlBaseIO(fw::TComponent* owner)
    : fw::TComponent(owner),
      aux_event_(win::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      write_event_(win::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
  aux_overlapped_.hEvent = aux_event_.get();
  write_overlapped_.hEvent = write_event_.get();
}

TvlBaseIO::~TvlBaseIO() {
  // A linked control must not go on calling into a component that no longer exists.
  if (control_) control_->WindowProc = old_window_proc_;
  write_event_.reset();
  aux_event_.reset();
  ClearDevices();
}

bool TvlBaseIO::GetActive() {
  if (IsDesigning() || IsLoading()) return stored_active_;
  return IsOpened();
}

void TvlBaseIO::SessionEnding() {
  fw::TComponent::SessionEnding();
  if (!IsLoading() && !IsDesigning() && Handle() != kClosed) SetActive(false);
}

void TvlBaseIO::SetActive(bool value) {
  if (IsLoading()) {
    stored_active_ = value;
    return;
  }
  if (value == GetActive() && !IsDesigning()) return;
  if (value)
    DoOpen();
  else
    DoClose();
  if (IsDesigning()) {
    stored_active_ = IsOpened();
    if (stored_active_) DoClose();
  }
}

void TvlBaseIO::DoOpen() { handle_ = OpenHandle(); }

void TvlBaseIO::DoClose() {
  if (handle_ != kClosed && OnClosing.Assigned()) {
    try {
      OnClosing(this);
    } catch (...) {
      // Closing goes on whatever the application's handler does.
    }
  }
  handle_ = kClosed;
}

uint32_t TvlBaseIO::OpenHandle() { return kClosed; }

void TvlBaseIO::Loaded() {
  fw::TComponent::Loaded();
  try {
    SetControl(control_);
    SetControlMode(control_mode_);
    SetActive(stored_active_);
  } catch (...) {
    // The form goes on loading; the user learns only that something went wrong here.
    win::MessageBoxA(win::GetForegroundWindow(), "error", "Error", MB_ICONERROR);
  }
}

void TvlBaseIO::Notification(fw::TComponent* component, fw::TOperation operation) {
  fw::TComponent::Notification(component, operation);
  if (operation != fw::TOperation::opRemove) return;
  if (control_ && component == control_) {
    // The control is going away; its window procedure is not ours to restore any more.
    control_ = nullptr;
    output_window_ = nullptr;
  } else if (log_ && component == log_) {
    log_ = nullptr;
  }
}

// --- Fatal errors and logging --------------------------------------------------------------

void TvlBaseIO::DoFatalError(uint32_t code, uint32_t detail, const std::string& message, bool show_only) {
  bool raise = true;
  if (OnFatalError.Assigned()) OnFatalError(this, code, detail, message, raise);
  if (log_) {
    const fw::FormatArg args[] = {code, detail, message};
    log_->WriteLog(0, "Fatal Error: %u, %u, %s", args);
  }
  if (!raise || IsLoading()) return;
  if (!show_only) throw fw::Exception(message);
  fw::ShowRuntimeError(fw::Exception(message), __builtin_return_address(0));
}

void TvlBaseIO::SetLog(TvlCustomLogFile* log) {
  log_ = log;
  if (log_) FreeNotification(log_);
}

void TvlBaseIO::LogLine(int level, const std::string& format, std::span<const fw::FormatArg> args) {
  if (log_) log_->WriteLog(level, LogPrefix + format, args);
}

// --- Listeners -----------------------------------------------------------------------------

void TvlBaseIO::DoNotify(int code) { notifies_.Notify(this, code); }

void TvlBaseIO::DevicesChanged() { DoNotify(ncDevicesChanged); }

int TvlBaseIO::AddNotify(TvlNotifyProc listener) {
  const int index = notifies_.IndexOfListener(listener);
  return index >= 0 ? index : notifies_.Add(listener);
}

void TvlBaseIO::RemoveNotify(TvlNotifyProc listener) {
  const int index = notifies_.IndexOfListener(listener);
  if (index >= 0) notifies_.Delete(index);
}

// --- The device list -----------------------------------------------------------------------

void TvlBaseIO::SetDeviceIndex(int) { DoNotify(ncDevicesChanged); }

int TvlBaseIO::GetDeviceIndex() { fw::AbstractError(); }

void TvlBaseIO::EnumDevices() { fw::AbstractError(); }

int TvlBaseIO::AddDevice(TvlDevice* device) {
  const int index = devices_.AddObject(device->Name, device);
  device->Index = index;
  device->Owner = this;
  return index;
}

TvlDevice* TvlBaseIO::GetDevice(int index) const { return static_cast<TvlDevice*>(devices_.Objects(index)); }

int TvlBaseIO::IndexOfNumber(int32_t number) const {
  for (int i = 0; i < DeviceCount(); ++i)
    if (GetDevice(i)->Number == number) return i;
  return -1;
}

void TvlBaseIO::ClearDevices() {
  if (OwnsDevices)
    for (int i = 0; i < DeviceCount(); ++i) delete GetDevice(i);
  devices_.Clear();
}

void TvlBaseIO::GetDeviceNames(fw::TStrings* target) {
  if (DeviceCount() == 0) EnumDevices();
  if (!target) return;
  target->Clear();
  for (int i = 0; i < DeviceCount(); ++i) target->AddObject(devices_.Strings(i), devices_.Objects(i));
}

void TvlBaseIO::DeviceChange(fw::TMessage& message) {
  if (message.Msg != WM_DEVICECHANGE) return;
  if (message.WParam != DBT_DEVICEARRIVAL && message.WParam != DBT_DEVICEREMOVECOMPLETE) return;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(message.LParam);
  if (header && header->dbch_devicetype == DBT_DEVTYP_PORT) DevicesChanged();
}

void TvlBaseIO::WriteByte(uint8_t) { fw::AbstractError(); }

void TvlBaseIO::WriteString(const std::string&) { fw::AbstractError(); }

// --- The terminal link ---------------------------------------------------------------------

void TvlBaseIO::SetControl(fw::TWinControl* control) {
  // Before anything that can raise (making the control's window does): a link left behind by
  // a raise must still end when the control goes.
  if (control) FreeNotification(control);
  if (control_) control_->WindowProc = old_window_proc_;
  if (!control) {
    old_window_proc_ = {};
  } else {
    old_window_proc_ = control->WindowProc;
    control->WindowProc = fw::TWndMethod::Of<&TvlBaseIO::ControlWindowProc>(this);
  }
  output_window_ = nullptr;
  control_ = control;
  if (IsDesigning() && control && control_mode_ == 0) control_mode_ = 3;
  SetControlMode(control_mode_);
}

void TvlBaseIO::SetControlMode(uint8_t mode) {
  control_mode_ = mode;
  if (!control_) return;
  if (mode == 0 || mode == 1)
    output_window_ = nullptr;
  else if (mode == 2 || mode == 3)
    output_window_ = control_->Handle();
}

void TvlBaseIO::ControlWindowProc(fw::TMessage& message) {
  if (!in_control_write_ && message.Msg == WM_CHAR && (control_mode_ == 1 || control_mode_ == 3)) {
    WriteByte(static_cast<uint8_t>(message.WParam));
    if (!LocalEcho) return;
  }
  old_window_proc_(message);
}

void TvlBaseIO::WriteToControl(std::span<const uint8_t> data) {
  // Characters we send into the control are not typed ones: keep them from going to the device.
  in_control_write_ = true;
  struct EndWrite {
    bool& flag;
    ~EndWrite() { flag = false; }
  } end_write{in_control_write_};
  if (data.size() == 1) {
    win::SendMessageA(output_window_, WM_CHAR, data[0], 1);
    return;
  }
  // Our own copy carries the terminating zero, so the control never reads past the data.
  std::vector<char> text(data.begin(), data.end());
  text.push_back('\0');
  for (size_t start = 0; start <= data.size();) {
    win::SendMessageA(output_window_, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(&text[start]));
    start += std::char_traits<char>::length(&text[start]) + 1;
  }
}

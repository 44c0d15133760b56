// The base of every I/O component: a device handle and the Active state built on it, a device
// list, listeners told of changes by a numeric code, the fatal-error path with an optional log,
// and an optional link that turns a text control into a terminal.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/controls.h"
#include "framework/format.h"
#include "framework/method.h"
#include "framework/strings.h"
#include "platform/unique_handle.h"

class TvlBaseIO;

/// One entry of a device list.
class TvlDevice : public fw::TPersistent {
 public:
  int32_t Index = 0;  ///< position in the owner's list, set by AddDevice
  TvlBaseIO* Owner = nullptr;
  int32_t Number = 0;  ///< the key of IndexOfNumber; for ports the port number
  uint32_t Param = 0;  ///< for ports the base I/O address
  /// For ports the length of the I/O range Windows gave the port at Param; 0 where Windows
  /// gave none and Param is assumed.
  uint32_t Span = 0;
  std::string Name;    ///< also the text under which the entry stands in the list
  std::string Caption;
};

/// A listener: called with the sender and a notification code.
using TvlNotifyProc = fw::Method<fw::TObject*, int>;

/// The device list or the current device has changed: read both again.
constexpr int ncDevicesChanged = 3;

/// Listeners in the order of registration; a listener is the whole (callback, context) pair.
class TvlNotifyList {
 public:
  int Count() const { return static_cast<int>(listeners_.size()); }
  int Add(TvlNotifyProc listener);
  /// Removes item `index`; later items move down. An index out of range raises EListError.
  void Delete(int index);
  void Clear() { listeners_.clear(); }
  TvlNotifyProc GetListener(int index) const;
  int IndexOfListener(TvlNotifyProc listener) const;
  /// Calls the listeners that are registered when the call starts, in order.
  void Notify(fw::TObject* sender, int code);

 private:
  std::vector<TvlNotifyProc> listeners_;
};

/// The fatal-error event: Sender, ErrorCode, Detail, ErrorMsg, and RaiseException, which the
/// handler clears to stop the raise (or the display) that follows.
using TOnFatalErrorEvent = fw::Method<fw::TObject*, uint32_t, uint32_t, const std::string&, bool&>;

/// A failure on its way from where it happened to a fatal-error path: the pair that the event
/// gets, the complete message, and the system's error behind it, which the pair does not always
/// carry (ERROR_SUCCESS when the refusal is the program's own).
struct FatalError {
  uint32_t code = 0;
  uint32_t detail = 0;
  std::string message;
  DWORD system_error = ERROR_SUCCESS;
};

/// The log sink that any log implementation derives from.
class TvlCustomLogFile : public fw::TComponent {
 public:
  using fw::TComponent::TComponent;

  TOnFatalErrorEvent OnFatalError;

  /// For logs that fail: the event, then an Exception with `message` unless the handler declined.
  virtual void DoFatalError(uint32_t code, uint32_t detail, const std::string& message);
  /// Writes one line; `format` follows the runtime's Format rules. Abstract in the base.
  virtual void WriteLog(int level, const std::string& format, std::span<const fw::FormatArg> args);
};

class TvlBaseIO : public fw::TComponent {
 public:
  static constexpr uint32_t kClosed = 0xFFFFFFFF;

  explicit TvlBaseIO(fw::TComponent* owner);
  /// Does not close Handle: a descendant that can be open closes itself first.
  ~TvlBaseIO() override;

  // The Active protocol. While loading the value is only stored; at design time an open is
  // tried, its outcome remembered, and the device closed again.
  bool GetActive();
  void SetActive(bool value);
  /// Closes the device: the process may end any moment after.
  void SessionEnding() override;
  uint32_t Handle() const { return handle_; }

  virtual bool IsOpened() { return handle_ != kClosed; }
  /// Reports a failure that stops an operation: event, log line, then raise (or show).
  virtual void DoFatalError(uint32_t code, uint32_t detail, const std::string& message, bool show_only);
  virtual void DoNotify(int code);
  virtual void SetDeviceIndex(int index);
  virtual int GetDeviceIndex();
  virtual int AddDevice(TvlDevice* device);
  virtual void EnumDevices();
  virtual void DoOpen();
  virtual void DoClose();
  virtual void ClearDevices();
  virtual uint32_t OpenHandle();
  /// Shows `data` in the linked control; never reads past it.
  virtual void WriteToControl(std::span<const uint8_t> data);
  virtual void DevicesChanged();
  virtual int AddNotify(TvlNotifyProc listener);
  virtual void RemoveNotify(TvlNotifyProc listener);
  virtual void WriteByte(uint8_t value);
  virtual void WriteString(const std::string& text);
  /// Fills `target` (when given) with the devices' names and entries, enumerating first
  /// when the list is empty. The target does not own the entries.
  virtual void GetDeviceNames(fw::TStrings* target);
  /// Reacts to the arrival or removal of a port device.
  virtual void DeviceChange(fw::TMessage& message);

  TvlDevice* GetDevice(int index) const;
  int DeviceCount() const { return devices_.Count(); }
  int IndexOfNumber(int32_t number) const;

  TvlCustomLogFile* Log() const { return log_; }
  void SetLog(TvlCustomLogFile* log);
  TOnFatalErrorEvent OnFatalError;
  fw::TNotifyEvent OnClosing;
  std::string LogPrefix;
  bool OwnsDevices = true;
  void LogLine(int level, const std::string& format, std::span<const fw::FormatArg> args);

  // The terminal link.
  fw::TWinControl* Control() const { return control_; }
  void SetControl(fw::TWinControl* control);
  uint8_t GetControlMode() const { return control_mode_; }
  void SetControlMode(uint8_t mode);
  HWND OutputWindow() const { return output_window_; }
  bool LocalEcho = false;
  void ControlWindowProc(fw::TMessage& message);

  void Loaded() override;

 protected:
  void Notification(fw::TComponent* component, fw::TOperation operation) override;

  bool stored_active_ = false;
  OVERLAPPED aux_overlapped_{};
  OVERLAPPED write_overlapped_{};

 private:
  TvlNotifyList notifies_;
  TvlCustomLogFile* log_ = nullptr;
  fw::TStringList devices_;
  HWND output_window_ = nullptr;
  uint8_t control_mode_ = 0;
  fw::TWinControl* control_ = nullptr;
  fw::TWndMethod old_window_proc_;
  bool in_control_write_ = false;
  uint32_t handle_ = kClosed;
  platform::UniqueHandle aux_event_;
  platform::UniqueHandle write_event_;
};

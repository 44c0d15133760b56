// The driver service loader: brings a kernel-mode driver that the program carries as a
// resource into service on the NT family (image file, demand-start service, device), and
// takes it out again.
#pragma once

#include <cstdint>
#include <string>

#include "framework/component.h"
#include "lib/vlclasses.h"
#include "platform/unique_handle.h"

class TvlDriverBase : public fw::TObject {
 public:
  TvlDriverBase() = default;
  /// Closes the device and takes the service down. A subclass that overrides Close calls it
  /// from its own destructor, since only there its override still runs.
  ~TvlDriverBase() override;
  TvlDriverBase(const TvlDriverBase&) = delete;
  TvlDriverBase& operator=(const TvlDriverBase&) = delete;

  /// Reports an error through OnError, then raises an Exception with `message` unless the
  /// handler declined.
  virtual void DoError(uint32_t code, uint32_t detail, const std::string& message);
  /// The device handle: the one held, or a new one after installing and starting the driver;
  /// -1 when the device does not open, with the last error telling why (the system's refusal
  /// to load the driver, or the device's own answer), and the service taken down again. Installing or starting failures go
  /// through DoError, with the cause in words in the message. A service of this name that is
  /// already running and that this object did not start is never taken for ours: that is a
  /// start failure.
  virtual int32_t Open();
  /// Closes the device, then stops and deletes the service; nothing when no device is held.
  virtual void Close();

  /// Makes sure the file at DriverPath holds the carried image and holds it open so that
  /// nobody can change it, then creates the service, or points an existing one at that file.
  /// False, with the last error, when the file cannot be made right or the service cannot be
  /// made; nothing is started. A 32-bit program on 64-bit Windows is refused: the system
  /// would take the image from another drivers folder than the one it writes to.
  bool InstallDriver();
  /// Starts the service, checking the image first when InstallDriver did not, and lets the
  /// image go once the system has loaded it. False when the service cannot be reached, or
  /// when it was already running without this object having started it.
  bool StartDriver();
  bool StopDriver();
  bool RemoveDriver();

  int32_t DeviceHandle() const { return platform::HandleValue(device_.get()); }
  bool HasDevice() const { return static_cast<bool>(device_); }

  TOnFatalErrorEvent OnError;
  std::string ServiceName;
  std::string DriverPath;  ///< filled in with the system's drivers folder when blank
  std::string ResourceName;

 protected:
  HANDLE Device() const { return device_.get(); }

 private:
  bool PinImage();
  bool PointServiceAtImage(SC_HANDLE manager);
  std::string WithCause(const std::string& message, DWORD error) const;

  platform::UniqueFile device_;
  // The checked image, open so that nobody can change it, from the check until it is loaded.
  platform::UniqueFile image_;
  DWORD start_error_ = 0;  // of the last StartServiceA: a refused image explains a missing device
  bool started_ = false;   // the running service is the one this object started
  std::string cause_;      // of the last failure, where the system has no words for it
};

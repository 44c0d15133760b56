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
  /// to load the driver, or the device's own answer). Installing or starting failures go
  /// through DoError, with the system's words for the cause in the message.
  virtual int32_t Open();
  /// Closes the device, then stops and deletes the service; nothing when no device is held.
  virtual void Close();

  bool InstallDriver();
  bool StartDriver();
  bool StopDriver();
  bool RemoveDriver();

  int32_t DeviceHandle() const { return platform::HandleValue(device_.get()); }

  TOnFatalErrorEvent OnError;
  std::string ServiceName;
  std::string DriverPath;  ///< filled in from the temporary directory when blank
  std::string ResourceName;

 protected:
  HANDLE Device() const { return device_.get(); }

 private:
  bool WriteImage();

  platform::UniqueFile device_;
  DWORD start_error_ = 0;  // of the last StartServiceA: a refused image explains a missing device
};

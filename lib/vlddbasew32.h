// The driver service loader: brings a kernel-mode driver that the program carries as a
// resource into service on the NT family (image file, demand-start service, device), and
// takes it out again.
#pragma once

#include <cstdint>
#include <optional>
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
  /// -1 when the device of the driver this call started does not open, with the last error
  /// telling why, and the service taken down again. Installing or starting failures go
  /// through DoError, with the cause in words on the message's second line, and leave nothing
  /// of this call behind. The device is opened only after this object's own start succeeded.
  /// A running service of this name that loads this object's image is a leftover of a run that
  /// did not close: it is stopped (waiting a few seconds for a device still open elsewhere) and
  /// made again; any other running one is refused and left alone.
  virtual int32_t Open();
  /// Closes the device, then stops and deletes the service; nothing when no device is held and
  /// no service this object started is still running.
  virtual void Close();

  /// Checks the names, clears the way (a leftover of this image stopped and deleted, another
  /// product's service refused), writes the carried image anew to DriverPath and holds it open
  /// so that nobody can change it, then creates the service. False, with the last error, when
  /// any of it fails; nothing is started. A 32-bit program on 64-bit Windows is refused: the
  /// system would take the image from another drivers folder than the one it writes to.
  bool InstallDriver();
  /// Starts the service, checking the image first when InstallDriver did not, and lets the
  /// image go once the system has loaded it. False for any failure of the start, "already
  /// running" included.
  bool StartDriver();
  /// True when the service is stopped (waited for a few seconds) or does not exist.
  bool StopDriver();
  /// True when the service is deleted or marked for deletion, or does not exist.
  bool RemoveDriver();

  /// A service of ServiceName as Open would find it, looked at without changing anything.
  struct FoundService {
    enum Owner {
      kNone,            // there is none
      kThisImage,       // a kernel driver loading ImagePlace(): a run that did not close left it
      kOlderBuild,      // a kernel driver loading the temporary folder's image, as older builds did
      kAnotherProgram,  // anything else: Open refuses it and leaves it alone
      kUnreadable,      // it exists, or may, but its configuration could not be read (`error`)
    } owner = kNone;
    std::string binary;  // its binary path, as stored
    DWORD state = 0;     // SERVICE_STOPPED, SERVICE_RUNNING, ...
    DWORD error = 0;
  };
  FoundService FindService() const;
  /// Where Open writes the carried image: DriverPath, or when that is blank ServiceName.sys in
  /// the system's drivers folder. Empty when the system folder cannot be had.
  std::string ImagePlace() const;

  /// The failure of the last Open that went through DoError (code 7, the system's error as
  /// Detail), kept for a caller that learns of it by the raise; empty after any other Open.
  const std::optional<FatalError>& LastError() const { return last_error_; }

  int32_t DeviceHandle() const { return platform::HandleValue(device_.get()); }
  bool HasDevice() const { return static_cast<bool>(device_); }

  TOnFatalErrorEvent OnError;
  /// Letters, digits and '_' only; also the device's name.
  std::string ServiceName;
  /// Filled in with the system's drivers folder when blank; a file of that folder or refused.
  std::string DriverPath;
  std::string ResourceName;

 protected:
  HANDLE Device() const { return device_.get(); }

 private:
  bool CheckPlace();
  bool ClearWay(SC_HANDLE manager);
  /// Reads the service's configuration and status; `found.owner` is kThisImage or
  /// kAnotherProgram (an older build's is told by OlderBuildImage).
  bool Describe(SC_HANDLE service, const std::string& system, const std::string& place, FoundService& found,
                std::string& loads) const;
  /// The temporary folder's image of ServiceName, which older builds loaded; empty when the
  /// folder cannot be had.
  std::string OlderBuildImage() const;
  bool PinImage();
  bool FileFailure();
  std::string ImageFileName() const;
  std::string WithCause(const std::string& message, DWORD error) const;
  /// Keeps the failure as LastError, then reports it through DoError.
  void Fail(const char* message, DWORD error);

  platform::UniqueFile device_;
  // The checked image, open so that nobody can change it, from the check until it is loaded.
  platform::UniqueFile image_;
  std::string system_;         // the system folder, as CheckPlace found it
  bool created_ = false;       // the service is the one this Open created
  bool started_ = false;       // the service runs, or may, because this object started it
  bool start_refused_ = false;  // the install failed on a running service: a start failure
  std::string cause_;          // of the last failure, where the system has no words for it
  std::optional<FatalError> last_error_;
};

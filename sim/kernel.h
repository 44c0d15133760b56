// The PC's kernel: the drivers that services loaded, run through kernel_host on the PC's
// port bus, and the names their symbolic links give CreateFileA ("\\.\vlio"), or their
// devices' own through the global root ("\\?\GLOBALROOT\Device\vlio").
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "sim/clock.h"
#include "sim/file_object.h"
#include "sim/kernel_bridge.h"
#include "sim/ports.h"

namespace sim {

class SimKernel final : public NameSpace {
 public:
  using Routine = kernel_bridge::Routine;

  /// Its drivers reach `ports` through the port routines and read `clock`'s counter.
  SimKernel(SimPortBus& ports, const Clock& clock);
  ~SimKernel() override;

  /// A driver image the loader knows: a file of exactly these bytes runs `entry`.
  void AddImage(std::vector<BYTE> bytes, DriverEntryRoutine entry);
  /// A file of these bytes is refused by the loader with `error`: ERROR_INVALID_IMAGE_HASH
  /// for an unsigned driver, ERROR_DRIVER_BLOCKED for a blocked one.
  void RefuseImage(std::vector<BYTE> bytes, DWORD error);
  /// Who opens a device: asked at each open. Until set, a caller with the load-driver
  /// privilege enabled.
  void SetCaller(std::function<kernel_bridge::Caller()> caller) { caller_ = std::move(caller); }
  /// The next call of `routine` by a driver fails with `status` (an NTSTATUS).
  void FailNext(Routine routine, std::int32_t status);
  /// Windows' parallel port driver serves a port at `base`, held for a print job while
  /// `printing`; drivers loaded from now on find it.
  void SetParallelPort(std::uint16_t base, bool printing) { Host().SetParallelPort(base, printing); }
  /// The card of the port at `base` is pulled out while the machine runs.
  void RemoveParallelPort(std::uint16_t base) { Host().RemoveParallelPort(base); }
  /// Windows' parallel port driver lists a port the driver cannot serve (registers in memory).
  void AddParallelPortInMemory() { Host().AddParallelPortInMemory(); }

  /// Symbolic link -> device, as the loaded drivers made them ("\\DosDevices\\vlio" ->
  /// "\\Device\\vlio").
  std::map<std::string, std::string> Links() const;
  std::vector<std::string> Devices() const;
  /// Ways a driver misused the kernel; empty while they behave.
  std::vector<std::string> DriverFaults() const;
  std::size_t LoadedDrivers() const { return loaded_.size(); }
  /// The bytes of every image whose entry ran, in the order they were loaded.
  const std::vector<std::vector<BYTE>>& LoadedImages() const { return loaded_images_; }

  /// A driver in memory, as the service control manager holds it.
  struct Loaded;
  /// Loads an image read from disk: returns 0 and sets `driver`, or returns the Win32 error
  /// that StartServiceA fails with. Bytes of no known image are not an image at all:
  /// ERROR_BAD_EXE_FORMAT.
  DWORD Load(const std::vector<BYTE>& image, std::shared_ptr<Loaded>& driver);
  enum class Stop { Unloaded, Pending, NotStoppable };
  /// Runs the driver's unload routine, or, while handles to its devices are open, marks it
  /// for unloading when the last of them closes and calls `unloaded` then.
  Stop Unload(const std::shared_ptr<Loaded>& driver, std::function<void()> unloaded);

  /// The Win32 error that kernel32 makes of an NTSTATUS.
  static DWORD Win32Error(std::int32_t status);

  bool Owns(std::string_view name) const override;
  DWORD Open(const OpenRequest& request, std::shared_ptr<FileObject>& file) override;

 private:
  kernel_bridge::Kernel& Host();
  // The device a \\.\NAME reaches through a link, or that \\?\GLOBALROOT\Device\NAME names;
  // "" for other names.
  std::string Target(std::string_view name) const;
  void Finish(const std::shared_ptr<Loaded>& driver);

  struct Image {
    std::vector<BYTE> bytes;
    DriverEntryRoutine entry;  // null: refused
    DWORD refusal;
  };

  SimPortBus& ports_;
  const Clock& clock_;
  std::function<kernel_bridge::Caller()> caller_;
  std::vector<Image> images_;
  std::vector<std::vector<BYTE>> loaded_images_;
  // Made on first use: a kernel_host kernel takes over every driver call while it exists.
  std::unique_ptr<kernel_bridge::Kernel> host_;
  std::vector<std::shared_ptr<Loaded>> loaded_;
  // Drivers unloaded or whose entry failed: kept, since devices they left behind point at them.
  std::vector<std::shared_ptr<Loaded>> retired_;
};

}  // namespace sim

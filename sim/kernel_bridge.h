// The simulated PC's one way into kernel_host, in plain C++ on both sides: the kernel's
// header (ddk/wdm.h) and Windows' own (windows.h) define the same names differently, so no
// file may see both. Only kernel_bridge.cpp includes kernel_host.h.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The kernel's own structure tags, so that the entry point type below is exactly wdm.h's
// PDRIVER_INITIALIZE.
struct _DRIVER_OBJECT;
struct _UNICODE_STRING;

namespace sim {

/// A driver's entry point: DriverEntry(DriverObject, RegistryPath), returning an NTSTATUS.
using DriverEntryRoutine = std::int32_t (*)(_DRIVER_OBJECT*, _UNICODE_STRING*);

}  // namespace sim

namespace sim::kernel_bridge {

/// What came back from a request: the IRP's final status and Information, and the
/// caller's output buffer afterwards.
struct Reply {
  std::int32_t status;
  std::uintptr_t information;
  std::vector<std::uint8_t> output;
  /// Of a create that succeeded: the open (file object) the requests on the handle go to.
  void* open = nullptr;
};

enum class Routine { IoCreateDevice, IoCreateSymbolicLink };

/// The user-mode program that opens a device, as a create routine's privilege check sees it:
/// the subject of the create, on whose own thread it runs.
struct Caller {
  bool load_driver_privilege_enabled;
};

class Kernel;

/// One driver image in memory.
class Driver {
 public:
  ~Driver();
  std::int32_t Load();
  /// Whether the driver set an unload routine; without one it cannot be stopped.
  bool CanUnload();
  void Unload();
  /// The names of the driver's devices, the one requests go to first.
  std::vector<std::string> DeviceNames();
  Reply Create(const Caller& caller);
  Reply Close(void* open);
  Reply DeviceControl(void* open, std::uint32_t code, std::vector<std::uint8_t> input,
                      std::vector<std::uint8_t> output);

 private:
  friend class Kernel;
  struct Impl;
  explicit Driver(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// The kernel of one simulated PC, its port routines on `read` and `write`.
class Kernel {
 public:
  Kernel(std::function<std::uint8_t(std::uint16_t)> read, std::function<void(std::uint16_t, std::uint8_t)> write);
  ~Kernel();
  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  std::unique_ptr<Driver> NewDriver(DriverEntryRoutine entry);
  void FailNext(Routine routine, std::int32_t status);
  /// What the drivers' KeQueryPerformanceCounter reads, at `frequency` ticks per second.
  void SetPerformanceCounter(std::function<std::int64_t()> read, std::int64_t frequency);
  /// Windows' parallel port driver serves a port at `base` (eight registers), which drivers
  /// loaded from now on find; held for a print job while `printing`.
  void SetParallelPort(std::uint16_t base, bool printing);
  /// The card of the port at `base` is pulled out: a surprise removal, with no query first.
  void RemoveParallelPort(std::uint16_t base);
  /// Windows' parallel port driver also lists a port whose registers it reaches through memory,
  /// which vlio cannot serve: it may sit at a legacy base as far as vlio can tell.
  void AddParallelPortInMemory();
  /// Symbolic link -> device name, as the drivers made them.
  std::map<std::string, std::string> Links() const;
  std::vector<std::string> DeviceNames() const;
  /// Ways the drivers misused the kernel.
  std::vector<std::string> Faults() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim::kernel_bridge

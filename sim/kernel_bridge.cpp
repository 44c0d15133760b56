#include "sim/kernel_bridge.h"

#include <stdexcept>
#include <type_traits>

#include "driver/host/kernel_host.h"

namespace sim::kernel_bridge {

static_assert(std::is_same_v<DriverEntryRoutine, PDRIVER_INITIALIZE>, "the entry point is the kernel's own type");

namespace {

class Bus final : public kernel_host::PortBus {
 public:
  Bus(std::function<std::uint8_t(std::uint16_t)> read, std::function<void(std::uint16_t, std::uint8_t)> write)
      : read_(std::move(read)), write_(std::move(write)) {}
  uint8_t Read(uint16_t port) override { return read_(port); }
  void Write(uint16_t port, uint8_t value) override { write_(port, value); }

 private:
  std::function<std::uint8_t(std::uint16_t)> read_;
  std::function<void(std::uint16_t, std::uint8_t)> write_;
};

Reply ToReply(const kernel_host::Reply& reply) {
  return {reply.status, reply.information, reply.output, reply.file};
}

}  // namespace

struct Kernel::Impl {
  Impl(std::function<std::uint8_t(std::uint16_t)> read, std::function<void(std::uint16_t, std::uint8_t)> write)
      : bus(std::move(read), std::move(write)) {
    kernel.ConnectPorts(&bus);
  }
  Bus bus;
  kernel_host::Kernel kernel;
  std::map<std::uint16_t, kernel_host::ParallelPort*> parallel_ports;
};

struct Driver::Impl {
  Impl(kernel_host::Kernel& kernel, DriverEntryRoutine entry) : kernel(kernel), driver(kernel, entry) {}

  // The driver's calls reach whichever kernel was made last; refuse rather than let them
  // land in another PC's.
  kernel_host::Driver& Enter() {
    if (&kernel_host::Kernel::Installed() != &kernel) {
      throw std::logic_error("sim: a driver runs only on the simulated PC made last");
    }
    return driver;
  }

  kernel_host::Kernel& kernel;
  kernel_host::Driver driver;
};

Driver::Driver(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Driver::~Driver() = default;

std::int32_t Driver::Load() { return impl_->Enter().Load(); }

bool Driver::CanUnload() { return impl_->driver.Object().DriverUnload != nullptr; }

void Driver::Unload() { impl_->Enter().Unload(); }

std::vector<std::string> Driver::DeviceNames() {
  std::vector<std::string> names;
  const std::vector<kernel_host::Device> devices = impl_->kernel.Devices();
  for (PDEVICE_OBJECT object = impl_->driver.Object().DeviceObject; object; object = object->NextDevice) {
    for (const kernel_host::Device& device : devices) {
      if (device.object == object) names.push_back(device.name);
    }
  }
  return names;
}

Reply Driver::Create(const Caller& caller) {
  kernel_host::Driver& driver = impl_->Enter();
  const kernel_host::Requestor requestor =
      caller.load_driver_privilege_enabled ? kernel_host::PrivilegedClient() : kernel_host::UnprivilegedClient();
  impl_->kernel.SetRequestor(requestor);
  // A program's open: the caller is the subject of the create, which runs on its own thread.
  return ToReply(driver.Create(kernel_host::CreateRequest{requestor, requestor.enabled_privileges}));
}

Reply Driver::Close(void* open) { return ToReply(impl_->Enter().Close(static_cast<FILE_OBJECT*>(open))); }

Reply Driver::DeviceControl(void* open, std::uint32_t code, std::vector<std::uint8_t> input,
                            std::vector<std::uint8_t> output) {
  return ToReply(
      impl_->Enter().DeviceControl(static_cast<FILE_OBJECT*>(open), code, std::move(input), std::move(output)));
}

Kernel::Kernel(std::function<std::uint8_t(std::uint16_t)> read, std::function<void(std::uint16_t, std::uint8_t)> write)
    : impl_(std::make_unique<Impl>(std::move(read), std::move(write))) {}

Kernel::~Kernel() = default;

std::unique_ptr<Driver> Kernel::NewDriver(DriverEntryRoutine entry) {
  return std::unique_ptr<Driver>(new Driver(std::make_unique<Driver::Impl>(impl_->kernel, entry)));
}

void Kernel::SetPerformanceCounter(std::function<std::int64_t()> read, std::int64_t frequency) {
  impl_->kernel.SetPerformanceCounter(std::move(read), frequency);
}

void Kernel::FailNext(Routine routine, std::int32_t status) {
  impl_->kernel.FailNext(routine == Routine::IoCreateDevice ? kernel_host::Routine::IoCreateDevice
                                                            : kernel_host::Routine::IoCreateSymbolicLink,
                         status);
}

void Kernel::SetParallelPort(std::uint16_t base, bool printing) {
  kernel_host::ParallelPort*& port = impl_->parallel_ports[base];
  if (!port) port = &impl_->kernel.AddParallelPort({"\\??\\ACPI#PNP0400#" + std::to_string(base), base, 8, base});
  port->allocated = printing;
}

void Kernel::RemoveParallelPort(std::uint16_t base) {
  impl_->kernel.CompleteRemove(*impl_->parallel_ports.at(base));
}

void Kernel::AddParallelPortInMemory() {
  impl_->kernel.AddParallelPort({"\\??\\PCI#VEN_1C00&DEV_3050#9", 0xFE000000, 8, 0xFE000000});
}

std::map<std::string, std::string> Kernel::Links() const { return impl_->kernel.Links(); }

std::vector<std::string> Kernel::DeviceNames() const {
  std::vector<std::string> names;
  for (const kernel_host::Device& device : impl_->kernel.Devices()) names.push_back(device.name);
  return names;
}

std::vector<std::string> Kernel::Faults() const { return impl_->kernel.Faults(); }

}  // namespace sim::kernel_bridge

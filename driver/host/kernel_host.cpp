#include "kernel_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace kernel_host {
namespace {

Kernel* installed = nullptr;

std::string Narrow(const UNICODE_STRING* name) {
  std::string text;
  if (name == nullptr || name->Buffer == nullptr) return text;
  for (size_t i = 0; i < name->Length / sizeof(WCHAR); ++i) text += static_cast<char>(name->Buffer[i]);
  return text;
}

// The I/O manager copies back to the caller only for statuses that are not errors.
bool IsError(NTSTATUS status) { return static_cast<uint32_t>(status) >= 0xC0000000u; }

// The parallel port driver's allocation routines, with the port as their context.
BOOLEAN NTAPI HostTryAllocatePort(PVOID context) {
  return Kernel::Installed().TryAllocatePort(static_cast<ParallelPort*>(context));
}

VOID NTAPI HostFreePort(PVOID context) { Kernel::Installed().FreePort(static_cast<ParallelPort*>(context)); }

}  // namespace

Kernel::Kernel() : previous_(installed) { installed = this; }

Kernel::~Kernel() {
  // A driver still loaded when the machine goes keeps its pool until then.
  for (PVOID memory : pool_) std::free(memory);
  installed = previous_;
}

Kernel& Kernel::Installed() {
  if (installed == nullptr) {
    std::fputs("kernel_host: the driver called the kernel with no Kernel installed\n", stderr);
    std::abort();
  }
  return *installed;
}

void Kernel::FailNext(Routine routine, NTSTATUS status) { failures_[routine] = status; }

bool Kernel::Failing(Routine routine, NTSTATUS* status) {
  auto failure = failures_.find(routine);
  if (failure == failures_.end()) return false;
  *status = failure->second;
  failures_.erase(failure);
  return true;
}

std::vector<Device> Kernel::Devices() const {
  std::vector<Device> devices;
  for (const auto& record : devices_) devices.push_back(record->device);
  return devices;
}

NTSTATUS Kernel::CreateDevice(PDRIVER_OBJECT driver, ULONG extension_size, PUNICODE_STRING name, ULONG type,
                              ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device) {
  NTSTATUS status;
  if (Failing(Routine::IoCreateDevice, &status)) return status;
  std::string text = Narrow(name);
  if (!text.empty()) {
    for (const auto& record : devices_)
      if (record->device.name == text) return STATUS_OBJECT_NAME_COLLISION;
  }
  auto record = std::make_unique<DeviceRecord>();
  record->object = std::make_unique<DEVICE_OBJECT>();
  record->extension.assign(extension_size, 0);
  DEVICE_OBJECT* object = record->object.get();
  object->DriverObject = driver;
  object->DeviceExtension = extension_size ? record->extension.data() : nullptr;
  object->DeviceType = type;
  object->Characteristics = characteristics;
  // A new device goes to the head of its driver's list, as in the kernel.
  object->NextDevice = driver->DeviceObject;
  driver->DeviceObject = object;
  record->device = Device{text, extension_size, type, characteristics, exclusive != 0, object};
  devices_.push_back(std::move(record));
  *device = object;
  return STATUS_SUCCESS;
}

void Kernel::DeleteDevice(PDEVICE_OBJECT device) {
  auto found = std::find_if(devices_.begin(), devices_.end(),
                            [device](const auto& record) { return record->object.get() == device; });
  if (found == devices_.end()) {
    Fault("IoDeleteDevice of a device that does not exist");
    return;
  }
  for (PDEVICE_OBJECT* link = &device->DriverObject->DeviceObject; *link != nullptr; link = &(*link)->NextDevice) {
    if (*link == device) {
      *link = device->NextDevice;
      break;
    }
  }
  devices_.erase(found);
}

NTSTATUS Kernel::CreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING device) {
  NTSTATUS status;
  if (Failing(Routine::IoCreateSymbolicLink, &status)) return status;
  if (!links_.emplace(Narrow(link), Narrow(device)).second) return STATUS_OBJECT_NAME_COLLISION;
  return STATUS_SUCCESS;
}

NTSTATUS Kernel::DeleteSymbolicLink(PUNICODE_STRING link) {
  return links_.erase(Narrow(link)) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

Privileges SystemThreadToken() {
  Privileges all;
  for (ULONG privilege = 2; privilege <= 35; ++privilege) all.insert(privilege);
  return all;
}

bool Kernel::SinglePrivilegeCheck(LUID privilege, KPROCESSOR_MODE mode) {
  // The kernel trusts its own callers; a user-mode caller is judged by the token of the
  // thread the check runs on, whoever asked for the request.
  const Privileges& thread = thread_ ? *thread_ : requestor_.enabled_privileges;
  const bool granted = mode == KernelMode || (privilege.HighPart == 0 && thread.count(privilege.LowPart) != 0);
  privilege_checks_.push_back({privilege.LowPart, mode, granted, PrivilegeCheck::Thread});
  return granted;
}

bool Kernel::SubjectPrivilegeCheck(PPRIVILEGE_SET privileges, PSECURITY_SUBJECT_CONTEXT subject, KPROCESSOR_MODE mode) {
  if (privileges == nullptr || subject == nullptr || privileges->PrivilegeCount != 1) {
    Fault("SePrivilegeCheck without a subject, or not of exactly one privilege");
    return false;
  }
  if (subject->ClientToken != nullptr) Fault("SePrivilegeCheck of an impersonating subject, which no create here has");
  const auto* token = static_cast<const Privileges*>(subject->PrimaryToken);
  LUID_AND_ATTRIBUTES& wanted = privileges->Privilege[0];
  const bool granted =
      mode == KernelMode || (wanted.Luid.HighPart == 0 && token && token->count(wanted.Luid.LowPart) != 0);
  if (granted) wanted.Attributes |= SE_PRIVILEGE_USED_FOR_ACCESS;
  privilege_checks_.push_back({wanted.Luid.LowPart, mode, granted, PrivilegeCheck::Subject});
  return granted;
}

ParallelPort& Kernel::AddParallelPort(ParallelPort port) {
  std::lock_guard lock(mutex_);
  auto record = std::make_unique<PortRecord>();
  record->port = std::move(port);
  record->device.DeviceType = FILE_DEVICE_PARALLEL_PORT;
  parallel_ports_.push_back(std::move(record));
  return parallel_ports_.back()->port;
}

int Kernel::ParallelPortReferences() const {
  std::lock_guard lock(mutex_);
  int references = 0;
  for (const auto& record : parallel_ports_) references += record->references;
  return references;
}

bool Kernel::Allocated(const ParallelPort& port) const {
  std::lock_guard lock(mutex_);
  return port.allocated;
}

ParallelPort& Kernel::ArriveParallelPort(ParallelPort port) {
  ParallelPort& arrived = AddParallelPort(std::move(port));
  std::wstring name(arrived.interface_name.begin(), arrived.interface_name.end());
  const auto bytes = static_cast<USHORT>(name.size() * sizeof(WCHAR));
  UNICODE_STRING link{bytes, bytes, name.data()};
  DEVICE_INTERFACE_CHANGE_NOTIFICATION notification{1, sizeof notification, GUID_DEVICE_INTERFACE_ARRIVAL,
                                                    GUID_PARALLEL_DEVICE, &link};
  std::vector<Registration> watches;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [entry, registration] : registrations_) {
      if (registration->category == EventCategoryDeviceInterfaceChange &&
          std::memcmp(registration->data, &GUID_PARALLEL_DEVICE, sizeof(GUID)) == 0)
        watches.push_back(*registration);
    }
  }
  for (const Registration& watch : watches) watch.callback(&notification, watch.context);
  return arrived;
}

bool Kernel::TellTarget(ParallelPort& port, const GUID& event) {
  std::vector<Registration> watches;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [entry, registration] : registrations_) {
      if (registration->category == EventCategoryTargetDeviceChange && PortOf(registration->data) == PortOf(&port))
        watches.push_back(*registration);
    }
  }
  bool vetoed = false;
  for (const Registration& watch : watches) {
    TARGET_DEVICE_REMOVAL_NOTIFICATION notification{1, sizeof notification, event,
                                                    static_cast<FILE_OBJECT*>(watch.data)};
    vetoed |= !NT_SUCCESS(watch.callback(&notification, watch.context));
  }
  return !vetoed;
}

bool Kernel::QueryRemove(ParallelPort& port) {
  const bool agreed = TellTarget(port, GUID_TARGET_DEVICE_QUERY_REMOVE);
  std::lock_guard lock(mutex_);
  return agreed && PortOf(&port)->references == 0;
}

void Kernel::CancelRemove(ParallelPort& port) { TellTarget(port, GUID_TARGET_DEVICE_REMOVE_CANCELLED); }

void Kernel::CompleteRemove(ParallelPort& port) {
  TellTarget(port, GUID_TARGET_DEVICE_REMOVE_COMPLETE);
  std::lock_guard lock(mutex_);
  PortRecord* record = PortOf(&port);
  record->removed = true;
  if (record->references != 0) Fault("a reference on a parallel port kept after its removal completed");
}

size_t Kernel::Registrations() const {
  std::lock_guard lock(mutex_);
  return registrations_.size();
}

NTSTATUS Kernel::RegisterNotification(IO_NOTIFICATION_EVENT_CATEGORY category, PVOID data,
                                      PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback, PVOID context, PVOID* entry) {
  NTSTATUS status;
  if (Failing(Routine::IoRegisterPlugPlayNotification, &status)) return status;
  std::lock_guard lock(mutex_);
  if (category == EventCategoryTargetDeviceChange) {
    PortRecord* record = PortOf(data);
    if (record == nullptr || data == &record->device || data == &record->port || record->references == 0)
      Fault("a target device notification on no open file object of a parallel port");
  } else if (category != EventCategoryDeviceInterfaceChange) {
    Fault("a notification of a category the driver has no use for");
  }
  auto registration = std::make_unique<Registration>(Registration{category, data, callback, context});
  *entry = registration.get();
  registrations_[*entry] = std::move(registration);
  return STATUS_SUCCESS;
}

NTSTATUS Kernel::UnregisterNotification(PVOID entry) {
  std::lock_guard lock(mutex_);
  if (!registrations_.erase(entry)) Fault("IoUnregisterPlugPlayNotification of no registration");
  return STATUS_SUCCESS;
}

Kernel::PortRecord* Kernel::PortOf(PVOID object) const {
  for (const auto& record : parallel_ports_) {
    if (object == &record->device || object == &record->port) return record.get();
    for (const auto& file : record->files)
      if (object == file.get()) return record.get();
  }
  return nullptr;
}

NTSTATUS Kernel::GetDeviceInterfaces(const GUID* guid, PWSTR* list) {
  NTSTATUS status;
  if (Failing(Routine::IoGetDeviceInterfaces, &status)) return status;
  // A list of names, each ends with a NUL, and one more NUL; empty for another class.
  std::wstring names;
  if (std::memcmp(guid, &GUID_PARALLEL_DEVICE, sizeof(GUID)) == 0) {
    std::lock_guard lock(mutex_);
    for (const auto& record : parallel_ports_) {
      if (!record->removed)
        names += std::wstring(record->port.interface_name.begin(), record->port.interface_name.end()) + L'\0';
    }
  }
  names += L'\0';
  auto* memory = static_cast<PWSTR>(std::malloc(names.size() * sizeof(WCHAR)));
  std::copy(names.begin(), names.end(), memory);
  pool_.insert(memory);
  *list = memory;
  return STATUS_SUCCESS;
}

void Kernel::FreePool(PVOID memory) {
  if (!pool_.erase(memory)) {
    Fault("ExFreePool of memory the kernel did not hand out");
    return;
  }
  std::free(memory);
}

NTSTATUS Kernel::GetDeviceObjectPointer(PUNICODE_STRING name, PFILE_OBJECT* file, PDEVICE_OBJECT* device) {
  const std::string text = Narrow(name);
  std::lock_guard lock(mutex_);
  for (const auto& record : parallel_ports_) {
    if (record->port.interface_name != text || record->removed) continue;
    record->files.push_back(std::make_unique<FILE_OBJECT>());
    record->files.back()->DeviceObject = &record->device;
    ++record->references;
    *file = record->files.back().get();
    *device = &record->device;
    return STATUS_SUCCESS;
  }
  return STATUS_OBJECT_NAME_NOT_FOUND;
}

PIRP Kernel::BuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, ULONG input_length, PVOID output,
                                         ULONG output_length, BOOLEAN internal, PKEVENT event,
                                         PIO_STATUS_BLOCK result) {
  if (input_length != 0) Fault("an input buffer on a request that takes none");
  auto built = std::make_unique<BuiltIrp>();
  built->irp.Tail.Overlay.CurrentStackLocation = &built->stack[1];
  built->stack[0].DeviceObject = device;
  built->stack[0].MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
  built->code = code;
  built->output = output;
  built->output_length = output_length;
  built->internal = internal != 0;
  built->event = event;
  built->result = result;
  PIRP irp = &built->irp;
  built_[irp] = std::move(built);
  return irp;
}

// Only the parallel port driver's information request is answered, as parport answers it.
NTSTATUS Kernel::CallDriver(PDEVICE_OBJECT device, PIRP irp) {
  auto found = built_.find(irp);
  if (found == built_.end()) {
    Fault("IofCallDriver of an IRP that IoBuildDeviceIoControlRequest did not make");
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  std::unique_ptr<BuiltIrp> built = std::move(found->second);
  built_.erase(found);
  PortRecord* record = PortOf(device);
  if (record == nullptr || &record->device != device) throw std::logic_error("kernel_host: a request to a device it does not simulate");
  if (!built->internal || built->code != IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO)
    Fault("a request to the parallel port driver other than its internal information request");
  if (PortOf(built->stack[0].FileObject) != record) Fault("a request to a parallel port without its open file object");
  NTSTATUS status = record->port.answer;
  ULONG_PTR information = 0;
  if (NT_SUCCESS(status)) {
    if (built->output_length < sizeof(PARALLEL_PORT_INFORMATION)) {
      status = STATUS_BUFFER_TOO_SMALL;
    } else {
      PARALLEL_PORT_INFORMATION info{};
      info.OriginalController.QuadPart = static_cast<LONGLONG>(record->port.base);
      info.Controller = reinterpret_cast<PUCHAR>(static_cast<uintptr_t>(record->port.controller));
      info.SpanOfController = record->port.span;
      info.TryAllocatePort = &HostTryAllocatePort;
      info.FreePort = &HostFreePort;
      info.Context = &record->port;
      std::memcpy(built->output, &info, sizeof info);
      information = sizeof info;
    }
  }
  built->result->Status = status;
  built->result->Information = information;
  if (!record->port.pending) return status;
  built->event->Signaled = 1;
  return STATUS_PENDING;
}

NTSTATUS Kernel::Wait(PVOID object, PLARGE_INTEGER timeout) {
  if (static_cast<PKEVENT>(object)->Signaled) return STATUS_SUCCESS;
  // Nothing else runs on this thread: an event that is not set now never will be by it. A
  // timed wait sleeps for its time, up to a millisecond, so that another thread goes on.
  if (timeout == nullptr) {
    Fault("KeWaitForSingleObject on an event that nothing sets");
    return STATUS_SUCCESS;
  }
  if (++delays_ > 100'000) {
    std::fputs("kernel_host: the driver waits for something that never happens\n", stderr);
    std::abort();
  }
  const int64_t ticks = timeout->QuadPart < 0 ? -timeout->QuadPart : 0;
  std::this_thread::sleep_for(std::chrono::microseconds(std::min<int64_t>(ticks / 10, 1000)));
  return STATUS_TIMEOUT;
}

void Kernel::Dereference(PVOID object) {
  std::lock_guard lock(mutex_);
  PortRecord* record = PortOf(object);
  if (record == nullptr || object == &record->device || object == &record->port) {
    Fault("ObDereferenceObject of an object the driver holds no reference on");
    return;
  }
  if (--record->references < 0) Fault("ObDereferenceObject of a parallel port's file once too often");
}

BOOLEAN Kernel::TryAllocatePort(ParallelPort* port) {
  std::lock_guard lock(mutex_);
  PortRecord* record = PortOf(port);
  if (record->references == 0 || record->removed)
    Fault("TryAllocatePort on a parallel port the driver does not hold open");
  if (port->allocated) return FALSE;
  port->allocated = true;
  return TRUE;
}

void Kernel::FreePort(ParallelPort* port) {
  std::lock_guard lock(mutex_);
  PortRecord* record = PortOf(port);
  if (record->references == 0) Fault("FreePort on a parallel port the driver does not hold open");
  if (!port->allocated) Fault("FreePort of a parallel port that is not allocated");
  port->allocated = false;
}

void Kernel::BeginRequest(PIRP irp) { requests_[irp] = Completions{}; }

Kernel::Completions Kernel::EndRequest(PIRP irp) {
  Completions completions = requests_.at(irp);
  requests_.erase(irp);
  return completions;
}

void Kernel::CompleteRequest(PIRP irp, CCHAR boost) {
  auto request = requests_.find(irp);
  if (request == requests_.end()) {
    Fault("IofCompleteRequest of an IRP that is not in progress");
    return;
  }
  if (++request->second.count > 1) Fault("IofCompleteRequest of an IRP that was already completed");
  request->second.boost = boost;
}

int64_t Kernel::QueryPerformanceCounter(int64_t* frequency) {
  if (frequency) *frequency = frequency_;
  return counter_ ? counter_() : (steady_ += frequency_ / 1'000'000);
}

uint8_t Kernel::ReadPort(uint16_t port) {
  uint8_t value = bus_ ? bus_->Read(port) : 0xFF;
  std::lock_guard lock(mutex_);
  port_accesses_.push_back({false, port, value});
  return value;
}

void Kernel::WritePort(uint16_t port, uint8_t value) {
  {
    std::lock_guard lock(mutex_);
    port_accesses_.push_back({true, port, value});
  }
  if (bus_) bus_->Write(port, value);
}

Driver::Driver(Kernel& kernel, PDRIVER_INITIALIZE entry) : kernel_(kernel) {
  object_.DriverInit = entry;
  std::fill(std::begin(object_.MajorFunction), std::end(object_.MajorFunction), &InvalidDeviceRequest);
}

NTSTATUS Driver::Load() {
  WCHAR path[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vlio";
  UNICODE_STRING registry_path;
  RtlInitUnicodeString(&registry_path, path);
  return object_.DriverInit(&object_, &registry_path);
}

void Driver::Unload() {
  if (object_.DriverUnload != nullptr) object_.DriverUnload(&object_);
}

Reply Driver::Create() {
  const Requestor& requestor = kernel_.CurrentRequestor();
  return Create(CreateRequest{requestor, requestor.enabled_privileges});
}

Reply Driver::Create(CreateRequest request) {
  if (object_.DeviceObject == nullptr) throw std::logic_error("kernel_host: the driver has no device to send to");
  auto file = std::make_unique<FILE_OBJECT>();
  file->DeviceObject = object_.DeviceObject;
  Reply reply = Send(IRP_MJ_CREATE, file.get(), 0, {}, {}, &request);
  if (!NT_SUCCESS(reply.status)) return reply;
  reply.file = current_ = file.get();
  files_.push_back(std::move(file));
  return reply;
}

Reply Driver::Close(FILE_OBJECT* file) {
  Reply reply = Send(IRP_MJ_CLOSE, file, 0, {}, {});
  std::erase_if(files_, [file](const auto& each) { return each.get() == file; });
  if (current_ == file) current_ = nullptr;
  return reply;
}

Reply Driver::DeviceControl(FILE_OBJECT* file, ULONG code, std::vector<uint8_t> input, std::vector<uint8_t> output) {
  return Send(IRP_MJ_DEVICE_CONTROL, file, code, input, std::move(output));
}

Reply Driver::Send(UCHAR major, FILE_OBJECT* file, ULONG code, const std::vector<uint8_t>& input,
                   std::vector<uint8_t> output, CreateRequest* create) {
  if (object_.DeviceObject == nullptr) throw std::logic_error("kernel_host: the driver has no device to send to");
  // A kernel-mode sender may set no file object; any other file must be an open of the device.
  if (major != IRP_MJ_CREATE && (file != nullptr || major != IRP_MJ_DEVICE_CONTROL) &&
      std::none_of(files_.begin(), files_.end(), [file](const auto& each) { return each.get() == file; })) {
    throw std::logic_error("kernel_host: a request on no open of the driver's device");
  }

  // Exactly the larger length, so that reading or writing past it shows under the sanitizers.
  // The part past the input holds a marker rather than zeros, as pool memory would.
  std::vector<uint8_t> system_buffer(std::max(input.size(), output.size()), 0xA5);
  std::copy(input.begin(), input.end(), system_buffer.begin());

  IO_STACK_LOCATION stack{};
  stack.MajorFunction = major;
  stack.DeviceObject = object_.DeviceObject;
  stack.FileObject = file;
  stack.Parameters.DeviceIoControl.OutputBufferLength = static_cast<ULONG>(output.size());
  stack.Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(input.size());
  stack.Parameters.DeviceIoControl.IoControlCode = code;

  IRP irp{};
  irp.AssociatedIrp.SystemBuffer = system_buffer.empty() ? nullptr : system_buffer.data();
  irp.IoStatus.Status = STATUS_UNSUCCESSFUL;
  irp.IoStatus.Information = 0xDEADBEEF;
  irp.RequestorMode = kernel_.CurrentRequestor().mode;
  irp.Tail.Overlay.CurrentStackLocation = &stack;

  // A create carries its subject in the access state the object manager captured when the
  // open began, and runs on whichever thread passes it on.
  ACCESS_STATE access{};
  IO_SECURITY_CONTEXT security{};
  if (create) {
    irp.RequestorMode = create->requestor.mode;
    if (create->force_access_check) stack.Flags |= SL_FORCE_ACCESS_CHECK;
    access.SubjectSecurityContext.PrimaryToken = &create->requestor.enabled_privileges;
    security.AccessState = &access;
    stack.Parameters.Create.SecurityContext = create->security_context ? &security : nullptr;
    kernel_.thread_ = &create->thread;
  }

  kernel_.BeginRequest(&irp);
  NTSTATUS returned = object_.MajorFunction[major](object_.DeviceObject, &irp);
  kernel_.thread_ = nullptr;
  Kernel::Completions completions = kernel_.EndRequest(&irp);
  if (completions.count == 0) kernel_.Fault("the dispatch routine returned without completing the IRP");

  if (major == IRP_MJ_DEVICE_CONTROL && !IsError(irp.IoStatus.Status)) {
    size_t count = irp.IoStatus.Information;
    if (count > output.size()) {
      kernel_.Fault("Information is larger than the output buffer");
      count = output.size();
    }
    std::copy_n(system_buffer.begin(), count, output.begin());
  }
  return Reply{returned, irp.IoStatus.Status, irp.IoStatus.Information, completions.count, completions.boost,
               std::move(output)};
}

}  // namespace kernel_host

extern "C" {

NTSTATUS NTAPI InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  irp->IoStatus.Information = 0;
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
  size_t length = source ? std::wcslen(source) * sizeof(WCHAR) : 0;
  destination->Length = static_cast<USHORT>(length);
  destination->MaximumLength = static_cast<USHORT>(source ? length + sizeof(WCHAR) : 0);
  destination->Buffer = const_cast<PWSTR>(source);
}

NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT driver, ULONG extension_size, PUNICODE_STRING name, ULONG type,
                              ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device) {
  return kernel_host::Kernel::Installed().CreateDevice(driver, extension_size, name, type, characteristics,
                                                       exclusive, device);
}

VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT device) { kernel_host::Kernel::Installed().DeleteDevice(device); }

NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING device) {
  return kernel_host::Kernel::Installed().CreateSymbolicLink(link, device);
}

NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING link) {
  return kernel_host::Kernel::Installed().DeleteSymbolicLink(link);
}

VOID FASTCALL IofCompleteRequest(PIRP irp, CCHAR boost) { kernel_host::Kernel::Installed().CompleteRequest(irp, boost); }

BOOLEAN NTAPI SeSinglePrivilegeCheck(LUID privilege, KPROCESSOR_MODE mode) {
  return kernel_host::Kernel::Installed().SinglePrivilegeCheck(privilege, mode) ? TRUE : FALSE;
}

BOOLEAN NTAPI SePrivilegeCheck(PPRIVILEGE_SET privileges, PSECURITY_SUBJECT_CONTEXT subject, KPROCESSOR_MODE mode) {
  return kernel_host::Kernel::Installed().SubjectPrivilegeCheck(privileges, subject, mode) ? TRUE : FALSE;
}

NTSTATUS NTAPI IoGetDeviceInterfaces(CONST GUID* guid, PDEVICE_OBJECT, ULONG, PWSTR* list) {
  return kernel_host::Kernel::Installed().GetDeviceInterfaces(guid, list);
}

VOID NTAPI ExFreePool(PVOID memory) { kernel_host::Kernel::Installed().FreePool(memory); }

NTSTATUS NTAPI IoGetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK, PFILE_OBJECT* file, PDEVICE_OBJECT* device) {
  return kernel_host::Kernel::Installed().GetDeviceObjectPointer(name, file, device);
}

PIRP NTAPI IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID, ULONG input_length, PVOID output,
                                         ULONG output_length, BOOLEAN internal, PKEVENT event,
                                         PIO_STATUS_BLOCK result) {
  return kernel_host::Kernel::Installed().BuildDeviceIoControlRequest(code, device, input_length, output,
                                                                      output_length, internal, event, result);
}

NTSTATUS FASTCALL IofCallDriver(PDEVICE_OBJECT device, PIRP irp) {
  return kernel_host::Kernel::Installed().CallDriver(device, irp);
}

NTSTATUS NTAPI IoRegisterPlugPlayNotification(IO_NOTIFICATION_EVENT_CATEGORY category, ULONG, PVOID data,
                                              PDRIVER_OBJECT, PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback,
                                              PVOID context, PVOID* entry) {
  return kernel_host::Kernel::Installed().RegisterNotification(category, data, callback, context, entry);
}

NTSTATUS NTAPI IoUnregisterPlugPlayNotification(PVOID entry) {
  return kernel_host::Kernel::Installed().UnregisterNotification(entry);
}

VOID NTAPI KeInitializeEvent(PKEVENT event, EVENT_TYPE, BOOLEAN state) { event->Signaled = state; }

NTSTATUS NTAPI KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
  return kernel_host::Kernel::Installed().Wait(object, timeout);
}

LONG_PTR FASTCALL ObfDereferenceObject(PVOID object) {
  kernel_host::Kernel::Installed().Dereference(object);
  return 0;
}

LARGE_INTEGER NTAPI KeQueryPerformanceCounter(PLARGE_INTEGER frequency) {
  LARGE_INTEGER now;
  int64_t ticks = 0;
  now.QuadPart = kernel_host::Kernel::Installed().QueryPerformanceCounter(frequency ? &ticks : nullptr);
  if (frequency) frequency->QuadPart = ticks;
  return now;
}

UCHAR NTAPI READ_PORT_UCHAR(PUCHAR port) {
  return kernel_host::Kernel::Installed().ReadPort(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(port)));
}

VOID NTAPI WRITE_PORT_UCHAR(PUCHAR port, UCHAR value) {
  kernel_host::Kernel::Installed().WritePort(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(port)), value);
}

}  // extern "C"

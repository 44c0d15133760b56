// A kernel for running a Windows driver's own C code on the host: the routines of
// ddk/wdm.h, the objects they make, an I/O bus for the port routines, and the I/O manager's
// side of loading a driver and sending it requests. Tests and the simulated PC install one
// Kernel and drive the driver through Driver.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ddk/ntifs.h"
#include "ddk/parallel.h"
#include "ddk/wdmguid.h"

namespace kernel_host {

/// The machine's I/O ports, where READ_PORT_UCHAR and WRITE_PORT_UCHAR go.
class PortBus {
 public:
  virtual ~PortBus() = default;
  virtual uint8_t Read(uint16_t port) = 0;
  virtual void Write(uint16_t port, uint8_t value) = 0;
};

/// One port access of the driver: the byte written, or the byte the bus answered.
struct PortAccess {
  bool write;
  uint16_t port;
  uint8_t value;
  bool operator==(const PortAccess&) const = default;
};

/// The privileges enabled in a token (SE_..._PRIVILEGE values): all a privilege check reads.
using Privileges = std::set<ULONG>;

/// The thread a request comes from, as the kernel sees it: the mode it called from and the
/// privileges enabled in its token.
struct Requestor {
  KPROCESSOR_MODE mode;
  Privileges enabled_privileges;
};

/// A user-mode client that enabled the load-driver privilege, as the loader's client does.
inline Requestor PrivilegedClient() { return {UserMode, {SE_LOAD_DRIVER_PRIVILEGE}}; }
/// A user-mode program whose token does not hold the privilege: a standard user, a
/// non-elevated administrator, or any program that did not enable it.
inline Requestor UnprivilegedClient() { return {UserMode, {}}; }

/// The token of a system worker thread (SYSTEM's): every privilege enabled.
Privileges SystemThreadToken();

/// A create as the I/O manager hands it to the driver. Who asked (the IRP's requestor mode and
/// the subject in its access state) can differ from the thread the dispatch routine runs on:
/// a filter or a worker may pass the request on from a system thread.
struct CreateRequest {
  Requestor requestor;
  /// The token of the thread the create runs on.
  Privileges thread;
  /// SL_FORCE_ACCESS_CHECK: judge as a user-mode request whatever the requestor mode.
  bool force_access_check = false;
  /// False: no IO_SECURITY_CONTEXT in the stack location, as Wine sends a create.
  bool security_context = true;
};

/// One privilege check the driver made, and its answer.
struct PrivilegeCheck {
  enum Of { Subject, Thread };
  ULONG privilege;
  KPROCESSOR_MODE mode;
  bool granted;
  /// Subject: SePrivilegeCheck on a subject context. Thread: SeSinglePrivilegeCheck, which
  /// judges the thread the driver runs on.
  Of of = Subject;
  bool operator==(const PrivilegeCheck&) const = default;
};

/// Kernel routines whose failure can be injected.
enum class Routine { IoCreateDevice, IoCreateSymbolicLink, IoGetDeviceInterfaces, IoRegisterPlugPlayNotification };

/// A port of Windows' parallel port driver, as a kernel client finds it: its interface (the
/// name IoGetDeviceObjectPointer opens), its answer to IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO and
/// its allocation. A test may set `allocated` itself: a print job holding the port.
struct ParallelPort {
  std::string interface_name;
  uint64_t base;          // OriginalController
  uint32_t span;          // SpanOfController
  uint64_t controller;    // Controller: the base itself for a port in I/O space
  NTSTATUS answer = STATUS_SUCCESS;  // of the information request
  bool pending = false;   // the request completes later, through the caller's event
  bool allocated = false;
};

/// A device object as IoCreateDevice was asked for it.
struct Device {
  std::string name;  // empty for an unnamed device
  ULONG extension_size;
  ULONG type;
  ULONG characteristics;
  bool exclusive;
  DEVICE_OBJECT* object;
};

/// The kernel a host-compiled driver calls. Constructing one installs it for the driver's
/// calls until it is destroyed; one at a time. Objects the driver leaves behind stay
/// visible here, so a test can tell a leak.
class Kernel {
 public:
  Kernel();
  ~Kernel();
  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  /// The bus behind the port routines; null (the start) is a bus where nothing answers:
  /// reads give 0xFF, writes are lost. Accesses are recorded either way.
  void ConnectPorts(PortBus* bus) { bus_ = bus; }
  /// What KeQueryPerformanceCounter reads, at `frequency` ticks per second. Until set, a
  /// counter at 10 MHz that moves on by one microsecond at each reading.
  void SetPerformanceCounter(std::function<int64_t()> read, int64_t frequency) {
    counter_ = std::move(read);
    frequency_ = frequency;
  }
  /// The next call of `routine` fails with `status` and changes nothing.
  void FailNext(Routine routine, NTSTATUS status);
  /// Who the following requests come from; PrivilegedClient() at the start.
  void SetRequestor(Requestor requestor) { requestor_ = std::move(requestor); }
  const Requestor& CurrentRequestor() const { return requestor_; }

  /// Adds a port of the parallel port driver, whose interface the next IoGetDeviceInterfaces
  /// lists; the port stays where it is for the kernel's life.
  ParallelPort& AddParallelPort(ParallelPort port);
  /// References the driver holds on the parallel ports' file objects.
  int ParallelPortReferences() const;
  /// Whether `port` is allocated, read under the kernel's lock: for a test whose driver runs on
  /// a second thread.
  bool Allocated(const ParallelPort& port) const;

  /// A port of the parallel port driver that arrives after load (a card plugged in): added as
  /// AddParallelPort does, and told to the driver's watches of the interface class.
  ParallelPort& ArriveParallelPort(ParallelPort port);
  /// The removal of `port`, as the PnP manager runs it: its query, told to the watches on the
  /// port's file objects; true when none vetoed and the driver holds no reference on the port
  /// any more, so that the removal could go on.
  bool QueryRemove(ParallelPort& port);
  /// The query's cancellation, told to the same watches.
  void CancelRemove(ParallelPort& port);
  /// The removal's completion, after a query or none (a surprise removal); the port is gone
  /// afterwards: its interface no longer opens and its routines must not be called.
  void CompleteRemove(ParallelPort& port);
  /// Plug and Play registrations the driver holds now.
  size_t Registrations() const;
  /// Timed waits of the driver that ran out (KeWaitForSingleObject with a timeout, on an event
  /// not set); each sleeps, so that a request on another thread goes on meanwhile.
  int Delays() const { return delays_; }
  /// System memory handed to the driver and not freed yet (interface lists).
  size_t OutstandingPool() const { return pool_.size(); }

  std::vector<Device> Devices() const;
  /// Symbolic link name -> the device name it points to.
  const std::map<std::string, std::string>& Links() const { return links_; }
  const std::vector<PortAccess>& PortAccesses() const { return port_accesses_; }
  void ClearPortAccesses() { port_accesses_.clear(); }
  const std::vector<PrivilegeCheck>& PrivilegeChecks() const { return privilege_checks_; }
  /// Ways the driver misused the kernel (deleting an unknown device, completing an IRP
  /// twice, Information larger than the output buffer...). Empty for a well-behaved driver.
  const std::vector<std::string>& Faults() const { return faults_; }

  /// The kernel currently installed; aborts when there is none, as no driver code runs then.
  static Kernel& Installed();

  // The routines of ddk/wdm.h land here.
  NTSTATUS CreateDevice(PDRIVER_OBJECT driver, ULONG extension_size, PUNICODE_STRING name, ULONG type,
                        ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device);
  void DeleteDevice(PDEVICE_OBJECT device);
  NTSTATUS CreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING device);
  NTSTATUS DeleteSymbolicLink(PUNICODE_STRING link);
  void CompleteRequest(PIRP irp, CCHAR boost);
  uint8_t ReadPort(uint16_t port);
  int64_t QueryPerformanceCounter(int64_t* frequency);
  void WritePort(uint16_t port, uint8_t value);
  /// Kernel mode passes; user mode passes when the current thread's token has it enabled.
  bool SinglePrivilegeCheck(LUID privilege, KPROCESSOR_MODE mode);
  /// Kernel mode passes; user mode passes when the subject's token (a Privileges here) has
  /// every privilege of the set enabled, and marks those used.
  bool SubjectPrivilegeCheck(PPRIVILEGE_SET privileges, PSECURITY_SUBJECT_CONTEXT subject, KPROCESSOR_MODE mode);

  NTSTATUS GetDeviceInterfaces(const GUID* guid, PWSTR* list);
  void FreePool(PVOID memory);
  NTSTATUS GetDeviceObjectPointer(PUNICODE_STRING name, PFILE_OBJECT* file, PDEVICE_OBJECT* device);
  PIRP BuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, ULONG input_length, PVOID output,
                                   ULONG output_length, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK result);
  NTSTATUS CallDriver(PDEVICE_OBJECT device, PIRP irp);
  /// Returns STATUS_TIMEOUT when `timeout` ran out first.
  NTSTATUS Wait(PVOID object, PLARGE_INTEGER timeout);
  void Dereference(PVOID object);
  BOOLEAN TryAllocatePort(ParallelPort* port);
  void FreePort(ParallelPort* port);
  NTSTATUS RegisterNotification(IO_NOTIFICATION_EVENT_CATEGORY category, PVOID data,
                                PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback, PVOID context, PVOID* entry);
  NTSTATUS UnregisterNotification(PVOID entry);

  /// Counts completions of an IRP between BeginRequest and EndRequest.
  void BeginRequest(PIRP irp);
  struct Completions {
    int count = 0;
    CCHAR boost = 0;
  };
  Completions EndRequest(PIRP irp);
  void Fault(std::string what) {
    std::lock_guard lock(faults_mutex_);
    faults_.push_back(std::move(what));
  }

 private:
  friend class Driver;
  struct DeviceRecord {
    Device device;
    std::unique_ptr<DEVICE_OBJECT> object;
    std::vector<unsigned char> extension;
  };
  struct PortRecord {
    ParallelPort port;
    DEVICE_OBJECT device{};
    std::vector<std::unique_ptr<FILE_OBJECT>> files;
    int references = 0;
    bool removed = false;
  };
  struct Registration {
    IO_NOTIFICATION_EVENT_CATEGORY category;
    PVOID data;  // the file object, or the interface class's GUID
    PDRIVER_NOTIFICATION_CALLBACK_ROUTINE callback;
    PVOID context;
  };
  // Tells the target device change `event` to the watches on `port`'s file objects; false
  // when one of them vetoed.
  bool TellTarget(ParallelPort& port, const GUID& event);
  // An IRP the driver built and has not sent yet: one stack location below the current one.
  struct BuiltIrp {
    IRP irp{};
    IO_STACK_LOCATION stack[2]{};
    ULONG code;
    PVOID output;
    ULONG output_length;
    bool internal;
    PKEVENT event;
    PIO_STATUS_BLOCK result;
  };
  PortRecord* PortOf(PVOID object) const;
  bool Failing(Routine routine, NTSTATUS* status);

  // Guards what a driver's notification on a second thread reaches beside a request on the
  // first: the ports, their references and allocation, the registrations, the journal.
  mutable std::mutex mutex_;
  std::map<PVOID, std::unique_ptr<Registration>> registrations_;
  std::atomic<int> delays_{0};
  std::mutex faults_mutex_;

  Kernel* previous_;
  PortBus* bus_ = nullptr;
  std::function<int64_t()> counter_;
  int64_t frequency_ = 10'000'000;
  int64_t steady_ = 0;  // the default counter
  Requestor requestor_ = PrivilegedClient();
  const Privileges* thread_ = nullptr;  // during a create; otherwise the requestor's own thread
  std::vector<PrivilegeCheck> privilege_checks_;
  std::map<Routine, NTSTATUS> failures_;
  std::vector<std::unique_ptr<DeviceRecord>> devices_;
  std::map<std::string, std::string> links_;
  std::vector<std::unique_ptr<PortRecord>> parallel_ports_;
  std::set<PVOID> pool_;
  std::map<PIRP, std::unique_ptr<BuiltIrp>> built_;
  std::vector<PortAccess> port_accesses_;
  std::map<PIRP, Completions> requests_;
  std::vector<std::string> faults_;
};

/// What came back from one request.
struct Reply {
  NTSTATUS returned;  // the dispatch routine's return value
  NTSTATUS status;    // IoStatus.Status
  ULONG_PTR information;
  int completions;    // IofCompleteRequest calls for this IRP
  CCHAR boost;        // the priority boost of the last of them
  std::vector<uint8_t> output;  // the caller's output buffer afterwards
  FILE_OBJECT* file = nullptr;  // of a create that succeeded: the open it made
};

/// The dispatch routine that every major function starts with, as the I/O manager's own:
/// completes the request with STATUS_INVALID_DEVICE_REQUEST.
extern "C" DRIVER_DISPATCH InvalidDeviceRequest;

/// One driver image, loaded and spoken to as the I/O manager would.
class Driver {
 public:
  Driver(Kernel& kernel, PDRIVER_INITIALIZE entry);

  /// Runs the entry point, with the service's registry path.
  NTSTATUS Load();
  /// Runs the unload routine, if the driver set one.
  void Unload();

  /// Requests go to the driver's first device, as a handle opened on it would send them.
  /// A create from the kernel's requestor, on its own thread, with its security context. One
  /// that succeeds makes a new open (a file object with FsContext null), which the following
  /// requests without a file use until the next such create or Use.
  Reply Create();
  Reply Create(CreateRequest request);
  /// The last request on an open; the file object is gone afterwards.
  Reply Close() { return Close(current_); }
  Reply Close(FILE_OBJECT* file);
  /// DeviceIoControl for METHOD_BUFFERED: one system buffer of the larger length, the input
  /// copied in, and on success Information bytes copied back to `output`, whose size is the
  /// output length and whose bytes are what the caller's buffer held before. A null `file` is
  /// a kernel-mode sender's request that carries no file object.
  Reply DeviceControl(ULONG code, std::vector<uint8_t> input, std::vector<uint8_t> output) {
    return DeviceControl(current_, code, std::move(input), std::move(output));
  }
  Reply DeviceControl(FILE_OBJECT* file, ULONG code, std::vector<uint8_t> input, std::vector<uint8_t> output);
  /// Makes `file` the open that requests without a file go to.
  void Use(FILE_OBJECT* file) { current_ = file; }
  FILE_OBJECT* Current() const { return current_; }

  DRIVER_OBJECT& Object() { return object_; }

 private:
  Reply Send(UCHAR major, FILE_OBJECT* file, ULONG code, const std::vector<uint8_t>& input,
             std::vector<uint8_t> output, CreateRequest* create = nullptr);

  Kernel& kernel_;
  DRIVER_OBJECT object_{};
  std::vector<std::unique_ptr<FILE_OBJECT>> files_;
  FILE_OBJECT* current_ = nullptr;
};

}  // namespace kernel_host

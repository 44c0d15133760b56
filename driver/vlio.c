/*
 * vlio: lets a user-mode program read and write single bytes at the registers of a parallel
 * port, which Windows NT keeps from it. One device, \Device\vlio, reachable as \\.\vlio, takes
 * four buffered device controls: a claim of a port by its base address, a read and a write of
 * one of its registers, and a sampling of its registers; everything else about the file is the
 * I/O manager's default.
 *
 * Why sampling. A request costs more than the register read it carries (a few microseconds on
 * Windows, a third of a millisecond under Wine, against about one on the bus), so a program
 * that watches the lines over time through reads sees far less than the port shows. The
 * sampling request reads the named registers round after round in the caller's thread at
 * passive level, for a bounded number of rounds and at most VLIO_SAMPLE_MAX_MICROSECONDS, and
 * answers with the values where they changed, stamped by the performance counter
 * (KeQueryPerformanceCounter, read every few rounds rather than every read, as it may cost
 * more than one); a span in which the loop was stopped (preempted) is reported, not hidden.
 * The loop itself is vlio_sample.c, free of the kernel.
 *
 * Which ports. Only parallel ports: a driver that reaches any I/O port reaches the registers of
 * devices that read and write memory by DMA, and the chipset's power-management, SMBus and
 * GPIO blocks, which is what gets port drivers blocklisted; a list of what to refuse is never
 * complete, a list of what to serve can be. Served are the ports Windows' own parallel port
 * driver knows, as it tells a kernel client (GUID_PARALLEL_DEVICE and
 * IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO, asked at load), and the three legacy bases with
 * their standard spans, for a port set by hand where no parallel driver is bound (and under
 * Wine, which has none). An open (a file object) reaches only the port it has claimed, and holds
 * it from everybody else while it does: through the parallel driver's own allocation routine, so
 * that a print job and Pinscope never drive one port at once, or through a hold of this driver's
 * for a legacy port the parallel driver does not know. The claim lives in the file object's
 * context and goes in the close routine, which the I/O manager sends once every request on the
 * file object has completed, whatever ended the program. Any other port is refused with
 * STATUS_ACCESS_DENIED and touched nowhere. The machine's own fixed ports (VlioSystemPorts in
 * vlio_ioctl.h) and a write to the Plug and Play ISA address port (VLIO_PNP_ADDRESS_PORT) stay
 * refused as well, should a port's reported range ever reach one.
 *
 * When Windows may own a legacy base. This driver's own hold keeps only its own opens apart;
 * a print job would drive the port beside it. So a legacy base is held that way only while
 * every parallel port Windows lists was described here: one that could not be (it did not
 * answer, its registers are not I/O ports, the table is full, it arrived after load) may sit at
 * that base, and then every claim of a legacy base the parallel driver did not describe is
 * refused with STATUS_CONFLICTING_ADDRESSES. An open that already holds one keeps it until it
 * closes or claims again: taking it away mid-use would help nobody, as the arrived port's driver
 * cannot know of it either way. Pinscope loads the driver at each open, so the next open
 * describes the newcomer.
 *
 * Ports that go away. Each described port is watched (target device change notification on the
 * file object held open on it). At a query-remove, or a removal with no query (surprise
 * removal), the port stops being served: requests in flight on it are waited for (each is
 * bounded, a sampling at 50 ms), the open that holds it lets it go through the parallel
 * driver's FreePort, and the file object is let go so that the removal can proceed; from then
 * on its registers and claims are refused with STATUS_DEVICE_REMOVED. A cancelled removal
 * opens the port again by its interface name and serves it again; the open that held it must
 * claim it again.
 *
 * One request at a time per open. A claim changes what an open may reach, so it must not run
 * beside another request of the same open (one opened for overlapped I/O may send several at
 * once): a flag in the file object (FsContext2), taken by compare-exchange at the start of each
 * device control, makes a second one fail with STATUS_DEVICE_BUSY, with no allocation or lock.
 *
 * Who may open it. A handle to this device is still worth much more than a user's, so only
 * a caller that could load a driver itself gets one: the create routine asks whether the
 * subject of the open, as the access state captured it when the open began, has the
 * load-driver privilege enabled (SePrivilegeCheck): SYSTEM, or an elevated administrator
 * whose client enabled it before the open (a standard or non-elevated token does not hold it
 * at all). The subject, not the thread the create runs on: a filter or worker may pass the
 * request on from a system thread, whose own token would pass. The check is made as for user
 * mode when the request came from user mode or carries SL_FORCE_ACCESS_CHECK (a kernel
 * component opening on a user's behalf); only a kernel-mode open that asks for no check is
 * let through unchecked. Every other open fails with STATUS_ACCESS_DENIED, before any request
 * can reach a port. The subject context is read without SeLockSubjectContext: its tokens
 * stay referenced for the whole create, and Wine's kernel has no lock routines (they raise).
 * A create without a security context never comes from Windows' I/O manager, which always
 * builds one; Wine's sends none (and ignores a create's status). Such a create is judged as
 * before, by the token of the thread it runs on (SeSinglePrivilegeCheck, in the same mode), so
 * that it is never let through more easily than that, and the program still runs under Wine.
 * Why a check in the create routine rather than a security descriptor on the device: it is
 * two kernel imports, where an explicit descriptor needs IoCreateDeviceSecure (a static
 * library MinGW does not have) or half a dozen Rtl/Ob/Zw routines and an ACL to build; it
 * holds for every name that reaches the device, "\Device\vlio\anything" included; and it
 * asks exactly "could this caller load a driver itself", not "is it in a group". The device is
 * still made with FILE_DEVICE_SECURE_OPEN, so that the system's default descriptor guards the
 * names below the device too, should the check ever change.
 */
/* SePrivilegeCheck is declared here in MinGW's headers. */
#include <ddk/ntifs.h>

/* Every port access goes through these two, so that the virtual-port flavour can answer
   from simulated ports instead of the bus. */
#ifdef VLIO_VIRTUAL_PORT
#include "vlio_virtual.h"
#define VLIO_READ_PORT(port) VlioVirtualRead(port)
#define VLIO_WRITE_PORT(port, value) VlioVirtualWrite((port), (value))
#else
#define VLIO_READ_PORT(port) READ_PORT_UCHAR((PUCHAR)(ULONG_PTR)(port))
#define VLIO_WRITE_PORT(port, value) WRITE_PORT_UCHAR((PUCHAR)(ULONG_PTR)(port), (value))
#endif

/* The two names, the tables of ports and the interface GUID live in the code section of the
   Windows images, packed at 4 bytes rather than the 32 GCC gives an array: read-only data of
   their own, or the padding, would cost the i386 image one more 128-byte block. */
#ifdef _WIN32
#define VLIO_IN_CODE __attribute__((section(".text$names"), aligned(4)))
#else
#define VLIO_IN_CODE
#endif
#define VLIO_TABLE_SECTION VLIO_IN_CODE
#include "vlio_ioctl.h"
#include "vlio_sample.h"

/* The parallel port interface's GUID (ntddpar.h, which parallel.h includes) and the Plug and
   Play events' (wdmguid.h) are defined in the image, as the system's headers give them, and
   beside the names, not in a library or a section of their own; those not used are dropped. */
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name VLIO_IN_CODE __attribute__((unused)) = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#include <ddk/parallel.h>
#include <ddk/wdmguid.h>

static const WCHAR DeviceNameText[] VLIO_IN_CODE = VLIO_DEVICE_NAME;
static const WCHAR LinkNameText[] VLIO_IN_CODE = VLIO_LINK_NAME;

DRIVER_INITIALIZE DriverEntry;
DRIVER_DISPATCH VlioCreate;
DRIVER_DISPATCH VlioClose;
DRIVER_DISPATCH VlioDeviceControl;
DRIVER_UNLOAD VlioUnload;

/* A port's registers beyond the first eight are not its own (0x3BC + 4 is the display's). */
#define VLIO_MAX_SPAN 8

/* A served port: its registers and how an open holds it. */
typedef struct VLIO_PORT {
  USHORT First;
  USHORT Last;
  /* The parallel port driver's allocation routines and their context; NULL for a legacy port
     that this driver holds itself. */
  PPARALLEL_TRY_ALLOCATE_ROUTINE TryAllocate;
  PPARALLEL_FREE_ROUTINE Free;
  PVOID Context;
  /* The open that holds the port: for a port of the parallel driver's, set once TryAllocate
     granted it, and whoever swaps it back to NULL (the open's close or next claim, or the
     port's removal) calls Free; for a legacy port of this driver's own, the hold itself. */
  PFILE_OBJECT Holder;
  /* Requests inside the port now, and whether it is withdrawn (being removed, or removed): a
     removal waits for the one to reach 0 once the other is set. */
  LONG Users;
  LONG Gone;
#ifndef VLIO_VIRTUAL_PORT
  /* The parallel port driver's port, kept open while its routines may be called, its
     notification, and its interface name (in the system's list, kept for opening the port
     again after a cancelled removal); NULL for a legacy port of this driver's own. */
  PFILE_OBJECT File;
  PVOID Notification;
  PDRIVER_OBJECT Driver;
  PWSTR Name;
#endif
} VLIO_PORT;

/* The device's extension: the served ports, filled at load, the ports Windows knows first. A
   fixed table in the memory IoCreateDevice gives the device (zeroed), as the driver allocates
   none of its own; not a global, since the i386 image keeps its sections where the file has them
   and an uninitialised one would have none. An open's claim is a pointer into it, in its file
   object's FsContext; the device outlives every open. */
typedef struct VLIO_EXTENSION {
  ULONG PortCount;
  /* 1 once a parallel port Windows lists may sit where this driver would hold a legacy base. */
  LONG Withhold;
#ifndef VLIO_VIRTUAL_PORT
  /* The watch for parallel port interfaces, and the system's list of them at load. */
  PVOID Arrivals;
  PWSTR Interfaces;
#endif
  VLIO_PORT Ports[VLIO_MAX_KNOWN_PORTS + VLIO_LEGACY_PORT_COUNT];
} VLIO_EXTENSION;

/* The served port whose base is `Base`, or NULL. */
static VLIO_PORT *VlioFindPort(VLIO_EXTENSION *Served, USHORT Base)
{
  ULONG i;
  for (i = 0; i < Served->PortCount; ++i) {
    if (Served->Ports[i].First == Base)
      return &Served->Ports[i];
  }
  return NULL;
}

/* Enters `Port` for one request, unless it is withdrawn; the port's routines and registers may
   be used until VlioLeave. */
static BOOLEAN VlioEnter(VLIO_PORT *Port)
{
  InterlockedIncrement(&Port->Users);
  if (InterlockedCompareExchange(&Port->Gone, 0, 0) == 0)
    return TRUE;
  InterlockedDecrement(&Port->Users);
  return FALSE;
}

static VOID VlioLeave(VLIO_PORT *Port)
{
  InterlockedDecrement(&Port->Users);
}

/* Lets go of `Port` if `File` holds it; a withdrawn port was let go by its removal. */
static VOID VlioRelease(VLIO_PORT *Port, PFILE_OBJECT File)
{
  if (Port == NULL || !VlioEnter(Port))
    return;
  if (InterlockedCompareExchangePointer((PVOID volatile *)&Port->Holder, NULL, File) == File && Port->Free != NULL)
    Port->Free(Port->Context);
  VlioLeave(Port);
}

#ifndef VLIO_VIRTUAL_PORT
DRIVER_NOTIFICATION_CALLBACK_ROUTINE VlioPortChange;
DRIVER_NOTIFICATION_CALLBACK_ROUTINE VlioInterfaceChange;

/* The Plug and Play event of `Notification`, told by the first field of its GUID: the events
   of wdmguid.h differ only there. 0 for any other GUID. */
static __attribute__((noinline)) ULONG VlioEventOf(PVOID Notification)
{
  const ULONG *got = (const ULONG *)&((PPLUGPLAY_NOTIFICATION_HEADER)Notification)->Event;
  const ULONG *event = (const ULONG *)&GUID_DEVICE_INTERFACE_ARRIVAL;
  return got[1] == event[1] && got[2] == event[2] && got[3] == event[3] ? got[0] : 0;
}

/* Lets go of the parallel port driver's port that `Port` holds open, if any. One call site for
   the kernel routine: each costs the i386 image a fixup. */
static __attribute__((noinline)) VOID VlioLetGo(VLIO_PORT *Port)
{
  PFILE_OBJECT file = Port->File;
  Port->File = NULL;
  if (file != NULL)
    ObDereferenceObject(file);
}

/* Ends the watch `*Notification`, if any. */
static __attribute__((noinline)) VOID VlioUnwatch(PVOID *Notification)
{
  if (*Notification != NULL)
    IoUnregisterPlugPlayNotification(*Notification);
  *Notification = NULL;
}

/* Opens the parallel port whose interface is `Name` into `Port` and asks it for its registers
   and allocation routines (the internal request, waited for here at passive level). True when
   its registers are I/O ports that fit: Controller, the address the port driver reaches them by,
   is then the port number itself. On false the file object is let go again. */
static BOOLEAN VlioDescribePort(VLIO_PORT *Port, PUNICODE_STRING Name)
{
  PARALLEL_PORT_INFORMATION info;
  IO_STATUS_BLOCK result;
  KEVENT done;
  PDEVICE_OBJECT device;
  PIRP irp;
  NTSTATUS status;
  ULONG base;
  ULONG span;

  if (!NT_SUCCESS(IoGetDeviceObjectPointer(Name, FILE_READ_ATTRIBUTES, &Port->File, &device)))
    return FALSE;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO, device, NULL, 0, &info, sizeof info,
                                      TRUE, &done, &result);
  status = STATUS_INSUFFICIENT_RESOURCES;
  if (irp != NULL) {
    IoGetNextIrpStackLocation(irp)->FileObject = Port->File;
    status = IoCallDriver(device, irp);
    if (status == STATUS_PENDING) {
      KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
      status = result.Status;
    }
  }
  /* A base of 1 to 0xFFFF whose span of at least one register ends by 0xFFFF, in 32-bit
     arithmetic (64-bit is long-winded on i386). */
  base = info.OriginalController.LowPart;
  span = info.SpanOfController;
  if (NT_SUCCESS(status) && info.OriginalController.HighPart == 0 && base - 1 < 0xFFFF && span - 1 < 0x10000 - base &&
      (ULONG_PTR)info.Controller == base) {
    Port->First = (USHORT)base;
    Port->Last = (USHORT)(base + (span < VLIO_MAX_SPAN ? span : VLIO_MAX_SPAN) - 1);
    Port->TryAllocate = info.TryAllocatePort;
    Port->Free = info.FreePort;
    Port->Context = info.Context;
    return TRUE;
  }
  VlioLetGo(Port);
  return FALSE;
}

/* Watches the parallel port open as `File` for its removal, on behalf of `Port`; false when
   Windows would not tell. */
static BOOLEAN VlioWatchPort(VLIO_PORT *Port, PFILE_OBJECT File, PVOID *Notification)
{
  return NT_SUCCESS(IoRegisterPlugPlayNotification(EventCategoryTargetDeviceChange, 0, File, Port->Driver,
                                                   VlioPortChange, Port, Notification));
}

/* Serves the parallel port whose interface is `Name` in the next free entry, when it can be
   described and watched and no served port has its base (the same port by another name would
   be a port this driver cannot tell apart); false when Windows' port there stays unknown to
   this driver. */
static BOOLEAN VlioAddKnownPort(VLIO_EXTENSION *Served, PDRIVER_OBJECT Driver, PUNICODE_STRING Name)
{
  VLIO_PORT *port = &Served->Ports[Served->PortCount];

  if (Served->PortCount == VLIO_MAX_KNOWN_PORTS || !VlioDescribePort(port, Name))
    return FALSE;
  port->Driver = Driver;
  port->Name = Name->Buffer;
  if (VlioFindPort(Served, port->First) == NULL && VlioWatchPort(port, port->File, &port->Notification)) {
    ++Served->PortCount;
    return TRUE;
  }
  VlioLetGo(port);
  return FALSE;
}

/* Stops serving `Port`: no new request enters, those inside are waited for, the open that holds
   it lets it go, and the port's file object is let go so that Windows can remove it. */
static VOID VlioWithdrawPort(VLIO_PORT *Port)
{
  LARGE_INTEGER tick;
  KEVENT never;

  if (InterlockedExchange(&Port->Gone, 1) != 0)
    return;
  /* A millisecond at a time, on an event nothing sets. */
  tick.QuadPart = -10000;
  KeInitializeEvent(&never, NotificationEvent, FALSE);
  while (InterlockedCompareExchange(&Port->Users, 0, 0) != 0)
    KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &tick);
  if (InterlockedExchangePointer((PVOID volatile *)&Port->Holder, NULL) != NULL)
    Port->Free(Port->Context);
  VlioLetGo(Port);
}

/* After a cancelled removal: opens the port again and serves it again, as Windows describes it
   now; it stays withdrawn when that fails. */
static VOID VlioRestorePort(VLIO_PORT *Port)
{
  UNICODE_STRING name;
  PVOID notification;

  if (Port->File != NULL || InterlockedCompareExchange(&Port->Gone, 0, 0) == 0)
    return;
  RtlInitUnicodeString(&name, Port->Name);
  if (!VlioDescribePort(Port, &name))
    return;
  if (!VlioWatchPort(Port, Port->File, &notification)) {
    VlioLetGo(Port);
    return;
  }
  /* The old registration was on the file object let go at the query. */
  VlioUnwatch(&Port->Notification);
  Port->Notification = notification;
  InterlockedExchange(&Port->Gone, 0);
}

/*
 * VlioPortChange: a served port's target device change. A query-remove withdraws it (never
 * vetoed), a cancelled removal serves it again, a completed one (after a query or none, as at
 * a surprise removal) withdraws it for good and ends the watch.
 */
NTSTATUS NTAPI VlioPortChange(PVOID Notification, PVOID Context)
{
  VLIO_PORT *port = Context;
  ULONG event = VlioEventOf(Notification);

  if (event == GUID_TARGET_DEVICE_QUERY_REMOVE.Data1) {
    VlioWithdrawPort(port);
  } else if (event == GUID_TARGET_DEVICE_REMOVE_CANCELLED.Data1) {
    VlioRestorePort(port);
  } else if (event == GUID_TARGET_DEVICE_REMOVE_COMPLETE.Data1) {
    VlioWithdrawPort(port);
    VlioUnwatch(&port->Notification);
  }
  return STATUS_SUCCESS;
}

/*
 * VlioInterfaceChange: a parallel port interface arrived after load. Its port may sit at a
 * legacy base, so no legacy base is held by this driver's own flag any more.
 */
NTSTATUS NTAPI VlioInterfaceChange(PVOID Notification, PVOID Context)
{
  if (VlioEventOf(Notification) == GUID_DEVICE_INTERFACE_ARRIVAL.Data1)
    InterlockedExchange(&((VLIO_EXTENSION *)Context)->Withhold, 1);
  return STATUS_SUCCESS;
}

/* The ports Windows' parallel port driver knows, and a watch for those that come later. Any
   that cannot be served here makes the legacy bases withheld. Without a parallel port interface
   (none bound, Wine) there is nothing to serve. */
static VOID VlioFindKnownPorts(VLIO_EXTENSION *Served, PDRIVER_OBJECT Driver)
{
  PWSTR list;
  PWSTR name;
  UNICODE_STRING text;
  NTSTATUS status;

  /* Watched first, so that no port arrives unseen between the list and the watch. A kernel
     that has neither (Wine stubs both with STATUS_NOT_IMPLEMENTED) has no parallel port
     driver; any other failure leaves unknown what Windows lists. */
  status = IoRegisterPlugPlayNotification(EventCategoryDeviceInterfaceChange, 0, (PVOID)&GUID_PARALLEL_DEVICE, Driver,
                                          VlioInterfaceChange, Served, &Served->Arrivals);
  if (!NT_SUCCESS(status) && status != STATUS_NOT_IMPLEMENTED)
    Served->Withhold = 1;
  status = IoGetDeviceInterfaces(&GUID_PARALLEL_DEVICE, NULL, 0, &list);
  if (!NT_SUCCESS(status)) {
    if (status != STATUS_NOT_IMPLEMENTED)
      Served->Withhold = 1;
    return;
  }
  /* Kept until unload: the served ports' names point into it. */
  Served->Interfaces = list;
  for (name = list; *name != L'\0'; name += text.Length / sizeof(WCHAR) + 1) {
    RtlInitUnicodeString(&text, name);
    if (!VlioAddKnownPort(Served, Driver, &text))
      Served->Withhold = 1;
  }
}
#endif

/* Fills the table of served ports: those Windows' parallel port driver knows, then the legacy
   bases it does not. The virtual-port flavour serves its own ports at the legacy bases and asks
   Windows for nothing: it never touches a real port, so it must not hold one from a print job. */
static VOID VlioFindPorts(VLIO_EXTENSION *Served, PDRIVER_OBJECT Driver)
{
  ULONG i;

#ifndef VLIO_VIRTUAL_PORT
  VlioFindKnownPorts(Served, Driver);
#else
  UNREFERENCED_PARAMETER(Driver);
#endif
  for (i = 0; i < VLIO_LEGACY_PORT_COUNT; ++i) {
    VLIO_PORT *port = &Served->Ports[Served->PortCount];
    if (VlioFindPort(Served, VlioLegacyPorts[i].First) != NULL)
      continue;
    port->First = VlioLegacyPorts[i].First;
    port->Last = VlioLegacyPorts[i].Last;
    ++Served->PortCount;
  }
}

/*
 * DriverEntry: makes the device and its Win32 link, then finds the ports it serves. Fails
 * with the kernel's status, leaving nothing behind; finding no parallel port is no failure.
 */
NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath)
{
  UNICODE_STRING deviceName;
  UNICODE_STRING linkName;
  PDEVICE_OBJECT deviceObject;
  NTSTATUS status;

  UNREFERENCED_PARAMETER(RegistryPath);

  RtlInitUnicodeString(&linkName, LinkNameText);
  RtlInitUnicodeString(&deviceName, DeviceNameText);

  status = IoCreateDevice(DriverObject, sizeof(VLIO_EXTENSION), &deviceName, FILE_DEVICE_UNKNOWN,
                          FILE_DEVICE_SECURE_OPEN, FALSE, &deviceObject);
  if (!NT_SUCCESS(status))
    return status;

  status = IoCreateSymbolicLink(&linkName, &deviceName);
  if (!NT_SUCCESS(status)) {
    /* The driver is not loaded after a failed DriverEntry, so nothing else would free it. */
    IoDeleteDevice(deviceObject);
    return status;
  }

  DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = VlioDeviceControl;
  DriverObject->MajorFunction[IRP_MJ_CREATE] = VlioCreate;
  DriverObject->MajorFunction[IRP_MJ_CLOSE] = VlioClose;
  DriverObject->DriverUnload = VlioUnload;
  VlioFindPorts(deviceObject->DeviceExtension, DriverObject);
  return STATUS_SUCCESS;
}

/*
 * VlioCreate: opens the device for a subject that could load a driver itself (see the top of
 * this file); STATUS_ACCESS_DENIED for any other. The open starts with no port claimed: the
 * I/O manager hands over a file object whose FsContext is NULL.
 */
NTSTATUS NTAPI VlioCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  PIO_SECURITY_CONTEXT security = stack->Parameters.Create.SecurityContext;
  /* The requestor mode, not KernelMode, so that a user-mode open is judged by its token; user
     mode also when a kernel component opens on a user's behalf and asks for the check. */
  KPROCESSOR_MODE mode = (stack->Flags & SL_FORCE_ACCESS_CHECK) ? UserMode : Irp->RequestorMode;
  LUID privilege = RtlConvertLongToLuid(SE_LOAD_DRIVER_PRIVILEGE);
  NTSTATUS status = STATUS_ACCESS_DENIED;
  BOOLEAN granted;

  UNREFERENCED_PARAMETER(DeviceObject);

  if (security != NULL && security->AccessState != NULL) {
    PRIVILEGE_SET required;
    required.PrivilegeCount = 1;
    required.Control = PRIVILEGE_SET_ALL_NECESSARY;
    required.Privilege[0].Luid = privilege;
    required.Privilege[0].Attributes = 0;
    granted = SePrivilegeCheck(&required, &security->AccessState->SubjectSecurityContext, mode);
  } else {
    granted = SeSinglePrivilegeCheck(privilege, mode);
  }
  if (granted)
    status = STATUS_SUCCESS;
  Irp->IoStatus.Status = status;
  Irp->IoStatus.Information = 0;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

/*
 * VlioClose: lets go of the port the open holds. The I/O manager sends it once every request
 * on the file object has completed, also for a process that was killed; Wine sends no cleanup
 * request at all, so this is the one place.
 */
NTSTATUS NTAPI VlioClose(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
  PFILE_OBJECT file = IoGetCurrentIrpStackLocation(Irp)->FileObject;
  VLIO_PORT *held = InterlockedExchangePointer(&file->FsContext, NULL);

  UNREFERENCED_PARAMETER(DeviceObject);

  VlioRelease(held, file);
  Irp->IoStatus.Status = STATUS_SUCCESS;
  Irp->IoStatus.Information = 0;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return STATUS_SUCCESS;
}

/* A claim of the port the open already holds succeeds at once; one of another takes it first
   and then lets the old one go, so a refused claim leaves the open as it was. */
static NTSTATUS VlioClaimPort(VLIO_EXTENSION *Served, PIRP Irp, PFILE_OBJECT File, ULONG InputLength)
{
  VLIO_CLAIM_INPUT *request = Irp->AssociatedIrp.SystemBuffer;
  VLIO_PORT *port;
  VLIO_PORT *held = File->FsContext;
  NTSTATUS status = STATUS_SUCCESS;

  if (InputLength < sizeof(VLIO_CLAIM_INPUT))
    return STATUS_INVALID_PARAMETER;
  port = VlioFindPort(Served, request->Base);
  if (port == NULL)
    return STATUS_ACCESS_DENIED;
  if (port->TryAllocate == NULL && InterlockedCompareExchange(&Served->Withhold, 0, 0) != 0)
    return STATUS_CONFLICTING_ADDRESSES;
  if (!VlioEnter(port))
    return STATUS_DEVICE_REMOVED;
  if (port->Holder != File) {
    /* A legacy port of this driver's own is held by taking its Holder. */
    if (port->TryAllocate == NULL
            ? InterlockedCompareExchangePointer((PVOID volatile *)&port->Holder, File, NULL) != NULL
            : !port->TryAllocate(port->Context)) {
      status = STATUS_DEVICE_BUSY;
    } else {
      InterlockedExchangePointer((PVOID volatile *)&port->Holder, File);
      File->FsContext = port;
      if (held != port)
        VlioRelease(held, File);
    }
  }
  VlioLeave(port);
  return status;
}

/* The port numbers a read, write or sampling request begins with. The layouts are byte-packed,
   but each begins with them, and the system buffer they arrive in is pool memory, aligned. */
#define VLIO_PORTS_OF(request) ((const USHORT *)(PVOID)(request))
_Static_assert(offsetof(VLIO_READ_INPUT, Port) == 0 && offsetof(VLIO_WRITE_INPUT, Port) == 0 &&
                   offsetof(VLIO_SAMPLE_INPUT, Registers) == 0,
               "each request begins with its port numbers");

/* The port the open holds, entered for this request, when the `Count` registers at `Ports` are
   all its own and none of the machine's; NULL with the reason in *Status otherwise
   (STATUS_DEVICE_REMOVED once its removal let it go, also after a cancelled removal brought it
   back for a new claim). */
static VLIO_PORT *VlioEnterRegisters(PFILE_OBJECT File, const USHORT *Ports, ULONG Count, NTSTATUS *Status)
{
  VLIO_PORT *held = File->FsContext;
  ULONG i;

  *Status = STATUS_ACCESS_DENIED;
  for (i = 0; i < Count; ++i) {
    if (held == NULL || Ports[i] < held->First || Ports[i] > held->Last || VlioIsSystemPort(Ports[i]))
      return NULL;
  }
  *Status = STATUS_DEVICE_REMOVED;
  if (!VlioEnter(held))
    return NULL;
  if (held->Holder == File)
    return held;
  VlioLeave(held);
  return NULL;
}

/* A request too short to name a port and hold the answer (or the value) is invalid; one that
   names a register of no port this open holds is refused. Neither touches a port. */
static NTSTATUS VlioReadPort(PIRP Irp, PFILE_OBJECT File, ULONG InputLength, ULONG OutputLength)
{
  VLIO_READ_INPUT *request = Irp->AssociatedIrp.SystemBuffer;
  VLIO_PORT *port;
  NTSTATUS status;

  if (InputLength < sizeof(VLIO_READ_INPUT) || OutputLength < sizeof(UCHAR))
    return STATUS_INVALID_PARAMETER;
  port = VlioEnterRegisters(File, VLIO_PORTS_OF(request), 1, &status);
  if (port == NULL)
    return status;
  /* The answer overwrites the request: buffered I/O has one buffer for both. */
  *(PUCHAR)Irp->AssociatedIrp.SystemBuffer = VLIO_READ_PORT(request->Port);
  VlioLeave(port);
  Irp->IoStatus.Information = sizeof(UCHAR);
  return STATUS_SUCCESS;
}

static NTSTATUS VlioWritePort(PIRP Irp, PFILE_OBJECT File, ULONG InputLength)
{
  VLIO_WRITE_INPUT *request = Irp->AssociatedIrp.SystemBuffer;
  VLIO_PORT *port;
  NTSTATUS status;

  if (InputLength < sizeof(VLIO_WRITE_INPUT))
    return STATUS_INVALID_PARAMETER;
  if (request->Port == VLIO_PNP_ADDRESS_PORT)
    return STATUS_ACCESS_DENIED;
  port = VlioEnterRegisters(File, VLIO_PORTS_OF(request), 1, &status);
  if (port == NULL)
    return status;
  VLIO_WRITE_PORT(request->Port, request->Value);
  VlioLeave(port);
  return STATUS_SUCCESS;
}

/* The sampling loop's register and counter, here in the kernel. */
static uint8_t VlioSampleRead(void *Context, uint16_t Port)
{
  UNREFERENCED_PARAMETER(Context);
  return VLIO_READ_PORT(Port);
}

static int64_t VlioSampleCounter(void *Context)
{
  UNREFERENCED_PARAMETER(Context);
  return KeQueryPerformanceCounter(NULL).QuadPart;
}

/* An ill-formed request is invalid; one that names a register of no port this open holds is
   refused. Neither touches a port. The answer overwrites the request, once the loop has taken
   it in. */
static NTSTATUS VlioSamplePort(PIRP Irp, PFILE_OBJECT File, ULONG InputLength, ULONG OutputLength)
{
  VLIO_SAMPLE_INPUT *request = Irp->AssociatedIrp.SystemBuffer;
  LARGE_INTEGER frequency;
  VLIO_PORT *port;
  NTSTATUS status;

  if (!VlioSampleInputValid(request, InputLength, OutputLength))
    return STATUS_INVALID_PARAMETER;
  port = VlioEnterRegisters(File, VLIO_PORTS_OF(request), request->Count, &status);
  if (port == NULL)
    return status;
  KeQueryPerformanceCounter(&frequency);
  Irp->IoStatus.Information = VlioSample(request, Irp->AssociatedIrp.SystemBuffer, OutputLength, frequency.QuadPart,
                                         VlioSampleRead, VlioSampleCounter, NULL);
  VlioLeave(port);
  return STATUS_SUCCESS;
}

/*
 * VlioDeviceControl: routes the four control codes; any other fails, and so does a short
 * request, one for a register of no port the open holds, one without an open (a kernel-mode
 * sender that set no file object) and one while another request of the same open runs.
 * Information stays 0 unless a port was read, so the I/O manager copies back only what the
 * driver wrote.
 */
NTSTATUS NTAPI VlioDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  PFILE_OBJECT file = stack->FileObject;
  ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  NTSTATUS status;

  Irp->IoStatus.Information = 0;
  if (file == NULL) {
    status = STATUS_INVALID_DEVICE_REQUEST;
  } else if (InterlockedCompareExchangePointer(&file->FsContext2, file, NULL) != NULL) {
    status = STATUS_DEVICE_BUSY;
  } else {
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_VLIO_CLAIM:
      status = VlioClaimPort(DeviceObject->DeviceExtension, Irp, file, inputLength);
      break;
    case IOCTL_VLIO_READ:
      status = VlioReadPort(Irp, file, inputLength, outputLength);
      break;
    case IOCTL_VLIO_WRITE:
      status = VlioWritePort(Irp, file, inputLength);
      break;
    case IOCTL_VLIO_SAMPLE:
      status = VlioSamplePort(Irp, file, inputLength, outputLength);
      break;
    default:
      status = STATUS_UNSUCCESSFUL;
      break;
    }
    InterlockedExchangePointer(&file->FsContext2, NULL);
  }

  Irp->IoStatus.Status = status;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

/*
 * VlioUnload: ends the watches and lets the parallel ports go that DriverEntry opened, and
 * removes the link and the device. No open is left then, so no port is held.
 */
VOID NTAPI VlioUnload(PDRIVER_OBJECT DriverObject)
{
  VLIO_EXTENSION *served = DriverObject->DeviceObject->DeviceExtension;
  UNICODE_STRING linkName;
#ifndef VLIO_VIRTUAL_PORT
  ULONG i;

  VlioUnwatch(&served->Arrivals);
  for (i = 0; i < served->PortCount; ++i) {
    VlioUnwatch(&served->Ports[i].Notification);
    VlioLetGo(&served->Ports[i]);
  }
  if (served->Interfaces != NULL)
    ExFreePool(served->Interfaces);
#else
  UNREFERENCED_PARAMETER(served);
#endif

  RtlInitUnicodeString(&linkName, LinkNameText);
  IoDeleteSymbolicLink(&linkName);
  IoDeleteDevice(DriverObject->DeviceObject);
}

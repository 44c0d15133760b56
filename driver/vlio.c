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
 * IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO, asked once at load), and the three legacy bases with
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
 * holds for every name that reaches the device, "\Device\vlio\anything" included, which
 * a descriptor covers only with FILE_DEVICE_SECURE_OPEN; and it asks exactly "could this
 * caller load a driver itself", not "is it in a group".
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

/* The parallel port interface's GUID (ntddpar.h, which parallel.h includes) is defined in the
   image, as the system's header gives it, and beside the names, not in a library or a section
   of its own. */
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  static const GUID name VLIO_IN_CODE = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#include <ddk/parallel.h>

static const WCHAR DeviceNameText[] VLIO_IN_CODE = VLIO_DEVICE_NAME;
static const WCHAR LinkNameText[] VLIO_IN_CODE = VLIO_LINK_NAME;

DRIVER_INITIALIZE DriverEntry;
DRIVER_DISPATCH VlioCreate;
DRIVER_DISPATCH VlioClose;
DRIVER_DISPATCH VlioDeviceControl;
DRIVER_UNLOAD VlioUnload;

/* The most ports of Windows' parallel port driver that are served; a machine has one or two. */
#define VLIO_MAX_KNOWN_PORTS 8
/* A port's registers beyond the first eight are not its own (0x3BC + 4 is the display's). */
#define VLIO_MAX_SPAN 8

/* A served port: its registers and how an open holds it. */
typedef struct VLIO_PORT {
  USHORT First;
  USHORT Last;
  /* The parallel port driver's routines and context, or this driver's own hold. */
  PPARALLEL_TRY_ALLOCATE_ROUTINE TryAllocate;
  PPARALLEL_FREE_ROUTINE Free;
  PVOID Context;
  /* The parallel port driver's port, kept open while its routines may be called; NULL for a
     legacy port of this driver's own. */
  PFILE_OBJECT File;
  /* A legacy port's own hold: 1 while an open has claimed it. */
  LONG Held;
} VLIO_PORT;

/* The device's extension: the served ports, filled at load, the ports Windows knows first. A
   fixed table in the memory IoCreateDevice gives the device (zeroed), as the driver allocates
   none of its own; not a global, since the i386 image keeps its sections where the file has them
   and an uninitialised one would have none. An open's claim is a pointer into it, in its file
   object's FsContext; the device outlives every open. */
typedef struct VLIO_EXTENSION {
  ULONG PortCount;
  VLIO_PORT Ports[VLIO_MAX_KNOWN_PORTS + VLIO_LEGACY_PORT_COUNT];
} VLIO_EXTENSION;

/* A legacy port's hold, in place of a parallel port driver's allocation routines. */
static BOOLEAN NTAPI VlioTryHold(PVOID Context)
{
  return InterlockedCompareExchange((LONG volatile *)Context, 1, 0) == 0;
}

static VOID NTAPI VlioReleaseHold(PVOID Context)
{
  InterlockedCompareExchange((LONG volatile *)Context, 0, 1);
}

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

/* Asks the parallel port whose interface is `Name` for its registers and allocation routines
   (the internal request, waited for here at passive level), and serves it when its registers
   are I/O ports: Controller, the address the port driver reaches them by, is then the port
   number itself. A port that does not answer is left out, and its file object let go. */
static VOID VlioAddKnownPort(VLIO_EXTENSION *Served, PUNICODE_STRING Name)
{
  VLIO_PORT *port = &Served->Ports[Served->PortCount];
  PARALLEL_PORT_INFORMATION info;
  IO_STATUS_BLOCK result;
  KEVENT done;
  PFILE_OBJECT file;
  PDEVICE_OBJECT device;
  PIRP irp;
  NTSTATUS status;
  ULONG base;
  ULONG span;

  if (!NT_SUCCESS(IoGetDeviceObjectPointer(Name, FILE_READ_ATTRIBUTES, &file, &device)))
    return;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO, device, NULL, 0, &info, sizeof info,
                                      TRUE, &done, &result);
  status = STATUS_INSUFFICIENT_RESOURCES;
  if (irp != NULL) {
    IoGetNextIrpStackLocation(irp)->FileObject = file;
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
      (ULONG_PTR)info.Controller == base && VlioFindPort(Served, (USHORT)base) == NULL) {
    port->First = (USHORT)base;
    port->Last = (USHORT)(base + (span < VLIO_MAX_SPAN ? span : VLIO_MAX_SPAN) - 1);
    port->TryAllocate = info.TryAllocatePort;
    port->Free = info.FreePort;
    port->Context = info.Context;
    port->File = file;
    ++Served->PortCount;
    return;
  }
  ObDereferenceObject(file);
}

/* Fills the table of served ports: those Windows' parallel port driver knows, then the legacy
   bases it does not. Without a parallel port interface (none bound, Wine) only the legacy ones. */
static VOID VlioFindPorts(VLIO_EXTENSION *Served)
{
  PWSTR list;
  PWSTR name;
  UNICODE_STRING text;
  ULONG i;

  if (NT_SUCCESS(IoGetDeviceInterfaces(&GUID_PARALLEL_DEVICE, NULL, 0, &list))) {
    for (name = list; *name != L'\0' && Served->PortCount < VLIO_MAX_KNOWN_PORTS;
         name += text.Length / sizeof(WCHAR) + 1) {
      RtlInitUnicodeString(&text, name);
      VlioAddKnownPort(Served, &text);
    }
    ExFreePool(list);
  }
  for (i = 0; i < VLIO_LEGACY_PORT_COUNT; ++i) {
    VLIO_PORT *port = &Served->Ports[Served->PortCount];
    if (VlioFindPort(Served, VlioLegacyPorts[i].First) != NULL)
      continue;
    port->First = VlioLegacyPorts[i].First;
    port->Last = VlioLegacyPorts[i].Last;
    port->TryAllocate = VlioTryHold;
    port->Free = VlioReleaseHold;
    port->Context = &port->Held;
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

  status = IoCreateDevice(DriverObject, sizeof(VLIO_EXTENSION), &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE,
                          &deviceObject);
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
  VlioFindPorts(deviceObject->DeviceExtension);
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

  if (held != NULL)
    held->Free(held->Context);
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
  VLIO_PORT *held;

  if (InputLength < sizeof(VLIO_CLAIM_INPUT))
    return STATUS_INVALID_PARAMETER;
  port = VlioFindPort(Served, request->Base);
  if (port == NULL)
    return STATUS_ACCESS_DENIED;
  held = File->FsContext;
  if (held == port)
    return STATUS_SUCCESS;
  if (!port->TryAllocate(port->Context))
    return STATUS_DEVICE_BUSY;
  /* Two claims at once on one open: the one that swaps first wins. */
  if (InterlockedCompareExchangePointer(&File->FsContext, port, held) != held) {
    port->Free(port->Context);
    return STATUS_DEVICE_BUSY;
  }
  if (held != NULL)
    held->Free(held->Context);
  return STATUS_SUCCESS;
}

/* Whether `Port` is a register of the port the open holds, and none of the machine's own. */
static BOOLEAN VlioIsClaimedRegister(PFILE_OBJECT File, USHORT Port)
{
  VLIO_PORT *held = File->FsContext;
  return held != NULL && Port >= held->First && Port <= held->Last && !VlioIsSystemPort(Port);
}

/* A request too short to name a port and hold the answer (or the value) is invalid; one that
   names a register of no port this open holds is refused. Neither touches a port. */
static NTSTATUS VlioReadPort(PIRP Irp, PFILE_OBJECT File, ULONG InputLength, ULONG OutputLength)
{
  VLIO_READ_INPUT *request = Irp->AssociatedIrp.SystemBuffer;

  if (InputLength < sizeof(VLIO_READ_INPUT) || OutputLength < sizeof(UCHAR))
    return STATUS_INVALID_PARAMETER;
  if (!VlioIsClaimedRegister(File, request->Port))
    return STATUS_ACCESS_DENIED;
  /* The answer overwrites the request: buffered I/O has one buffer for both. */
  *(PUCHAR)Irp->AssociatedIrp.SystemBuffer = VLIO_READ_PORT(request->Port);
  Irp->IoStatus.Information = sizeof(UCHAR);
  return STATUS_SUCCESS;
}

static NTSTATUS VlioWritePort(PIRP Irp, PFILE_OBJECT File, ULONG InputLength)
{
  VLIO_WRITE_INPUT *request = Irp->AssociatedIrp.SystemBuffer;

  if (InputLength < sizeof(VLIO_WRITE_INPUT))
    return STATUS_INVALID_PARAMETER;
  if (!VlioIsClaimedRegister(File, request->Port) || request->Port == VLIO_PNP_ADDRESS_PORT)
    return STATUS_ACCESS_DENIED;
  VLIO_WRITE_PORT(request->Port, request->Value);
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
  ULONG i;

  if (!VlioSampleInputValid(request, InputLength, OutputLength))
    return STATUS_INVALID_PARAMETER;
  for (i = 0; i < request->Count; ++i) {
    if (!VlioIsClaimedRegister(File, request->Registers[i]))
      return STATUS_ACCESS_DENIED;
  }
  KeQueryPerformanceCounter(&frequency);
  Irp->IoStatus.Information = VlioSample(request, Irp->AssociatedIrp.SystemBuffer, OutputLength, frequency.QuadPart,
                                         VlioSampleRead, VlioSampleCounter, NULL);
  return STATUS_SUCCESS;
}

/*
 * VlioDeviceControl: routes the four control codes; any other fails, and so does a short
 * request or one for a register of no port the open holds. Information stays 0 unless a port
 * was read, so the I/O manager copies back only what the driver wrote.
 */
NTSTATUS NTAPI VlioDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  NTSTATUS status;

  Irp->IoStatus.Information = 0;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
  case IOCTL_VLIO_CLAIM:
    status = VlioClaimPort(DeviceObject->DeviceExtension, Irp, stack->FileObject, inputLength);
    break;
  case IOCTL_VLIO_READ:
    status = VlioReadPort(Irp, stack->FileObject, inputLength, outputLength);
    break;
  case IOCTL_VLIO_WRITE:
    status = VlioWritePort(Irp, stack->FileObject, inputLength);
    break;
  case IOCTL_VLIO_SAMPLE:
    status = VlioSamplePort(Irp, stack->FileObject, inputLength, outputLength);
    break;
  default:
    status = STATUS_UNSUCCESSFUL;
    break;
  }

  Irp->IoStatus.Status = status;
  IoCompleteRequest(Irp, IO_NO_INCREMENT);
  return status;
}

/*
 * VlioUnload: lets the parallel ports go that DriverEntry opened, and removes the link and the
 * device. No open is left then, so no port is held.
 */
VOID NTAPI VlioUnload(PDRIVER_OBJECT DriverObject)
{
  VLIO_EXTENSION *served = DriverObject->DeviceObject->DeviceExtension;
  UNICODE_STRING linkName;
  ULONG i;

  for (i = 0; i < served->PortCount; ++i) {
    if (served->Ports[i].File != NULL)
      ObDereferenceObject(served->Ports[i].File);
  }

  RtlInitUnicodeString(&linkName, LinkNameText);
  IoDeleteSymbolicLink(&linkName);
  IoDeleteDevice(DriverObject->DeviceObject);
}

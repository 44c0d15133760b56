/*
 * vlio: lets a user-mode program read and write single bytes at I/O ports, which Windows
 * NT keeps from it. One device, \Device\vlio, reachable as \\.\vlio, takes two buffered
 * device controls; everything else about the file is the I/O manager's default.
 *
 * Which ports. None of the machine's own fixed ports (VlioSystemPorts in vlio_ioctl.h: DMA,
 * interrupt controllers, CMOS, the SMI command port, PCI configuration, reset...): through
 * them a caller reaches the kernel and the firmware, which is what gets port drivers
 * blocklisted. A request naming one fails with STATUS_ACCESS_DENIED and touches nothing, and so
 * does a write to the Plug and Play ISA address port (VLIO_PNP_ADDRESS_PORT). Ports
 * a chipset assigns at boot (ACPI power management, SMBus, GPIO, TCO) differ from machine to
 * machine and stay reachable: this narrows the driver, it does not make it harmless.
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

/* The two names and the table of system ports live in the code section of the Windows images:
   read-only data of their own would cost the i386 image one more 128-byte block. */
#ifdef _WIN32
#define VLIO_IN_CODE __attribute__((section(".text$names")))
#else
#define VLIO_IN_CODE
#endif
#define VLIO_SYSTEM_PORTS_SECTION VLIO_IN_CODE
#include "vlio_ioctl.h"

static const WCHAR DeviceNameText[] VLIO_IN_CODE = VLIO_DEVICE_NAME;
static const WCHAR LinkNameText[] VLIO_IN_CODE = VLIO_LINK_NAME;

DRIVER_INITIALIZE DriverEntry;
DRIVER_DISPATCH VlioCreate;
DRIVER_DISPATCH VlioDeviceControl;
DRIVER_UNLOAD VlioUnload;

/*
 * DriverEntry: makes the device and its Win32 link. Fails with the kernel's status, leaving
 * nothing behind.
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

  status = IoCreateDevice(DriverObject, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &deviceObject);
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
  DriverObject->DriverUnload = VlioUnload;
  return STATUS_SUCCESS;
}

/*
 * VlioCreate: opens the device for a subject that could load a driver itself (see the top of
 * this file); STATUS_ACCESS_DENIED for any other. There is no per-handle state.
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

/* A request too short to name a port and hold the answer (or the value) is invalid; one that
   names a port the driver does not serve is refused. Neither touches a port. */
static NTSTATUS VlioReadPort(PIRP Irp, ULONG InputLength, ULONG OutputLength)
{
  VLIO_READ_INPUT *request = Irp->AssociatedIrp.SystemBuffer;

  if (InputLength < sizeof(VLIO_READ_INPUT) || OutputLength < sizeof(UCHAR))
    return STATUS_INVALID_PARAMETER;
  if (VlioIsSystemPort(request->Port))
    return STATUS_ACCESS_DENIED;
  /* The answer overwrites the request: buffered I/O has one buffer for both. */
  *(PUCHAR)Irp->AssociatedIrp.SystemBuffer = VLIO_READ_PORT(request->Port);
  Irp->IoStatus.Information = sizeof(UCHAR);
  return STATUS_SUCCESS;
}

static NTSTATUS VlioWritePort(PIRP Irp, ULONG InputLength)
{
  VLIO_WRITE_INPUT *request = Irp->AssociatedIrp.SystemBuffer;

  if (InputLength < sizeof(VLIO_WRITE_INPUT))
    return STATUS_INVALID_PARAMETER;
  if (VlioIsWriteRefused(request->Port))
    return STATUS_ACCESS_DENIED;
  VLIO_WRITE_PORT(request->Port, request->Value);
  return STATUS_SUCCESS;
}

/*
 * VlioDeviceControl: routes the two control codes; any other fails, and so does a short
 * request or one for a system port. Information stays 0 unless a port was read, so the I/O manager copies
 * back only what the driver wrote.
 */
NTSTATUS NTAPI VlioDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  NTSTATUS status;

  UNREFERENCED_PARAMETER(DeviceObject);

  Irp->IoStatus.Information = 0;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
  case IOCTL_VLIO_READ:
    status = VlioReadPort(Irp, inputLength, outputLength);
    break;
  case IOCTL_VLIO_WRITE:
    status = VlioWritePort(Irp, inputLength);
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
 * VlioUnload: removes the link and the device that DriverEntry made.
 */
VOID NTAPI VlioUnload(PDRIVER_OBJECT DriverObject)
{
  UNICODE_STRING linkName;

  RtlInitUnicodeString(&linkName, LinkNameText);
  IoDeleteSymbolicLink(&linkName);
  IoDeleteDevice(DriverObject->DeviceObject);
}

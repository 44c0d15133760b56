/*
 * What the vlio driver and its user-mode clients agree on: the device's names, its three
 * control codes and the buffers that go with them, the legacy ports it serves besides those
 * Windows knows, and the ports it never serves. Included
 * by the driver (C, kernel mode) and by the client (C++), so it needs nothing but <stdint.h>
 * and whichever CTL_CODE the includer already has.
 */
#ifndef PINSCOPE_VLIO_IOCTL_H
#define PINSCOPE_VLIO_IOCTL_H

#include <stdint.h>

/* The kernel's names for the device and the link that makes it visible to Win32. */
#define VLIO_DEVICE_NAME L"\\Device\\vlio"
#define VLIO_LINK_NAME L"\\DosDevices\\vlio"
/* What a client opens with CreateFile. */
#define VLIO_WIN32_NAME "\\\\.\\vlio"

/* Host builds of the client have neither winioctl.h nor wdm.h; this is their macro. */
#ifndef CTL_CODE
#define CTL_CODE(DeviceType, Function, Method, Access) \
  (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#endif
#ifndef METHOD_BUFFERED
#define METHOD_BUFFERED 0
#endif
#ifndef FILE_ANY_ACCESS
#define FILE_ANY_ACCESS 0
#endif

/* A device type from the range left to vendors; unsigned, since it reaches bit 31. */
#define VLIO_DEVICE_TYPE 0x9C40u

/* In: VLIO_READ_INPUT. Out: the byte read from the port. */
#define IOCTL_VLIO_READ CTL_CODE(VLIO_DEVICE_TYPE, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* In: VLIO_WRITE_INPUT. Out: nothing. */
#define IOCTL_VLIO_WRITE CTL_CODE(VLIO_DEVICE_TYPE, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* In: VLIO_CLAIM_INPUT. Out: nothing. Makes the parallel port at that base the one port this
   open serves, and holds it from everybody else until the open is closed or claims another.
   STATUS_ACCESS_DENIED for a base that is not a parallel port the driver serves;
   STATUS_DEVICE_BUSY while another holds the port (an open of its own, or a print job through
   Windows' parallel port driver). A failed claim leaves the open's port as it was. */
#define IOCTL_VLIO_CLAIM CTL_CODE(VLIO_DEVICE_TYPE, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* Byte-packed: clients send exactly these bytes, with the port number little-endian. */
#pragma pack(push, 1)
typedef struct VLIO_CLAIM_INPUT {
  uint16_t Base;
} VLIO_CLAIM_INPUT;

typedef struct VLIO_READ_INPUT {
  uint16_t Port;
} VLIO_READ_INPUT;

typedef struct VLIO_WRITE_INPUT {
  uint16_t Port;
  uint8_t Value;
} VLIO_WRITE_INPUT;
#pragma pack(pop)

/*
 * The machine's own fixed ports, which the driver refuses and the client never asks for: with
 * them a caller reaches the kernel and the firmware (DMA into any memory, interrupts, the SMI
 * handler, a reset, PCI configuration space). Whole blocks where chipsets decode aliases. No
 * parallel port sits in any of them: ISA cards decode nothing below 0x100, and PCI cards get
 * I/O ranges away from the legacy ones. Ports a chipset assigns at boot (ACPI power
 * management, SMBus, GPIO, TCO) move from machine to machine and are not here.
 * The driver places both tables where its image has room (VLIO_TABLE_SECTION).
 */
typedef struct VLIO_PORT_RANGE {
  uint16_t First;
  uint16_t Last;
} VLIO_PORT_RANGE;

#ifndef VLIO_TABLE_SECTION
#define VLIO_TABLE_SECTION
#endif

/* The legacy parallel port bases with their standard spans, served even where Windows' parallel
   port driver does not know them (not bound, or Wine, which has none). No ECP range: nothing
   of ours uses one. */
static const VLIO_PORT_RANGE VlioLegacyPorts[] VLIO_TABLE_SECTION = {
  {0x03BC, 0x03BF},
  {0x0378, 0x037F},
  {0x0278, 0x027F},
};
#define VLIO_LEGACY_PORT_COUNT (sizeof VlioLegacyPorts / sizeof VlioLegacyPorts[0])

static const VLIO_PORT_RANGE VlioSystemPorts[] VLIO_TABLE_SECTION = {
  /* The system board's block: DMA 1 (0x00-0x1F); interrupt controller, interrupt-mode
     register 0x22-0x23, Super I/O configuration 0x2E-0x2F (0x20-0x3F); timer, Super I/O
     0x4E-0x4F (0x40-0x5F); keyboard controller, system control, embedded controller
     0x62/0x66 (0x60-0x6F); RTC/CMOS and the NMI mask (0x70-0x77, with their aliases up to
     0x7F); POST code and DMA pages, system control 0x92 (0x80-0x9F); second interrupt
     controller, SMI command 0xB0-0xB3 (0xA0-0xBF); DMA 2 (0xC0-0xDF); the coprocessor's
     error ports and whatever else the board keeps up to 0xFF. */
  {0x0000, 0x00FF},
  {0x0170, 0x0177}, /* ATA, secondary channel */
  {0x01F0, 0x01F7}, /* ATA, primary channel */
  /* Second floppy controller, ATA secondary control 0x376, Super I/O configuration 0x370-0x371 */
  {0x0370, 0x0377},
  /* First floppy controller, ATA primary control 0x3F6, Super I/O configuration 0x3F0-0x3F1 */
  {0x03F0, 0x03F7},
  {0x040B, 0x040B}, /* DMA 1 extended mode */
  {0x0480, 0x048F}, /* DMA high pages */
  {0x04D0, 0x04D1}, /* interrupt edge/level */
  {0x04D6, 0x04D6}, /* DMA 2 extended mode */
  {0x0A79, 0x0A79}, /* Plug and Play ISA write data */
  {0x0CD6, 0x0CD7}, /* power-management index and data */
  {0x0CF8, 0x0CFF}, /* PCI configuration address and data, reset control 0xCF9 */
};

/* Whether `port` is one of the machine's own (VlioSystemPorts). */
static inline int VlioIsSystemPort(uint16_t port)
{
  unsigned i;
  for (i = 0; i < sizeof VlioSystemPorts / sizeof VlioSystemPorts[0]; ++i) {
    if (port >= VlioSystemPorts[i].First && port <= VlioSystemPorts[i].Last)
      return 1;
  }
  return 0;
}

/*
 * The Plug and Play ISA address port. A write there selects a configuration register of every
 * ISA Plug and Play card (0xA79 then writes it), so it is refused like the table's ports. It is
 * also LPT2's status register, which is read only: reads stay served, and a write there would
 * change nothing on a parallel port anyway.
 */
#define VLIO_PNP_ADDRESS_PORT 0x0279u

/* Whether a write to `port` is refused: a system port, or the Plug and Play address port. */
static inline int VlioIsWriteRefused(uint16_t port)
{
  return port == VLIO_PNP_ADDRESS_PORT || VlioIsSystemPort(port);
}

#ifdef __cplusplus
#define VLIO_STATIC_ASSERT static_assert
#else
#define VLIO_STATIC_ASSERT _Static_assert
#endif
VLIO_STATIC_ASSERT(IOCTL_VLIO_READ == 0x9C402004u, "the read code is fixed by existing clients");
VLIO_STATIC_ASSERT(IOCTL_VLIO_WRITE == 0x9C402008u, "the write code is fixed by existing clients");
VLIO_STATIC_ASSERT(IOCTL_VLIO_CLAIM == 0x9C40200Cu, "the claim code follows the two");
VLIO_STATIC_ASSERT(sizeof(VLIO_CLAIM_INPUT) == 2, "a claim is the 2-byte base address");
VLIO_STATIC_ASSERT(sizeof(VLIO_READ_INPUT) == 2, "a read request is the 2-byte port number");
VLIO_STATIC_ASSERT(sizeof(VLIO_WRITE_INPUT) == 3, "a write request is the port number and the byte");

#endif /* PINSCOPE_VLIO_IOCTL_H */

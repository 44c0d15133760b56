/*
 * What the vlio driver and its user-mode clients agree on: the device's names, its four
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
   STATUS_CONFLICTING_ADDRESSES for a legacy base while Windows lists a parallel port the driver
   could not describe, which may sit there; STATUS_DEVICE_BUSY while another holds the port (an
   open of its own, or a print job through Windows' parallel port driver);
   STATUS_DEVICE_REMOVED for a port that is being removed or was. A failed claim leaves the
   open's port as it was. Any request fails with STATUS_DEVICE_BUSY while another request of
   the same open runs, and a read, write or sampling with STATUS_DEVICE_REMOVED once the port
   the open holds went away. */
#define IOCTL_VLIO_CLAIM CTL_CODE(VLIO_DEVICE_TYPE, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* In: VLIO_SAMPLE_INPUT. Out: VLIO_SAMPLE_OUTPUT, then its records (VLIO_SAMPLE_RECORD).
   Reads the named registers of the claimed port in turn, round after round, in a tight loop at
   passive level, for at most MaxRounds rounds and MaxMicroseconds, and records what it saw:
   what one request per read cannot, since a request costs more than several register reads.
   STATUS_INVALID_PARAMETER for a short input, a count of 0 or above VLIO_SAMPLE_MAX_REGISTERS,
   a bound of 0 or above its limit, or an output with room for fewer than VLIO_SAMPLE_MIN_RECORDS
   records; STATUS_ACCESS_DENIED when a named register is not one of the claimed port's. Either
   touches no port. */
#define IOCTL_VLIO_SAMPLE CTL_CODE(VLIO_DEVICE_TYPE, 0x804, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* The registers one request reads in turn: status and control are what a capture needs. */
#define VLIO_SAMPLE_MAX_REGISTERS 4u
/* The longest one request runs: short enough that the thread answers Ctrl+C and an end of the
   process at once, long enough that the time between two requests, in which nothing is read,
   stays a small share (under Wine a request costs a few hundred microseconds). */
#define VLIO_SAMPLE_MAX_MICROSECONDS 50000u
/* The most rounds one request may ask for. */
#define VLIO_SAMPLE_MAX_ROUNDS 0x00FFFFFFu
/* The counter is read after every so many rounds (and at each change and the last round), not
   on every read: it may cost more than a register read (a HPET or ACPI timer) where the time
   stamp counter does not serve. On a port so slow that these rounds would take more than a
   quarter of the stall bound (as measured on the first round), after every round. */
#define VLIO_SAMPLE_CHECK_EVERY 8u
/* Two counter readings further apart than this, and than twice what their rounds take (the
   first round's time), had the loop stopped in between (preempted, an interrupt): the span
   between them is reported as a stall, in which the lines are unknown. */
#define VLIO_SAMPLE_STALL_MICROSECONDS 100u
/* A record is also made after every so many rounds without a change, so that the rate of the
   reads is seen along the way and not only at the ends; one the output has no room for is left
   out. */
#define VLIO_SAMPLE_RECORD_EVERY 4096u
/* The fewest records an output must have room for: the first values, and a change or a stall. */
#define VLIO_SAMPLE_MIN_RECORDS 2u

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

typedef struct VLIO_SAMPLE_INPUT {
  uint16_t Registers[VLIO_SAMPLE_MAX_REGISTERS]; /* I/O port numbers; the first Count are read */
  uint32_t Count;
  uint32_t MaxRounds;       /* 1 to VLIO_SAMPLE_MAX_ROUNDS */
  uint32_t MaxMicroseconds; /* 1 to VLIO_SAMPLE_MAX_MICROSECONDS */
} VLIO_SAMPLE_INPUT;

/* Why a request ended. */
#define VLIO_SAMPLE_ENDED_ROUNDS 1u /* MaxRounds were read */
#define VLIO_SAMPLE_ENDED_TIME 2u   /* MaxMicroseconds had passed, or a stall so long that a record's
                                       ticks could not hold it (the request ends before it) */
#define VLIO_SAMPLE_ENDED_FULL 3u   /* the output had no room for the next change or stall; that
                                       round is not counted */

typedef struct VLIO_SAMPLE_OUTPUT {
  int64_t Frequency; /* of the performance counter, in ticks per second */
  int64_t First;     /* the counter at the first round; records count their ticks from it */
  int64_t Last;      /* the counter at the last round counted in Rounds; where the request ended
                        before a round (full, a stall too long, or a stall at its end), at the
                        last reading before it, which may lie a few rounds earlier */
  uint32_t Rounds;   /* rounds read and accounted for; the values after the last record held to
                        the end */
  uint32_t Records;  /* records that follow, in order; the first is round 0 with the first
                        values */
  uint32_t Ended;    /* VLIO_SAMPLE_ENDED_* */
  uint32_t Reserved; /* 0 */
} VLIO_SAMPLE_OUTPUT;

/* One moment of the loop: the first round, a round whose values differ from the round before,
   the first round read and stamped after a stall (a round read before the stalled reading may
   have been read anywhere in the stall, and is not recorded), or every
   VLIO_SAMPLE_RECORD_EVERY rounds. */
typedef struct VLIO_SAMPLE_RECORD {
  uint32_t Ticks;      /* counter ticks from First to this round */
  uint32_t Round;      /* from 0 */
  uint32_t StallTicks; /* ticks before Ticks in which the loop stalled: a gap in the record,
                          from the last round accounted for, where any change is known only to
                          have happened by Ticks; 0 when the loop ran on */
  uint8_t Values[VLIO_SAMPLE_MAX_REGISTERS]; /* as read this round, in the order named; unused 0 */
} VLIO_SAMPLE_RECORD;
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

/* The legacy bases, by the port each stands for where nothing else tells: the base a
   program assumes for LPTn when Windows gives none. */
#define VLIO_LPT1_BASE 0x0378
#define VLIO_LPT2_BASE 0x0278
#define VLIO_LPT3_BASE 0x03BC

/* The most ports of Windows' parallel port driver that are served, in the order Windows lists
   them; a machine has one or two. */
#define VLIO_MAX_KNOWN_PORTS 8

#ifndef VLIO_TABLE_SECTION
#define VLIO_TABLE_SECTION
#endif

/* The legacy parallel port bases with their standard spans, served even where Windows' parallel
   port driver does not know them (not bound, or Wine, which has none). No ECP range: nothing
   of ours uses one. */
static const VLIO_PORT_RANGE VlioLegacyPorts[] VLIO_TABLE_SECTION = {
  {VLIO_LPT3_BASE, VLIO_LPT3_BASE + 3},
  {VLIO_LPT1_BASE, VLIO_LPT1_BASE + 7},
  {VLIO_LPT2_BASE, VLIO_LPT2_BASE + 7},
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
  /* The display's: monochrome registers below LPT3's base (0x3B0-0x3BB), and the VGA's
     attribute, sequencer, graphics, DAC and CRT registers after its four (0x3C0-0x3DF), which a
     port reported at 0x3BC with a span of 8 would reach. */
  {0x03B0, 0x03BB},
  {0x03C0, 0x03DF},
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
VLIO_STATIC_ASSERT(IOCTL_VLIO_SAMPLE == 0x9C402010u, "the sampling code follows the claim");
VLIO_STATIC_ASSERT(sizeof(VLIO_SAMPLE_INPUT) == 20, "a sampling request: four registers, the count, two bounds");
VLIO_STATIC_ASSERT(sizeof(VLIO_SAMPLE_OUTPUT) == 40, "the sampling header: three counters, four counts");
VLIO_STATIC_ASSERT(sizeof(VLIO_SAMPLE_RECORD) == 16, "a sampling record: three counts and four values");
/* 32-bit ticks hold the longest request at any counter up to 85 GHz; a reading that a stall put
   further on ends the request before it. */
VLIO_STATIC_ASSERT(VLIO_SAMPLE_MAX_MICROSECONDS <= 50000u, "a request's ticks fit 32 bits");

#endif /* PINSCOPE_VLIO_IOCTL_H */

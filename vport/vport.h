/*
 * A standard PC parallel port (the SPP of the original printer adapter), as an emulator
 * models it: three registers at the port's base address and the 25-pin connector behind
 * them, with whatever is plugged into the connector.
 *
 * Register offsets and what each line is:
 *
 *   pin  register     name      pin  register     name
 *    1   control 0    Strobe    13   status 4     Select
 *   2-9  data 0-7     D0-D7     14   control 1    AutoLF
 *   10   status 6     Ack       15   status 3     Fault
 *   11   status 7     Busy      16   control 2    Init
 *   12   status 5     PaperOut  17   control 3    SelectIn
 *                               18-25             ground
 *
 * The port's line drivers and receivers invert control bits 0, 1, 3 and status bit 7, so a
 * register bit and the level at its pin differ there. Levels are 1 (high) or 0 (low).
 *
 * What reads back without a pin behind it:
 *   - status bits 0-2 read 1: nothing drives them, and an undriven bus reads high;
 *   - control bits 4 (interrupt enable) and 5 (direction) are plain storage and read back as
 *     written. No interrupt is raised, and the data drivers stay on whatever bit 5 says: a
 *     standard port cannot turn them around;
 *   - control bits 6 and 7 read 1, like the original adapter's unused bits;
 *   - offsets 3 and up are not decoded: reads give 0xFF, writes are lost.
 * The status register is read-only: writes to it are ignored.
 *
 * Builds as C11 in a kernel driver (no allocation, no library calls) and in host C or C++.
 */
#ifndef PINSCOPE_VPORT_H
#define PINSCOPE_VPORT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Register offsets from the port's base address. */
#define VPORT_DATA 0u    /* D0-D7: what the PC puts on pins 2-9 */
#define VPORT_STATUS 1u  /* the peripheral's answer lines, read-only */
#define VPORT_CONTROL 2u /* the PC's handshake lines and the port's own settings */

/* Status register bits. */
#define VPORT_STATUS_UNUSED 0x07u    /* no pin: reads 1 */
#define VPORT_STATUS_FAULT 0x08u     /* pin 15: the printer pulls it low on an error */
#define VPORT_STATUS_SELECT 0x10u    /* pin 13: high while the printer is on line */
#define VPORT_STATUS_PAPER_OUT 0x20u /* pin 12: high when the printer has run out of paper */
#define VPORT_STATUS_ACK 0x40u       /* pin 10: a low pulse that acknowledges each byte */
#define VPORT_STATUS_BUSY 0x80u      /* pin 11: high while the printer cannot take a byte */
#define VPORT_STATUS_INVERTED 0x80u  /* bits whose pin carries the opposite level */

/* Control register bits. */
#define VPORT_CONTROL_STROBE 0x01u     /* pin 1: setting it pulls the pin low, latching D0-D7 */
#define VPORT_CONTROL_AUTO_LF 0x02u    /* pin 14: setting it pulls the pin low */
#define VPORT_CONTROL_INIT 0x04u       /* pin 16: clearing it pulls the pin low, resetting the printer */
#define VPORT_CONTROL_SELECT_IN 0x08u  /* pin 17: setting it pulls the pin low, selecting the printer */
#define VPORT_CONTROL_IRQ_ENABLE 0x10u /* storage only: no interrupt is modelled */
#define VPORT_CONTROL_DIRECTION 0x20u  /* storage only: a standard port always drives D0-D7 */
#define VPORT_CONTROL_UNUSED 0xC0u     /* not stored: reads 1 */
#define VPORT_CONTROL_INVERTED 0x0Bu   /* bits whose pin carries the opposite level */

/* What a PC's firmware leaves after initialising its printer: data low, Init high, the
   printer selected, every other line idle. */
#define VPORT_DATA_RESET 0x00u
#define VPORT_CONTROL_RESET (VPORT_CONTROL_INIT | VPORT_CONTROL_SELECT_IN)

/* Connector pins of the signal lines; D0-D7 are the eight pins from VPORT_PIN_D0 up. */
#define VPORT_PIN_STROBE 1u
#define VPORT_PIN_D0 2u
#define VPORT_PIN_ACK 10u
#define VPORT_PIN_BUSY 11u
#define VPORT_PIN_PAPER_OUT 12u
#define VPORT_PIN_SELECT 13u
#define VPORT_PIN_AUTO_LF 14u
#define VPORT_PIN_FAULT 15u
#define VPORT_PIN_INIT 16u
#define VPORT_PIN_SELECT_IN 17u
#define VPORT_LAST_SIGNAL_PIN 17u
#define VPORT_FIRST_GROUND_PIN 18u
#define VPORT_PIN_COUNT 25u

/* Connector levels travel as one mask with bit N for pin N. */
#define VPORT_PIN(n) ((uint32_t)1 << (n))
#define VPORT_DATA_PINS (0xFFu << VPORT_PIN_D0)
/* The pins the port drives: Strobe, D0-D7, AutoLF, Init, SelectIn. */
#define VPORT_OUTPUT_PINS                                                                              \
  (VPORT_PIN(VPORT_PIN_STROBE) | VPORT_DATA_PINS | VPORT_PIN(VPORT_PIN_AUTO_LF) | VPORT_PIN(VPORT_PIN_INIT) | \
   VPORT_PIN(VPORT_PIN_SELECT_IN))
/* The pins the peripheral drives: Ack, Busy, PaperOut, Select, Fault. */
#define VPORT_INPUT_PINS                                                                              \
  (VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_BUSY) | VPORT_PIN(VPORT_PIN_PAPER_OUT) |             \
   VPORT_PIN(VPORT_PIN_SELECT) | VPORT_PIN(VPORT_PIN_FAULT))

/*
 * Whatever is plugged into the connector. The port keeps only a pointer: the peripheral's
 * owner keeps it alive while it is plugged in. Either routine may be null.
 */
struct vport_peripheral {
  void *context;
  /* The port changed some of its output pins. `lines` holds the level of every output pin,
     `changed` the pins that moved. Also called on plugging in, with every output pin. */
  void (*lines_changed)(void *context, uint32_t lines, uint32_t changed);
  /* The port samples its input pins. `lines` holds the output pins' levels. A pin the
     peripheral leaves undriven must come back 1: the port pulls its inputs up. */
  uint32_t (*input_lines)(void *context, uint32_t lines);
};

struct vport {
  uint8_t data;
  uint8_t control; /* bits 0-5 as written */
  const struct vport_peripheral *peripheral;
};

/* For ports in static storage; gives what vport_reset gives, with `plugged` in the connector. */
#define VPORT_INITIALIZER(plugged) {VPORT_DATA_RESET, VPORT_CONTROL_RESET, (plugged)}

/* Registers to their reset values; what is plugged in stays (a reset pulls no cable). */
void vport_reset(struct vport *port);
uint8_t vport_read(struct vport *port, unsigned offset);
void vport_write(struct vport *port, unsigned offset, uint8_t value);

/* Null unplugs: the inputs then float high. */
void vport_plug(struct vport *port, const struct vport_peripheral *peripheral);
/* Every signal pin's level at once (ground pins 0). */
uint32_t vport_lines(struct vport *port);
/* Pins 1-17 give their level, ground pins 18-25 give 0, and so does any other number. */
int vport_pin_level(struct vport *port, unsigned pin);

/* The diagnostic plug: D0->Fault, D1->Select, D2->PaperOut, D3->Ack, D4->Busy. */
extern const struct vport_peripheral vport_loopback_plug;

/*
 * A Centronics printer that never keeps the PC waiting. On each falling edge of Strobe
 * (pin 1) it latches D0-D7 (pins 2-9) and has dealt with the byte before the PC can look
 * again: Busy (pin 11) stays low and its Ack pulse (pin 10) is too short to see, so Ack
 * idles high. It is on line with paper: Select (pin 13) high, PaperOut (pin 12) low, Fault
 * (pin 15) high. A falling edge of Init (pin 16) resets it, and for as long as Init stays
 * low it shows Busy and ignores Strobe, as a printer does while it initialises.
 *
 * Edges are read from what the port reports, so plugging it in with Strobe or Init already
 * low counts as that line falling: the printer's own pull-up held its input high until then.
 *
 *   static struct vport_printer printer = VPORT_PRINTER_INITIALIZER(&printer);
 *   static struct vport lpt2 = VPORT_INITIALIZER(&printer.plug);
 */
struct vport_printer {
  struct vport_peripheral plug; /* what goes into the port; its context is the printer */
  uint32_t received;            /* bytes latched since the last reset */
  uint8_t last;                 /* the last byte latched; 0 after a reset */
};

/* The plug's routines, for VPORT_PRINTER_INITIALIZER: `context` is the printer. */
void vport_printer_lines_changed(void *context, uint32_t lines, uint32_t changed);
uint32_t vport_printer_input_lines(void *context, uint32_t lines);

/* For printers in static storage; gives what vport_printer_reset gives. `self` is the
   printer's own address. */
#define VPORT_PRINTER_INITIALIZER(self) {{(self), vport_printer_lines_changed, vport_printer_input_lines}, 0, 0}

/* What a falling Init does: nothing received yet. */
void vport_printer_reset(struct vport_printer *printer);

/* A port on an I/O bus, answering at `base` and the two addresses above it. */
struct vport_slot {
  uint16_t base;
  struct vport *port;
};

/* An address that no port decodes reads 0xFF (nothing drives the bus); writes to it are lost. */
uint8_t vport_bus_read(const struct vport_slot *slots, unsigned count, uint16_t address);
void vport_bus_write(const struct vport_slot *slots, unsigned count, uint16_t address, uint8_t value);

#ifdef __cplusplus
}
#endif

#endif /* PINSCOPE_VPORT_H */

/*
 * A standard PC parallel port (the SPP of the original printer adapter), as an emulator
 * models it: three registers at the port's base address and the 25-pin connector behind
 * them, with whatever is plugged into the connector.
 *
 * Which register bit each pin is tied to is in connector/pins.h. The port's line drivers and
 * receivers invert some of them (the table's `inverted`), so a register bit and the level at
 * its pin differ there. Levels are 1 (high) or 0 (low).
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

#include "connector/pins.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a PC's firmware leaves after initialising its printer: data low, Init high, the
   printer selected, every other line idle. */
#define VPORT_DATA_RESET 0x00u
#define VPORT_CONTROL_RESET (VPORT_CONTROL_INIT | VPORT_CONTROL_SELECT_IN)

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

/* The diagnostic plug, wired as vport_loopback_wiring says. */
extern const struct vport_peripheral vport_loopback_plug;

/*
 * A Centronics printer that never keeps the PC waiting. On each falling edge of Strobe
 * (pin 1) it latches D0-D7 (pins 2-9) and has dealt with the byte before the PC can look
 * again: Busy (pin 11) stays low and its Ack pulse (pin 10) is too short to see, so Ack
 * idles high. It is on line with paper: Select (pin 13) high, Paper out (pin 12) low, Fault
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

/*
 * A signal generator, for something to watch and capture without hardware. Its lines are a
 * function of time alone, read from its owner's counter whenever the port samples them: it
 * keeps no state, so any number of readers at once see the same signals. Time is the
 * counter's own value over its frequency, so readers of one counter agree, and each line's
 * periods start at its whole seconds; an edge shows from the first tick at or after its
 * exact time. At the connector:
 *   Ack (pin 10)        1 kHz square wave, high for the first half of each millisecond;
 *   Busy (pin 11)       "PINSCOPE" and a line feed as asynchronous serial, 300 baud, 8 data
 *                       bits LSB first, no parity, 1 stop bit, idle high: the nine characters
 *                       back to back, then one character time idle, every third of a second;
 *   Paper out (pin 12)  100 Hz, high for the first 2.5 ms of each 10 ms;
 *   Select (pin 13)     high for the first 1 ms of each 20 ms;
 *   Fault (pin 15)      high.
 * Busy's status bit carries the serial line inverted, as the port inverts that pin.
 *
 *   static struct vport_signal_generator generator =
 *       VPORT_SIGNAL_GENERATOR_INITIALIZER(&generator, read_counter, 0);
 *   static struct vport lpt3 = VPORT_INITIALIZER(&generator.plug);
 */
struct vport_signal_generator {
  struct vport_peripheral plug; /* what goes into the port; its context is the generator */
  /* Now, in ticks of a counter that sets *frequency to its ticks per second. Called from
     any number of threads at once. */
  int64_t (*counter)(void *context, int64_t *frequency);
  void *counter_context;
};

/* The plug's routine, for VPORT_SIGNAL_GENERATOR_INITIALIZER: `context` is the generator. */
uint32_t vport_signal_generator_input_lines(void *context, uint32_t lines);

/* `self` is the generator's own address. */
#define VPORT_SIGNAL_GENERATOR_INITIALIZER(self, counter, counter_context) \
  {{(self), 0, vport_signal_generator_input_lines}, (counter), (counter_context)}

/* The generator's input pins at connector levels at `ticks` of a counter of `frequency`
   ticks per second. A frequency of 0 or less, or above 2^50, drives nothing: the inputs float
   high. */
uint32_t vport_signal_generator_lines(int64_t ticks, int64_t frequency);

/* `dividend` / `divisor`, and the remainder where `remainder` is not null, for a divisor of 1
   to 2^63. The i386 driver links no libgcc, which the 64-bit division operator calls there. */
uint64_t vport_divide(uint64_t dividend, uint64_t divisor, uint64_t *remainder);

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

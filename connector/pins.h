/*
 * The 25-pin connector of a standard PC parallel port: which register bit each signal pin is
 * tied to, whether the port inverts it between that bit and the pin, which side drives it, and
 * what it is called. This is the one place that joins those facts; the virtual port, the
 * component's pin operations, the console program and every file that names pins read it.
 *
 *   pin  register     name      pin  register     name
 *    1   control 0    Strobe    13   status 4     Select
 *   2-9  data 0-7     Data 0-7  14   control 1    Auto line feed
 *   10   status 6     Ack       15   status 3     Fault
 *   11   status 7     Busy      16   control 2    Init
 *   12   status 5     Paper out 17   control 3    Select in
 *                               18-25             ground
 *
 * Plain C, with the table in static storage of each user: it builds into the kernel driver
 * too. C++ sees the same rows as constexpr data and gets a small view below.
 */
#ifndef PINSCOPE_CONNECTOR_PINS_H
#define PINSCOPE_CONNECTOR_PINS_H

#include <stdint.h>

/* Register offsets from the port's base address. */
#define VPORT_DATA 0u    /* D0-D7: what the PC puts on pins 2-9 */
#define VPORT_STATUS 1u  /* the peripheral's answer lines, read-only */
#define VPORT_CONTROL 2u /* the PC's handshake lines and the port's own settings */

/* Status register bits. */
#define VPORT_STATUS_UNUSED 0x07u    /* no pin: reads 1 */
#define VPORT_STATUS_FAULT 0x08u     /* the printer pulls it low on an error */
#define VPORT_STATUS_SELECT 0x10u    /* high while the printer is on line */
#define VPORT_STATUS_PAPER_OUT 0x20u /* high when the printer has run out of paper */
#define VPORT_STATUS_ACK 0x40u       /* a low pulse that acknowledges each byte */
#define VPORT_STATUS_BUSY 0x80u      /* high while the printer cannot take a byte */

/* Control register bits. */
#define VPORT_CONTROL_STROBE 0x01u     /* setting it pulls the pin low, latching D0-D7 */
#define VPORT_CONTROL_AUTO_LF 0x02u    /* setting it pulls the pin low */
#define VPORT_CONTROL_INIT 0x04u       /* clearing it pulls the pin low, resetting the printer */
#define VPORT_CONTROL_SELECT_IN 0x08u  /* setting it pulls the pin low, selecting the printer */
#define VPORT_CONTROL_IRQ_ENABLE 0x10u /* storage only: no interrupt is modelled */
#define VPORT_CONTROL_DIRECTION 0x20u  /* storage only: a standard port always drives D0-D7 */
#define VPORT_CONTROL_UNUSED 0xC0u     /* not stored: reads 1 */

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
/* The pins the port drives: Strobe, D0-D7, Auto line feed, Init, Select in. */
#define VPORT_OUTPUT_PINS                                                                              \
  (VPORT_PIN(VPORT_PIN_STROBE) | VPORT_DATA_PINS | VPORT_PIN(VPORT_PIN_AUTO_LF) | VPORT_PIN(VPORT_PIN_INIT) | \
   VPORT_PIN(VPORT_PIN_SELECT_IN))
/* The pins the peripheral drives: Ack, Busy, Paper out, Select, Fault. */
#define VPORT_INPUT_PINS                                                                              \
  (VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_BUSY) | VPORT_PIN(VPORT_PIN_PAPER_OUT) |             \
   VPORT_PIN(VPORT_PIN_SELECT) | VPORT_PIN(VPORT_PIN_FAULT))

struct vport_signal {
  unsigned pin;      /* on the connector, 1-17 */
  uint8_t offset;    /* its register: VPORT_DATA, VPORT_STATUS or VPORT_CONTROL */
  uint8_t mask;      /* its bit in that register */
  uint8_t inverted;  /* 1: the connector carries the opposite of the register bit */
  uint8_t output;    /* 1: the port drives it; 0: the peripheral does */
  const char *name;  /* as people call it */
  const char *ident; /* the name in letters, digits and '_', for formats that take nothing else */
};

/* One line of a plug that ties an output pin back to an input pin. */
struct vport_wire {
  unsigned from_pin;
  unsigned to_pin;
};

#ifdef __cplusplus
#define VPORT_TABLE inline constexpr
#else
#define VPORT_TABLE static const
#endif

/* The signal pins, indexed by pin - 1. */
VPORT_TABLE struct vport_signal vport_signals[VPORT_LAST_SIGNAL_PIN] = {
    {VPORT_PIN_STROBE, VPORT_CONTROL, VPORT_CONTROL_STROBE, 1, 1, "Strobe", "Strobe"},
    {VPORT_PIN_D0 + 0, VPORT_DATA, 0x01, 0, 1, "Data 0", "Data_0"},
    {VPORT_PIN_D0 + 1, VPORT_DATA, 0x02, 0, 1, "Data 1", "Data_1"},
    {VPORT_PIN_D0 + 2, VPORT_DATA, 0x04, 0, 1, "Data 2", "Data_2"},
    {VPORT_PIN_D0 + 3, VPORT_DATA, 0x08, 0, 1, "Data 3", "Data_3"},
    {VPORT_PIN_D0 + 4, VPORT_DATA, 0x10, 0, 1, "Data 4", "Data_4"},
    {VPORT_PIN_D0 + 5, VPORT_DATA, 0x20, 0, 1, "Data 5", "Data_5"},
    {VPORT_PIN_D0 + 6, VPORT_DATA, 0x40, 0, 1, "Data 6", "Data_6"},
    {VPORT_PIN_D0 + 7, VPORT_DATA, 0x80, 0, 1, "Data 7", "Data_7"},
    {VPORT_PIN_ACK, VPORT_STATUS, VPORT_STATUS_ACK, 0, 0, "Ack", "Ack"},
    {VPORT_PIN_BUSY, VPORT_STATUS, VPORT_STATUS_BUSY, 1, 0, "Busy", "Busy"},
    {VPORT_PIN_PAPER_OUT, VPORT_STATUS, VPORT_STATUS_PAPER_OUT, 0, 0, "Paper out", "Paper_out"},
    {VPORT_PIN_SELECT, VPORT_STATUS, VPORT_STATUS_SELECT, 0, 0, "Select", "Select"},
    {VPORT_PIN_AUTO_LF, VPORT_CONTROL, VPORT_CONTROL_AUTO_LF, 1, 1, "Auto line feed", "Auto_line_feed"},
    {VPORT_PIN_FAULT, VPORT_STATUS, VPORT_STATUS_FAULT, 0, 0, "Fault", "Fault"},
    {VPORT_PIN_INIT, VPORT_CONTROL, VPORT_CONTROL_INIT, 0, 1, "Init", "Init"},
    {VPORT_PIN_SELECT_IN, VPORT_CONTROL, VPORT_CONTROL_SELECT_IN, 1, 1, "Select in", "Select_in"},
};

/* The bits of register `offset` that the port inverts between register and connector (its
 * inverting drivers and receivers): XOR with them turns a register's value into the levels at
 * the connector, and back. */
#ifdef __cplusplus
constexpr
#else
static
#endif
inline uint8_t vport_inverted_bits(unsigned offset)
{
  uint8_t bits = 0;
  unsigned i;
  for (i = 0; i < VPORT_LAST_SIGNAL_PIN; i++) {
    if (vport_signals[i].offset == offset && vport_signals[i].inverted)
      bits = (uint8_t)(bits | vport_signals[i].mask);
  }
  return bits;
}

/* The diagnostic loopback plug: five data lines, each back in on one status line. */
#define VPORT_LOOPBACK_WIRES 5u
VPORT_TABLE struct vport_wire vport_loopback_wiring[VPORT_LOOPBACK_WIRES] = {
    {VPORT_PIN_D0 + 0, VPORT_PIN_FAULT},     {VPORT_PIN_D0 + 1, VPORT_PIN_SELECT}, {VPORT_PIN_D0 + 2, VPORT_PIN_PAPER_OUT},
    {VPORT_PIN_D0 + 3, VPORT_PIN_ACK},       {VPORT_PIN_D0 + 4, VPORT_PIN_BUSY},
};

/* The states Windows' parallel port driver answers IOCTL_PAR_QUERY_INFORMATION with
 * (ntddpar.h's PARALLEL_ flags), each with the connector line and level it stands for, as its
 * documented meaning gives it. The documentation names no line for any flag: for Init, Auto
 * line feed, Paper empty, Busy and Selected the meaning is one line's; Off line is taken as
 * Select low; Power off and Not connected stand for no one line (pin 0), the driver infers
 * them. Ack, Fault, Strobe, Select in and the data lines have no flag. */
struct vport_system_state {
  uint8_t flag;
  unsigned pin;     /* 0: no one line */
  uint8_t level;    /* the line's level while the flag is set */
  const char *name; /* as the documentation says it */
  const char *ident;
};
#define VPORT_SYSTEM_STATES 8u
VPORT_TABLE struct vport_system_state vport_system_states[VPORT_SYSTEM_STATES] = {
    {0x01, VPORT_PIN_INIT, 0, "initialising", "init"},
    {0x02, VPORT_PIN_AUTO_LF, 0, "auto line feed", "autofeed"},
    {0x04, VPORT_PIN_PAPER_OUT, 1, "paper empty", "paper_empty"},
    {0x08, VPORT_PIN_SELECT, 0, "off line", "off_line"},
    {0x10, 0, 0, "power off", "power_off"},
    {0x20, 0, 0, "not connected", "not_connected"},
    {0x40, VPORT_PIN_BUSY, 1, "busy", "busy"},
    {0x80, VPORT_PIN_SELECT, 1, "selected", "selected"},
};

#undef VPORT_TABLE

#ifdef __cplusplus
#include <span>
#include <string_view>

namespace connector {

inline constexpr std::span<const vport_signal, VPORT_LAST_SIGNAL_PIN> kSignals{vport_signals};
inline constexpr std::span<const vport_wire, VPORT_LOOPBACK_WIRES> kLoopbackWiring{vport_loopback_wiring};
inline constexpr std::span<const vport_system_state, VPORT_SYSTEM_STATES> kSystemStates{vport_system_states};

/// Pins 1 to 17; null for ground pins and numbers off the connector.
constexpr const vport_signal* SignalOf(long long pin) {
  return pin >= 1 && pin <= static_cast<long long>(kSignals.size()) ? &kSignals[static_cast<std::size_t>(pin - 1)]
                                                                   : nullptr;
}

namespace check {
constexpr bool RowsInPinOrder() {
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    if (kSignals[i].pin != i + 1) return false;
  return true;
}
constexpr uint32_t PinsDriven(bool output) {
  uint32_t pins = 0;
  for (const vport_signal& s : kSignals)
    if (static_cast<bool>(s.output) == output) pins |= VPORT_PIN(s.pin);
  return pins;
}
constexpr bool IdentifiersFollowNames() {
  for (const vport_signal& s : kSignals) {
    const std::string_view name = s.name, ident = s.ident;
    if (name.size() != ident.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
      const char c = ident[i];
      const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      if (!(word && c == name[i]) && !(c == '_' && name[i] == ' ')) return false;
    }
  }
  return true;
}
static_assert(RowsInPinOrder());
static_assert(PinsDriven(true) == VPORT_OUTPUT_PINS && PinsDriven(false) == VPORT_INPUT_PINS);
static_assert(IdentifiersFollowNames());
}  // namespace check

}  // namespace connector
#endif

#endif /* PINSCOPE_CONNECTOR_PINS_H */

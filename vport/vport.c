/*
 * The standard PC parallel port. Registers are stored as the PC wrote them; connector levels
 * are worked out from them whenever someone looks, so the two can never disagree.
 */
#include "vport.h"

/* Register bits and pin levels differ by the port's inverting drivers and receivers. */
static uint8_t line_inversion(unsigned offset, uint8_t value)
{
  return (uint8_t)(value ^ vport_inverted_bits(offset));
}

/* Spreads a byte, already at pin polarity, onto the pins of register `offset`. */
static uint32_t pins_of(unsigned offset, uint8_t levels)
{
  uint32_t lines = 0;
  unsigned i;
  for (i = 0; i < VPORT_LAST_SIGNAL_PIN; i++) {
    if (vport_signals[i].offset == offset && (levels & vport_signals[i].mask))
      lines |= VPORT_PIN(vport_signals[i].pin);
  }
  return lines;
}

/* Gathers the pins of register `offset` into a byte at pin polarity. */
static uint8_t byte_of(unsigned offset, uint32_t lines)
{
  uint8_t levels = 0;
  unsigned i;
  for (i = 0; i < VPORT_LAST_SIGNAL_PIN; i++) {
    if (vport_signals[i].offset == offset && (lines & VPORT_PIN(vport_signals[i].pin)))
      levels = (uint8_t)(levels | vport_signals[i].mask);
  }
  return levels;
}

static uint32_t output_lines(const struct vport *port)
{
  return pins_of(VPORT_DATA, line_inversion(VPORT_DATA, port->data)) |
         pins_of(VPORT_CONTROL, line_inversion(VPORT_CONTROL, port->control));
}

static uint32_t input_lines(struct vport *port, uint32_t outputs)
{
  const struct vport_peripheral *peripheral = port->peripheral;
  if (peripheral == 0 || peripheral->input_lines == 0)
    return VPORT_INPUT_PINS;
  return peripheral->input_lines(peripheral->context, outputs) & VPORT_INPUT_PINS;
}

/* Tells the peripheral about output pins that moved since `before`. */
static void outputs_moved(struct vport *port, uint32_t before)
{
  const struct vport_peripheral *peripheral = port->peripheral;
  uint32_t after = output_lines(port);
  if (after != before && peripheral != 0 && peripheral->lines_changed != 0)
    peripheral->lines_changed(peripheral->context, after, after ^ before);
}

void vport_reset(struct vport *port)
{
  uint32_t before = output_lines(port);
  port->data = VPORT_DATA_RESET;
  port->control = VPORT_CONTROL_RESET;
  outputs_moved(port, before);
}

uint8_t vport_read(struct vport *port, unsigned offset)
{
  switch (offset) {
  case VPORT_DATA:
    return port->data;
  case VPORT_STATUS: {
    uint8_t levels = byte_of(VPORT_STATUS, input_lines(port, output_lines(port)));
    return (uint8_t)(line_inversion(VPORT_STATUS, levels) | VPORT_STATUS_UNUSED);
  }
  case VPORT_CONTROL:
    return (uint8_t)(port->control | VPORT_CONTROL_UNUSED);
  default:
    return 0xFF;
  }
}

void vport_write(struct vport *port, unsigned offset, uint8_t value)
{
  uint32_t before = output_lines(port);
  switch (offset) {
  case VPORT_DATA:
    port->data = value;
    break;
  case VPORT_CONTROL:
    port->control = (uint8_t)(value & ~VPORT_CONTROL_UNUSED);
    break;
  default:
    /* Status is driven from the connector, and nothing answers above it. */
    return;
  }
  outputs_moved(port, before);
}

void vport_plug(struct vport *port, const struct vport_peripheral *peripheral)
{
  port->peripheral = peripheral;
  if (peripheral != 0 && peripheral->lines_changed != 0)
    peripheral->lines_changed(peripheral->context, output_lines(port), VPORT_OUTPUT_PINS);
}

uint32_t vport_lines(struct vport *port)
{
  uint32_t outputs = output_lines(port);
  return outputs | input_lines(port, outputs);
}

int vport_pin_level(struct vport *port, unsigned pin)
{
  if (pin >= VPORT_FIRST_GROUND_PIN)
    return 0;
  return (vport_lines(port) & VPORT_PIN(pin)) != 0;
}

/* Each data line of the plug goes back in on one status line. */
static uint32_t loopback_input_lines(void *context, uint32_t lines)
{
  uint32_t inputs = 0;
  unsigned i;
  (void)context;
  for (i = 0; i < VPORT_LOOPBACK_WIRES; i++) {
    if (lines & VPORT_PIN(vport_loopback_wiring[i].from_pin))
      inputs |= VPORT_PIN(vport_loopback_wiring[i].to_pin);
  }
  return inputs;
}

const struct vport_peripheral vport_loopback_plug = {0, 0, loopback_input_lines};

/* The levels the printer drives while it takes bytes: Ack idle, Select and Fault high. */
#define PRINTER_READY_LINES (VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_SELECT) | VPORT_PIN(VPORT_PIN_FAULT))
#define PRINTER_BUSY VPORT_PIN(VPORT_PIN_BUSY)
#define PRINTER_STROBE VPORT_PIN(VPORT_PIN_STROBE)
#define PRINTER_INIT VPORT_PIN(VPORT_PIN_INIT)

void vport_printer_reset(struct vport_printer *printer)
{
  printer->received = 0;
  printer->last = 0;
}

void vport_printer_lines_changed(void *context, uint32_t lines, uint32_t changed)
{
  struct vport_printer *printer = context;
  uint32_t falling = changed & ~lines;
  if (falling & PRINTER_INIT)
    vport_printer_reset(printer);
  /* Init low holds the printer in reset, where it takes nothing. */
  if ((falling & PRINTER_STROBE) && (lines & PRINTER_INIT)) {
    printer->last = (uint8_t)(lines >> VPORT_PIN_D0);
    printer->received++;
  }
}

uint32_t vport_printer_input_lines(void *context, uint32_t lines)
{
  (void)context;
  return (lines & PRINTER_INIT) ? PRINTER_READY_LINES : PRINTER_READY_LINES | PRINTER_BUSY;
}

uint64_t vport_divide(uint64_t dividend, uint64_t divisor, uint64_t *remainder)
{
  uint64_t quotient = 0, rest = 0;
  int bit;
  /* Long division in base 2; rest < divisor <= 2^63, so rest << 1 cannot overflow. */
  for (bit = 63; bit >= 0; bit--) {
    rest = (rest << 1) | ((dividend >> bit) & 1u);
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= (uint64_t)1 << bit;
    }
  }
  if (remainder != 0)
    *remainder = rest;
  return quotient;
}

/* Every edge of the generator falls on a multiple of 1/6000 s: the half periods of Ack
   (1/2000 s), the quarters of Paper out (1/400 s), Select's milliseconds and the serial
   line's bits (1/300 s) all divide it, and all of them divide a second. */
#define GENERATOR_STEPS_PER_SECOND 6000u
/* Keeps ticks-within-a-second times GENERATOR_STEPS_PER_SECOND within 64 bits. */
#define GENERATOR_MAX_FREQUENCY ((int64_t)1 << 50)
#define SERIAL_CHARACTER_BITS 10u /* start, eight data bits, stop */
#define SERIAL_FRAME_BITS 100u    /* the text's nine characters and one character time idle */

static const char generator_text[] = "PINSCOPE\n";

/* The serial line's level at bit `bit` of a frame. */
static uint32_t serial_level(unsigned bit)
{
  unsigned character = bit / SERIAL_CHARACTER_BITS, position = bit % SERIAL_CHARACTER_BITS;
  if (character >= sizeof generator_text - 1 || position == SERIAL_CHARACTER_BITS - 1)
    return 1; /* idle, or the stop bit */
  if (position == 0)
    return 0; /* the start bit */
  return ((unsigned char)generator_text[character] >> (position - 1)) & 1u;
}

uint32_t vport_signal_generator_lines(int64_t ticks, int64_t frequency)
{
  uint64_t within; /* ticks since the last whole second */
  unsigned step;
  uint32_t lines = VPORT_PIN(VPORT_PIN_FAULT);
  if (frequency <= 0 || frequency > GENERATOR_MAX_FREQUENCY)
    return VPORT_INPUT_PINS;
  if (ticks >= 0) {
    vport_divide((uint64_t)ticks, (uint64_t)frequency, &within);
  } else {
    /* Seconds before zero run forward too: -1 is the last tick of second -1. */
    vport_divide((uint64_t)(-(ticks + 1)), (uint64_t)frequency, &within);
    within = (uint64_t)frequency - 1u - within;
  }
  step = (unsigned)vport_divide(within * GENERATOR_STEPS_PER_SECOND, (uint64_t)frequency, 0);
  if ((step / 3u) % 2u == 0) /* in half milliseconds */
    lines |= VPORT_PIN(VPORT_PIN_ACK);
  if ((step / 15u) % 4u == 0) /* in 2.5 ms */
    lines |= VPORT_PIN(VPORT_PIN_PAPER_OUT);
  if ((step / 6u) % 20u == 0) /* in milliseconds */
    lines |= VPORT_PIN(VPORT_PIN_SELECT);
  if (serial_level((step / 20u) % SERIAL_FRAME_BITS)) /* in bit times */
    lines |= VPORT_PIN(VPORT_PIN_BUSY);
  return lines;
}

uint32_t vport_signal_generator_input_lines(void *context, uint32_t lines)
{
  const struct vport_signal_generator *generator = context;
  int64_t frequency = 0;
  int64_t now = generator->counter(generator->counter_context, &frequency);
  (void)lines;
  return vport_signal_generator_lines(now, frequency);
}

/* The port answering at `address`, and which of its registers. */
static struct vport *decode(const struct vport_slot *slots, unsigned count, uint16_t address, unsigned *offset)
{
  unsigned i;
  for (i = 0; i < count; i++) {
    *offset = (unsigned)address - slots[i].base;
    if (address >= slots[i].base && *offset < 3u)
      return slots[i].port;
  }
  return 0;
}

uint8_t vport_bus_read(const struct vport_slot *slots, unsigned count, uint16_t address)
{
  unsigned offset;
  struct vport *port = decode(slots, count, address, &offset);
  return port != 0 ? vport_read(port, offset) : 0xFF;
}

void vport_bus_write(const struct vport_slot *slots, unsigned count, uint16_t address, uint8_t value)
{
  unsigned offset;
  struct vport *port = decode(slots, count, address, &offset);
  if (port != 0)
    vport_write(port, offset, value);
}

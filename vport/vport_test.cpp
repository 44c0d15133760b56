#include "vport/vport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

// A peripheral that drives chosen input levels and remembers what the port told it.
struct Probe {
  uint32_t drive = VPORT_INPUT_PINS;
  uint32_t sampled_outputs = 0;
  std::vector<std::pair<uint32_t, uint32_t>> changes;  // (lines, changed)
  vport_peripheral peripheral{this, &Changed, &Inputs};

  static void Changed(void* context, uint32_t lines, uint32_t changed) {
    static_cast<Probe*>(context)->changes.emplace_back(lines, changed);
  }
  static uint32_t Inputs(void* context, uint32_t lines) {
    auto* probe = static_cast<Probe*>(context);
    probe->sampled_outputs = lines;
    return probe->drive;
  }
};

vport Fresh() {
  vport port{0x5A, 0x3F, nullptr};
  vport_reset(&port);
  return port;
}

// The connector as a printer cable documents it, written out independently of the module.
struct PinCase {
  unsigned pin;
  unsigned offset;
  unsigned bit;
  bool inverted;
};
constexpr PinCase kSignalPins[] = {
    {1, 2, 0, true},    // Strobe
    {2, 0, 0, false},   {3, 0, 1, false}, {4, 0, 2, false}, {5, 0, 3, false},
    {6, 0, 4, false},   {7, 0, 5, false}, {8, 0, 6, false}, {9, 0, 7, false},
    {10, 1, 6, false},  // Ack
    {11, 1, 7, true},   // Busy
    {12, 1, 5, false},  // PaperOut
    {13, 1, 4, false},  // Select
    {14, 2, 1, true},   // AutoLF
    {15, 1, 3, false},  // Fault
    {16, 2, 2, false},  // Init
    {17, 2, 3, true},   // SelectIn
};

TEST(VportPins, EachSignalPinFollowsItsRegisterBitThroughTheInverters) {
  for (const PinCase& c : kSignalPins) {
    SCOPED_TRACE(testing::Message() << "pin " << c.pin);
    vport port = Fresh();
    const uint8_t bit = static_cast<uint8_t>(1u << c.bit);
    if (c.offset == VPORT_STATUS) {
      Probe probe;
      vport_plug(&port, &probe.peripheral);
      probe.drive = VPORT_INPUT_PINS & ~VPORT_PIN(c.pin);
      const uint8_t low = vport_read(&port, VPORT_STATUS);
      EXPECT_EQ(vport_pin_level(&port, c.pin), 0);
      probe.drive = VPORT_INPUT_PINS;
      const uint8_t high = vport_read(&port, VPORT_STATUS);
      EXPECT_EQ(vport_pin_level(&port, c.pin), 1);
      EXPECT_EQ(low ^ high, bit) << "the pin must move exactly its own status bit";
      EXPECT_EQ((high & bit) != 0, !c.inverted);
    } else {
      vport_write(&port, c.offset, 0);
      const uint32_t clear = vport_lines(&port);
      vport_write(&port, c.offset, bit);
      const uint32_t set = vport_lines(&port);
      EXPECT_EQ(clear ^ set, VPORT_PIN(c.pin)) << "the bit must move exactly its own pin";
      EXPECT_EQ((set & VPORT_PIN(c.pin)) != 0, !c.inverted);
      EXPECT_EQ(vport_pin_level(&port, c.pin), c.inverted ? 0 : 1);
    }
  }
}

TEST(VportPins, GroundAndUnknownPinsReadLowWhateverThePeripheralDrives) {
  vport port = Fresh();
  Probe probe;
  probe.drive = ~0u;
  vport_plug(&port, &probe.peripheral);
  vport_write(&port, VPORT_DATA, 0x00);
  vport_write(&port, VPORT_CONTROL, VPORT_CONTROL_STROBE | VPORT_CONTROL_AUTO_LF | VPORT_CONTROL_SELECT_IN);
  EXPECT_EQ(vport_lines(&port), VPORT_INPUT_PINS) << "the peripheral cannot raise the port's own outputs";
  for (unsigned pin = VPORT_FIRST_GROUND_PIN; pin <= VPORT_PIN_COUNT; ++pin) EXPECT_EQ(vport_pin_level(&port, pin), 0) << pin;
  EXPECT_EQ(vport_pin_level(&port, 0), 0);
  EXPECT_EQ(vport_pin_level(&port, 26), 0);
}

TEST(Vport, ResetSetsEveryRegisterAndKeepsThePlug) {
  Probe probe;
  vport port{0xA5, 0x3B, nullptr};
  vport_plug(&port, &probe.peripheral);
  probe.changes.clear();

  vport_reset(&port);
  EXPECT_EQ(port.peripheral, &probe.peripheral);
  EXPECT_EQ(vport_read(&port, VPORT_DATA), 0x00);
  EXPECT_EQ(vport_read(&port, VPORT_CONTROL), 0xCC);
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x7F);
  // Strobe and AutoLF idle high, Init high, SelectIn low (the printer selected), data low.
  EXPECT_EQ(vport_lines(&port) & VPORT_OUTPUT_PINS, VPORT_PIN(1) | VPORT_PIN(14) | VPORT_PIN(16));
  ASSERT_EQ(probe.changes.size(), 1u) << "the plugged peripheral sees the reset";

  const vport from_storage = VPORT_INITIALIZER(&probe.peripheral);
  EXPECT_EQ(from_storage.data, port.data);
  EXPECT_EQ(from_storage.control, port.control);
}

TEST(Vport, InputsFloatHighWithNothingDrivingThem) {
  vport port = Fresh();
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x7F);
  for (unsigned pin : {10u, 11u, 12u, 13u, 15u}) EXPECT_EQ(vport_pin_level(&port, pin), 1) << pin;

  // A peripheral that only listens leaves the inputs to the pull-ups too.
  vport_peripheral listener{nullptr, nullptr, nullptr};
  vport_plug(&port, &listener);
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x7F);
}

TEST(Vport, RegistersWithoutPins) {
  vport port = Fresh();
  for (uint8_t value : {0x00, 0xA5, 0x5A, 0xFF}) {
    vport_write(&port, VPORT_DATA, value);
    EXPECT_EQ(vport_read(&port, VPORT_DATA), value);
  }
  vport_write(&port, VPORT_CONTROL, 0x00);
  EXPECT_EQ(vport_read(&port, VPORT_CONTROL), 0xC0);
  vport_write(&port, VPORT_CONTROL, 0x30);
  EXPECT_EQ(vport_read(&port, VPORT_CONTROL), 0xF0) << "interrupt enable and direction are kept";
  vport_write(&port, VPORT_CONTROL, 0x0F);
  EXPECT_EQ(vport_read(&port, VPORT_CONTROL), 0xCF);

  const vport before = port;
  vport_write(&port, VPORT_STATUS, 0x00);
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x7F) << "status is read-only";
  for (unsigned offset = 3; offset < 8; ++offset) {
    vport_write(&port, offset, 0x00);
    EXPECT_EQ(vport_read(&port, offset), 0xFF) << offset;
  }
  EXPECT_EQ(port.data, before.data);
  EXPECT_EQ(port.control, before.control);
}

TEST(VportLoopback, EachWiredDataLineComesBackOnItsStatusLine) {
  struct Pair {
    unsigned data_bit, input_pin;
    uint8_t status_bit;
  };
  constexpr Pair kWiring[] = {{0, 15, 0x08}, {1, 13, 0x10}, {2, 12, 0x20}, {3, 10, 0x40}, {4, 11, 0x80}};

  vport port = Fresh();
  vport_plug(&port, &vport_loopback_plug);
  vport_write(&port, VPORT_DATA, 0x00);
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x87) << "all inputs low; Busy reads inverted";
  vport_write(&port, VPORT_DATA, 0xE0);
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x87) << "D5-D7 are not wired";

  for (const Pair& p : kWiring) {
    SCOPED_TRACE(testing::Message() << "D" << p.data_bit);
    vport_write(&port, VPORT_DATA, static_cast<uint8_t>(1u << p.data_bit));
    EXPECT_EQ(vport_lines(&port) & VPORT_INPUT_PINS, VPORT_PIN(p.input_pin));
    EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x87 ^ p.status_bit);
  }
  vport_write(&port, VPORT_DATA, 0x1F);
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x7F);
}

TEST(VportPeripheral, IsToldOfOutputPinsThatMoveAndAskedForInputs) {
  vport port = Fresh();
  Probe probe;
  vport_plug(&port, &probe.peripheral);
  ASSERT_EQ(probe.changes.size(), 1u);
  EXPECT_EQ(probe.changes[0].second, VPORT_OUTPUT_PINS) << "plugging in shows every output";
  EXPECT_EQ(probe.changes[0].first, VPORT_PIN(1) | VPORT_PIN(14) | VPORT_PIN(16));
  probe.changes.clear();

  vport_write(&port, VPORT_DATA, 0x00);
  vport_write(&port, VPORT_CONTROL, VPORT_CONTROL_RESET | VPORT_CONTROL_IRQ_ENABLE | VPORT_CONTROL_DIRECTION);
  vport_write(&port, VPORT_STATUS, 0xFF);
  EXPECT_TRUE(probe.changes.empty()) << "no pin moved";

  vport_write(&port, VPORT_DATA, 0x81);
  vport_write(&port, VPORT_CONTROL, VPORT_CONTROL_RESET | VPORT_CONTROL_STROBE);
  ASSERT_EQ(probe.changes.size(), 2u);
  EXPECT_EQ(probe.changes[0].second, VPORT_PIN(2) | VPORT_PIN(9));
  EXPECT_EQ(probe.changes[1].second, VPORT_PIN(1)) << "Strobe went low";
  EXPECT_EQ(probe.changes[1].first, VPORT_PIN(2) | VPORT_PIN(9) | VPORT_PIN(14) | VPORT_PIN(16));

  vport_read(&port, VPORT_STATUS);
  EXPECT_EQ(probe.sampled_outputs, probe.changes[1].first);

  vport_plug(&port, nullptr);
  vport_write(&port, VPORT_DATA, 0x00);
  EXPECT_EQ(probe.changes.size(), 2u) << "an unplugged peripheral hears nothing";
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x7F);
}

// --- The always-ready printer ------------------------------------------------------------------

// Control values at the pins' polarity: Init high and the printer selected, with Strobe
// released or pulled low.
constexpr uint8_t kIdle = VPORT_CONTROL_INIT | VPORT_CONTROL_SELECT_IN;
constexpr uint8_t kStrobe = kIdle | VPORT_CONTROL_STROBE;

TEST(VportPrinter, LatchesTheDataOnStrobesFallingEdgeOnly) {
  vport_printer printer = VPORT_PRINTER_INITIALIZER(&printer);
  vport port = Fresh();
  vport_plug(&port, &printer.plug);
  EXPECT_EQ(printer.received, 0u) << "plugging in with Strobe high is no edge";

  vport_write(&port, VPORT_DATA, 0xA5);
  EXPECT_EQ(printer.received, 0u) << "data alone is not taken";
  vport_write(&port, VPORT_CONTROL, kStrobe);
  EXPECT_EQ(printer.received, 1u);
  EXPECT_EQ(printer.last, 0xA5);

  vport_write(&port, VPORT_DATA, 0x3C);
  vport_write(&port, VPORT_CONTROL, kStrobe | VPORT_CONTROL_AUTO_LF);
  vport_write(&port, VPORT_CONTROL, kStrobe);
  EXPECT_EQ(printer.received, 1u) << "neither new data nor other lines while Strobe stays low";
  vport_write(&port, VPORT_CONTROL, kIdle);
  EXPECT_EQ(printer.received, 1u) << "Strobe rising latches nothing";
  EXPECT_EQ(printer.last, 0xA5);

  // The sender's own sequence for each byte: data, then Strobe low and high again.
  for (uint8_t byte : {0x00, 0xFF, 0x81}) {
    vport_write(&port, VPORT_DATA, byte);
    vport_write(&port, VPORT_CONTROL, kStrobe);
    vport_write(&port, VPORT_CONTROL, kIdle);
    EXPECT_EQ(printer.last, byte);
  }
  EXPECT_EQ(printer.received, 4u);

  vport_plug(&port, nullptr);
  vport_write(&port, VPORT_CONTROL, kStrobe);
  vport_plug(&port, &printer.plug);
  EXPECT_EQ(printer.received, 5u) << "its pulled-up input sees Strobe fall when it is plugged in";
}

TEST(VportPrinter, InitLowResetsItAndHoldsItBusy) {
  vport_printer printer = VPORT_PRINTER_INITIALIZER(&printer);
  vport port = Fresh();
  vport_plug(&port, &printer.plug);
  vport_write(&port, VPORT_DATA, 0x42);
  vport_write(&port, VPORT_CONTROL, kStrobe);
  vport_write(&port, VPORT_CONTROL, kIdle);
  ASSERT_EQ(printer.received, 1u);

  vport_write(&port, VPORT_CONTROL, kIdle & ~VPORT_CONTROL_INIT);
  EXPECT_EQ(printer.received, 0u);
  EXPECT_EQ(printer.last, 0);
  EXPECT_EQ(vport_pin_level(&port, 11), 1) << "Busy while Init is held low";
  EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0x5F);
  vport_write(&port, VPORT_CONTROL, kStrobe & ~VPORT_CONTROL_INIT);
  EXPECT_EQ(printer.received, 0u) << "a printer held in reset takes nothing";

  // Init rising in the same write that leaves Strobe low again is no new edge of Strobe.
  vport_write(&port, VPORT_CONTROL, kStrobe);
  EXPECT_EQ(printer.received, 0u);
  EXPECT_EQ(vport_pin_level(&port, 11), 0);
  vport_write(&port, VPORT_CONTROL, kIdle);
  vport_write(&port, VPORT_CONTROL, kStrobe);
  EXPECT_EQ(printer.received, 1u);
  EXPECT_EQ(printer.last, 0x42);

  printer.received = 7;
  vport_printer_reset(&printer);
  const vport_printer from_storage = VPORT_PRINTER_INITIALIZER(&printer);
  EXPECT_EQ(printer.received, from_storage.received);
  EXPECT_EQ(printer.last, from_storage.last);
}

TEST(VportPrinter, DrivesItsStatusLinesAsAReadyPrinter) {
  vport_printer printer = VPORT_PRINTER_INITIALIZER(&printer);
  vport port = Fresh();
  vport_plug(&port, &printer.plug);
  for (uint8_t data : {0x00, 0xFF}) {
    vport_write(&port, VPORT_DATA, data);
    for (uint8_t control : {kIdle, kStrobe}) {
      vport_write(&port, VPORT_CONTROL, control);
      SCOPED_TRACE(testing::Message() << "data " << int(data) << ", control " << int(control));
      EXPECT_EQ(vport_lines(&port) & VPORT_INPUT_PINS, VPORT_PIN(10) | VPORT_PIN(13) | VPORT_PIN(15))
          << "Ack idle, Busy low, PaperOut low, Select and Fault high";
      // Busy low reads as status bit 7 set: a sender waiting for it goes straight on.
      EXPECT_EQ(vport_read(&port, VPORT_STATUS), 0xDF);
    }
  }
}

TEST(VportBus, EachPortAnswersAtThreeAddresses) {
  vport lpt1 = Fresh(), lpt2 = Fresh();
  vport_plug(&lpt1, &vport_loopback_plug);
  const vport_slot slots[] = {{0x378, &lpt1}, {0x278, &lpt2}};

  vport_bus_write(slots, 2, 0x378, 0x01);
  vport_bus_write(slots, 2, 0x27A, 0x00);
  EXPECT_EQ(lpt1.data, 0x01);
  EXPECT_EQ(lpt2.control, 0x00);
  EXPECT_EQ(vport_bus_read(slots, 2, 0x379), 0x8F);
  EXPECT_EQ(vport_bus_read(slots, 2, 0x279), 0x7F);
  EXPECT_EQ(vport_bus_read(slots, 2, 0x27A), 0xC0);

  for (uint16_t address : {0x377, 0x37B, 0x3BC, 0x000, 0xFFFF}) {
    vport_bus_write(slots, 2, address, 0x55);
    EXPECT_EQ(vport_bus_read(slots, 2, address), 0xFF) << address;
  }
  EXPECT_EQ(lpt1.data, 0x01);
  EXPECT_EQ(lpt1.control, VPORT_CONTROL_RESET);
}

}  // namespace

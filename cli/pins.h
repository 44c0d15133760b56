// The connector's signal pins as the window shows them, in its order: which register bit each
// is tied to, and which the port inverts between that bit and the connector.
#pragma once

#include <array>
#include <cstdint>

namespace cli {

struct SignalPin {
  int number;
  const char* name;
  uint8_t offset;  // register: 0 data, 1 status, 2 control
  uint8_t mask;
  bool inverted;  // the connector carries the opposite of the register bit
  bool output;    // the port drives it; the others are driven by the peripheral
};

inline constexpr std::array<SignalPin, 17> kSignalPins{{
    {1, "Strobe", 2, 0x01, true, true},    {2, "Data 0", 0, 0x01, false, true},
    {3, "Data 1", 0, 0x02, false, true},   {4, "Data 2", 0, 0x04, false, true},
    {5, "Data 3", 0, 0x08, false, true},   {6, "Data 4", 0, 0x10, false, true},
    {7, "Data 5", 0, 0x20, false, true},   {8, "Data 6", 0, 0x40, false, true},
    {9, "Data 7", 0, 0x80, false, true},   {10, "ACK", 1, 0x40, false, false},
    {11, "Busy", 1, 0x80, true, false},    {12, "NoPaper", 1, 0x20, false, false},
    {13, "Select", 1, 0x10, false, false}, {14, "Auto LF", 2, 0x02, true, true},
    {15, "Fault", 1, 0x08, false, false},  {16, "Init", 2, 0x04, false, true},
    {17, "Select IN", 2, 0x08, true, true},
}};

/// Pins 1 to 17; null for ground pins and numbers off the connector.
const SignalPin* FindSignalPin(int number);

/// The three registers as read at one moment.
struct Registers {
  uint8_t data = 0;
  uint8_t status = 0;
  uint8_t control = 0;

  uint8_t At(unsigned offset) const { return offset == 0 ? data : offset == 1 ? status : control; }
  bool Bit(const SignalPin& pin) const { return (At(pin.offset) & pin.mask) != 0; }
  /// The level at the connector: 1 high, 0 low.
  bool Level(const SignalPin& pin) const { return Bit(pin) != pin.inverted; }
};

}  // namespace cli

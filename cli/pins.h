// The connector's signal pins as the console program reads them: the pin table, and the three
// registers sampled at one moment, from which each pin's bit and connector level follow.
#pragma once

#include <cstdint>

#include "connector/pins.h"

namespace cli {

/// The three registers as read at one moment.
struct Registers {
  uint8_t data = 0;
  uint8_t status = 0;
  uint8_t control = 0;

  uint8_t At(unsigned offset) const {
    return offset == VPORT_DATA ? data : offset == VPORT_STATUS ? status : control;
  }
  bool Bit(const vport_signal& pin) const { return (At(pin.offset) & pin.mask) != 0; }
  /// The level at the connector: 1 high, 0 low.
  bool Level(const vport_signal& pin) const {
    return ((At(pin.offset) ^ vport_inverted_bits(pin.offset)) & pin.mask) != 0;
  }
};

}  // namespace cli

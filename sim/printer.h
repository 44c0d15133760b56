// A printer on the virtual parallel port: a Centronics receiver. On the falling edge of
// Strobe (pin 1) a ready printer latches D0-D7 (pins 2-9) and raises Busy (pin 11) until it
// has dealt with the byte. Ack (pin 10) stays high: its pulse is too short for a program that
// polls to see.
// While on line and fine, Select (pin 13) is high, Paper out (pin 12) low and Fault (pin 15)
// high. The virtual port's own printer (vport_printer) latches the bytes and answers Init;
// this one adds the time each byte takes and the off-line and out-of-paper states. Times run
// on the PC's virtual clock, so that a program's polling loops meet the printer at exactly
// known moments.
//
//   VirtualPrinter printer(pc.core.clock);
//   vport_plug(&port, printer.Peripheral());
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/clock.h"
#include "vport/vport.h"

namespace sim {

class VirtualPrinter {
 public:
  explicit VirtualPrinter(Clock& clock);
  /// Unplug it first: the port keeps only a pointer. Hooks still on the clock do nothing.
  ~VirtualPrinter();
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  const vport_peripheral* Peripheral() const { return &peripheral_; }

  /// Virtual milliseconds Busy stays high after each byte; 0 (the default) answers at once,
  /// and Busy is never seen high.
  void SetBusyTime(std::uint64_t milliseconds);
  /// Off line: Select low, Fault low, Busy high; strobes are ignored.
  void SetOnline(bool online);
  /// Out of paper: Paper out high, Fault low, Busy high; strobes are ignored.
  void SetPaperOut(bool paper_out);

  /// The bytes it latched, in order.
  const std::vector<BYTE>& Received() const;
  std::string ReceivedText() const;
  /// Falling edges of Init (pin 16): each resets the printer, ending a byte in progress.
  std::size_t Resets() const;

  struct State;

 private:
  std::shared_ptr<State> state_;  // the clock's hooks hold it weakly
  vport_peripheral peripheral_;
};

}  // namespace sim

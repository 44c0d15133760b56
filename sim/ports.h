// The PC's I/O ports: virtual parallel ports (vport) at their base addresses, reached by the
// kernel's port routines (a driver) and by the IN and OUT instructions a program of the 9x
// family may execute itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/process.h"
#include "vport/vport.h"

namespace sim {

/// What Windows NT does to a program that executes IN or OUT: it ends it. Thrown so that
/// the test fails there.
class PrivilegedInstruction : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class SimPortBus final : public platform::PortInstructions {
 public:
  /// Who made an access.
  enum class By { Driver, Program };
  struct Access {
    WORD port;
    BYTE value;  // written, or what the bus answered
    bool write;
    By by;
    bool operator==(const Access&) const = default;
  };

  SimPortBus(Core& core, const SimProcess& process);

  /// IN AL,DX and OUT DX,AL of the program itself. Under NT they throw PrivilegedInstruction.
  BYTE InByte(WORD port) override;
  void OutByte(WORD port, BYTE value) override;

  /// A parallel port answering at `base` to `base + 2`, with nothing plugged in (its
  /// inputs float high). Plug a peripheral with vport_plug(&port, &vport_loopback_plug).
  /// Throws std::invalid_argument when it would overlap a port already there.
  vport& AddPort(WORD base);
  /// The port at `base`; throws std::out_of_range when there is none.
  vport& Port(WORD base);

  /// What one access takes on the bus (about a microsecond on the LPC bus, as on ISA before
  /// it, reads and writes alike): each moves the PC's performance counter on by this much.
  static constexpr std::int64_t kAccessTicks = Clock::kCounterFrequency / 1'000'000;

  /// The bus itself: an address no port decodes reads 0xFF and drops writes.
  BYTE Read(WORD port, By by);
  void Write(WORD port, BYTE value, By by);

  const std::vector<Access>& Accesses() const { return accesses_; }
  std::size_t Count(By by) const;
  void ClearAccesses() { accesses_.clear(); }

 private:
  Core& core_;
  const SimProcess& process_;
  std::map<WORD, std::unique_ptr<vport>> ports_;  // by base; vport_slot points into these
  std::vector<vport_slot> slots_;
  std::vector<Access> accesses_;
};

}  // namespace sim

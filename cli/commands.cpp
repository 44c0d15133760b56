#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/exit_codes.h"
#include "cli/pins.h"
#include "cli/report.h"
#include "cli/selftest.h"
#include "platform/win32.h"

namespace cli {

namespace {

// Status bit 7 is Busy inverted: set while the device can take a byte.
constexpr uint8_t kNotBusy = 0x80;
// How long write waits for Busy to drop before it skips a byte, as WriteString does.
constexpr uint32_t kBusyTimeoutMs = 100;
// The longest a sleeping watch goes without looking for Ctrl+C.
constexpr uint32_t kStopCheckMs = 50;

Registers ReadRegisters(TvlLPT& lpt) { return {lpt.ReadData(), lpt.ReadStatus(), lpt.ReadControl()}; }

int PrintState(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  PrintPins(console.out, invocation.port, lpt.GetLptIOBase(), ReadRegisters(lpt), invocation.json);
  return kDone;
}

int SetPins(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  for (const PinSetting& setting : invocation.pins) lpt.SetPin(setting.pin, setting.state);
  return PrintState(lpt, invocation, console);
}

int DataRegister(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  if (invocation.data) lpt.WriteData(*invocation.data);
  return PrintState(lpt, invocation, console);
}

int WriteBytes(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  std::size_t sent = 0, skipped = 0;
  for (const char c : invocation.text) {
    if (console.stop.Requested()) break;
    // In handle mode the system's port driver does the handshake, and the status register
    // this would wait on reads 0: waiting would skip every byte.
    if (!lpt.GetDirectMode() || lpt.WaitStatus(kNotBusy, kNotBusy, kBusyTimeoutMs)) {
      lpt.WriteByte(static_cast<uint8_t>(c));
      ++sent;
    } else {
      ++skipped;
    }
  }
  const std::size_t unsent = invocation.text.size() - sent - skipped;
  console.out << invocation.port << ": " << sent << (sent == 1 ? " byte" : " bytes") << " sent, " << skipped
              << " skipped because the device stayed busy";
  if (unsent) console.out << ", " << unsent << " not sent (stopped)";
  console.out << "\n";
  if (unsent) return kStopped;
  return skipped ? kDeviceFailed : kDone;
}

std::string Stamp(DWORD elapsed_ms) {
  char text[24];
  std::snprintf(text, sizeof text, "%u.%03u s", static_cast<unsigned>(elapsed_ms / 1000),
                static_cast<unsigned>(elapsed_ms % 1000));
  return text;
}

std::string PinLevel(const SignalPin& pin, const Registers& registers) {
  return std::string(pin.name) + " (" + std::to_string(pin.number) + ") " + (registers.Level(pin) ? "high" : "low");
}

int Watch(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  const DWORD start = win::GetTickCount();
  Registers last;
  last.status = lpt.ReadStatus();
  // The levels it starts from, so that each change line reads against something.
  console.out << Stamp(0) << "  start";
  for (const SignalPin& pin : kSignalPins)
    if (!pin.output) console.out << "  " << PinLevel(pin, last);
  console.out << std::endl;
  uint32_t changes = 0;
  for (;;) {
    for (uint32_t waited = 0; waited < invocation.interval_ms && !console.stop.Requested(); waited += kStopCheckMs)
      win::Sleep(std::min(kStopCheckMs, invocation.interval_ms - waited));
    if (console.stop.Requested()) return kStopped;
    Registers now;
    now.status = lpt.ReadStatus();
    const DWORD elapsed = win::GetTickCount() - start;
    for (const SignalPin& pin : kSignalPins) {
      if (pin.output || now.Level(pin) == last.Level(pin)) continue;
      console.out << Stamp(elapsed) << "  " << PinLevel(pin, now) << std::endl;
      if (invocation.count && ++changes >= *invocation.count) return kDone;
    }
    last = now;
  }
}

int Selftest(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  const uint8_t original = lpt.ReadData();
  const LoopbackReport report = RunLoopbackTest([&](uint8_t data) {
    lpt.WriteData(data);
    return lpt.ReadStatus();
  });
  lpt.WriteData(original);  // the data lines as the test found them
  PrintLoopbackReport(console.out, invocation.port, report, invocation.json);
  return report.Passed() ? kDone : kDeviceFailed;
}

}  // namespace

int RunPortCommand(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  switch (invocation.command) {
    case Command::Read:
      return PrintState(lpt, invocation, console);
    case Command::Set:
      return SetPins(lpt, invocation, console);
    case Command::Data:
      return DataRegister(lpt, invocation, console);
    case Command::Write:
      return WriteBytes(lpt, invocation, console);
    case Command::Watch:
      return Watch(lpt, invocation, console);
    case Command::Selftest:
      return Selftest(lpt, invocation, console);
    default:
      return kUsage;
  }
}

}  // namespace cli

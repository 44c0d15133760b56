#include "cli/commands.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/capture.h"
#include "cli/exit_codes.h"
#include "cli/input_file.h"
#include "cli/pins.h"
#include "cli/report.h"
#include "cli/selftest.h"
#include "platform/win32.h"

namespace cli {

namespace {

// A file goes out in pieces of this size, read as the bytes before it are sent.
constexpr std::size_t kPieceBytes = 64 * 1024;
// How often a long write says how far it got.
constexpr DWORD kProgressMs = 5000;
// The longest a sleeping watch goes without looking for Ctrl+C.
constexpr uint32_t kStopCheckMs = 50;

Registers ReadRegisters(TvlLPT& lpt) { return {lpt.ReadData(), lpt.ReadStatus(), lpt.ReadControl()}; }

int PrintState(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  const Registers registers = ReadRegisters(lpt);
  if (PortRemoved(lpt)) return kPortFailed;
  PrintPins(console.out, invocation.port, lpt.GetLptIOBase(), registers, invocation.json);
  // An address where no device answers reads all ones on the ISA bus.
  if (registers.data == 0xFF && registers.status == 0xFF && registers.control == 0xFF)
    console.err << "pinscope-cli: all three registers read 0xFF: most likely nothing is at "
                << fw::HexNumber(lpt.GetLptIOBase(), 3) << " (no port, or a wrong --base)\n";
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

// What a printer needs of the control lines to take bytes: out of reset (Init high), selected
// (Select in low) and Strobe released, so that each strobe of the handshake is an edge.
constexpr uint8_t kPrintingLines = VPORT_CONTROL_STROBE | VPORT_CONTROL_INIT | VPORT_CONTROL_SELECT_IN;
constexpr uint8_t kPrinting = VPORT_CONTROL_INIT | VPORT_CONTROL_SELECT_IN;

/// Whether the device can take bytes: with --ready the lines are brought there, as printing
/// drivers do before a job; without, a port whose lines leave the device unable to take them
/// is said so and sends nothing, where the handshake would report bytes as sent that the
/// device never latched.
bool ReadyToPrint(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  const uint8_t control = lpt.ReadControl();
  if ((control & kPrintingLines) == kPrinting) return true;
  if (invocation.ready) {
    lpt.WriteControl(static_cast<uint8_t>((control & ~kPrintingLines) | kPrinting));
    return true;
  }
  std::string why;
  const auto add = [&](const char* text) { why += (why.empty() ? "" : ", ") + std::string(text); };
  if (!(control & VPORT_CONTROL_INIT)) add("Init (16) is low, which holds the device in reset");
  if (!(control & VPORT_CONTROL_SELECT_IN)) add("Select in (17) is high, which leaves it deselected");
  if (control & VPORT_CONTROL_STROBE) add("Strobe (1) is held low, so the first byte would not be latched");
  console.err << "pinscope-cli: " << invocation.port << " is not ready to print: " << why
              << " (control register " << fw::HexNumber(control, 2) << "). Nothing was sent. write --ready first releases"
              << " Strobe, brings Init high and pulls Select in low, as printing drivers do.\n";
  return false;
}

int WriteBytes(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  // In handle mode the system's port driver keeps the lines, and the registers read 0.
  if (!invocation.handle_mode && !ReadyToPrint(lpt, invocation, console)) return kDeviceFailed;
  const uint64_t total = console.file ? console.file->Size() : invocation.text.size();
  TvlLPT::Delivery sum;
  uint64_t tried = 0;  // bytes before the current piece
  const DWORD start = win::GetTickCount();
  DWORD reported = start;
  TvlLPT::SendOptions options;
  // In handle mode the system's port driver does the handshake, and the status register the
  // loop would wait on reads 0: waiting would skip every byte.
  options.wait_in_handle_mode = false;
  options.quick_handshake = true;
  options.go_on = [&](std::size_t done) {
    if (console.stop.Requested()) return false;
    if (const DWORD now = win::GetTickCount(); now - reported >= kProgressMs) {
      reported = now;
      console.err << "pinscope-cli: " << tried + done << " of " << total << " bytes tried after "
                  << (now - start) / 1000 << " s\n" << std::flush;
    }
    return true;
  };
  int code = kDone;
  bool stopped = false;
  try {
    for (;;) {
      const std::string piece = console.file ? console.file->Read(kPieceBytes) : (tried ? "" : invocation.text);
      if (piece.empty()) break;
      const TvlLPT::Delivery delivery = lpt.SendString(piece, options);
      sum.sent += delivery.sent;
      sum.skipped += delivery.skipped;
      sum.failed += delivery.failed;
      tried += piece.size() - delivery.unsent;
      if (delivery.unsent) {
        stopped = true;
        break;
      }
    }
  } catch (const FileError& error) {
    console.err << "pinscope-cli: " << error.what() << "\n";
    code = kUsage;
  }
  const uint64_t unsent = total - tried;
  if (unsent && !stopped && code == kDone) {
    console.err << "pinscope-cli: " << *invocation.file << " got shorter while it was sent\n";
    code = kUsage;
  }
  console.out << invocation.port << ": " << sum.sent << (sum.sent == 1 ? " byte" : " bytes") << " sent, "
              << sum.skipped << " skipped because the device stayed busy";
  if (sum.failed) console.out << ", " << sum.failed << " not taken by the port";
  if (unsent) console.out << ", " << unsent << " not sent" << (stopped ? " (stopped)" : "");
  console.out << "\n";
  if (code != kDone) return code;
  if (stopped) return kStopped;
  return sum.skipped || sum.failed ? kDeviceFailed : kDone;
}

std::string PinLevel(const vport_signal& pin, const Registers& registers) {
  return std::string(pin.name) + " (" + std::to_string(pin.pin) + ") " + (registers.Level(pin) ? "high" : "low");
}

int Watch(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  const DWORD start = win::GetTickCount();
  Registers last;
  last.status = lpt.ReadStatus();
  // The levels it starts from, so that each change line reads against something.
  console.out << Stamp(0) << "  start";
  for (const vport_signal& pin : connector::kSignals)
    if (!pin.output) console.out << "  " << PinLevel(pin, last);
  console.out << std::endl;
  uint32_t changes = 0;
  for (;;) {
    if (!PauseUnlessStopped(invocation.interval_ms, console)) return kStopped;
    Registers now;
    now.status = lpt.ReadStatus();
    if (PortRemoved(lpt)) return kPortFailed;
    const DWORD elapsed = win::GetTickCount() - start;
    for (const vport_signal& pin : connector::kSignals) {
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

std::string Stamp(DWORD elapsed_ms) {
  char text[24];
  std::snprintf(text, sizeof text, "%u.%03u s", static_cast<unsigned>(elapsed_ms / 1000),
                static_cast<unsigned>(elapsed_ms % 1000));
  return text;
}

bool PauseUnlessStopped(uint32_t interval_ms, const Console& console) {
  for (uint32_t waited = 0; waited < interval_ms && !console.stop.Requested(); waited += kStopCheckMs)
    win::Sleep(std::min(kStopCheckMs, interval_ms - waited));
  return !console.stop.Requested();
}

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
    case Command::Capture:
      return Capture(lpt, invocation, console);
    default:
      return kUsage;
  }
}

}  // namespace cli

#include "cli/capture.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "cli/duration_text.h"
#include "cli/exit_codes.h"
#include "cli/output_file.h"
#include "cli/pin_timing.h"
#include "cli/recording_builder.h"
#include "cli/svg_writer.h"
#include "cli/vcd_writer.h"
#include "driver/vlio_ioctl.h"
#include "lib/vlwin32.h"
#include "platform/win32.h"
#include "connector/pins.h"

namespace cli {

namespace {

// How often a long capture says how far it got.
constexpr DWORD kProgressMs = 1000;

/// The registers that hold `pins`, in register order: a request reads nothing it need not.
std::vector<unsigned> RegistersOf(PinLevels pins) {
  unsigned used = 0;  // bit N for register offset N
  for (const vport_signal& signal : connector::kSignals)
    if (pins & VPORT_PIN(signal.pin)) used |= 1u << signal.offset;
  std::vector<unsigned> offsets;
  for (unsigned offset = 0; used >> offset; ++offset)
    if (used >> offset & 1) offsets.push_back(offset);
  return offsets;
}

bool Meets(TriggerCondition condition, bool before, bool after) {
  switch (condition) {
    case TriggerCondition::Rising:
      return !before && after;
    case TriggerCondition::Falling:
      return before && !after;
    case TriggerCondition::High:
      return after;
    case TriggerCondition::Low:
      return !after;
    case TriggerCondition::Change:
      return before != after;
  }
  return false;
}

/// When the trigger's condition is first met from `armed` on, among the changes from `from` on
/// (a level also where it already holds at `armed`); nothing when it is not. Armed only once
/// the time kept from before the trigger has been recorded, so that the kept time is all there.
std::optional<int64_t> FindTrigger(const Recording& recording, const Trigger& trigger, std::size_t from,
                                   int64_t armed) {
  const PinLevels pin = VPORT_PIN(trigger.pin);
  const bool level = trigger.condition == TriggerCondition::High || trigger.condition == TriggerCondition::Low;
  if (level && Meets(trigger.condition, false, (recording.LevelsAt(armed) & pin) != 0)) return armed;
  PinLevels before = from == 0 ? recording.initial : recording.changes[from - 1].levels;
  for (std::size_t i = from; i < recording.changes.size(); ++i) {
    const PinLevels after = recording.changes[i].levels;
    if (recording.changes[i].at > armed && ((before ^ after) & pin) &&
        Meets(trigger.condition, (before & pin) != 0, (after & pin) != 0))
      return recording.changes[i].at;
    before = after;
  }
  return {};
}

std::string Duration(uint64_t microseconds) { return DurationText(static_cast<double>(microseconds) / 1e6); }

}  // namespace

CaptureResult RecordPins(TvlLPT& lpt, const CaptureOptions& options, const Console& console) {
  const std::vector<unsigned> offsets = RegistersOf(options.pins);
  RecordingBuilder builder(offsets, options.pins);
  builder.SetMaxChanges(kMaxChanges);
  CaptureResult result;
  std::vector<uint8_t> answer;
  std::optional<int64_t> trigger;
  std::size_t scanned = 0;     // changes looked at for the trigger
  uint64_t reads_wanted = options.samples.value_or(0);
  const uint64_t pretrigger_us = options.trigger ? options.duration_us / kPretriggerShare : 0;
  // What the whole capture may take, for progress: the wait for a trigger and the recording.
  const uint64_t expected_us = (options.trigger ? options.timeout_us : 0) + options.duration_us;
  const bool report = options.samples || expected_us > 1'000'000;
  const DWORD started = win::GetTickCount();
  DWORD reported = started;
  for (;;) {
    if (console.stop.Requested()) {
      builder.Current().stopped = true;
      break;
    }
    uint32_t rounds = VLIO_SAMPLE_MAX_ROUNDS;
    uint64_t microseconds = VLIO_SAMPLE_MAX_MICROSECONDS;
    if (trigger || !options.trigger) {
      if (options.samples) {
        rounds = static_cast<uint32_t>(std::min<uint64_t>(reads_wanted - builder.Current().reads, rounds));
      } else if (builder.Current().frequency == 0) {
        microseconds = std::min(microseconds, options.duration_us);
      } else {
        // The last request asks only for what is left, so that a short capture takes no longer.
        const int64_t left = (trigger ? *trigger : 0) + builder.Ticks(options.duration_us) - builder.Now();
        microseconds = std::min(microseconds, builder.Microseconds(std::max<int64_t>(left, 0)) + 1);
      }
    }
    if (!lpt.SampleRegisters(offsets, rounds, static_cast<uint32_t>(microseconds), answer))
      throw std::runtime_error(lpt.GetPortName() + " could not be sampled.\n" + SystemErrorText(win::GetLastError()));
    const uint64_t reads_before = builder.Current().reads;
    builder.Add(answer);
    const Recording& recording = builder.Current();
    const int64_t armed = builder.FirstReadAt() + builder.Ticks(pretrigger_us);
    if (options.trigger && !trigger && builder.Now() >= armed) {
      trigger = FindTrigger(recording, *options.trigger, scanned, armed);
      scanned = recording.changes.size();
      if (trigger) {
        builder.Current().trigger = *trigger;
        // Reads count from the request that met the trigger.
        if (options.samples) reads_wanted = reads_before + *options.samples;
      } else if (builder.SinceFirstRead() >= builder.Ticks(pretrigger_us) + builder.Ticks(options.timeout_us)) {
        result.trigger_timed_out = true;
        break;
      } else {
        // Only the time before the trigger that is kept is worth its memory.
        const int64_t keep_from = builder.Now() - builder.Ticks(pretrigger_us);
        if (keep_from > 0 && recording.changes.size() > 1024) {
          const std::size_t before = recording.changes.size();
          builder.StartAt(keep_from);
          scanned -= before - builder.Current().changes.size();
        }
      }
    }
    const bool recording_after_trigger = !options.trigger || trigger;
    if (recording_after_trigger) {
      if (options.samples ? builder.Current().reads >= reads_wanted
                          : builder.Now() >= (trigger ? *trigger : 0) + builder.Ticks(options.duration_us))
        break;
    }
    if (builder.Full()) {
      result.full = true;
      break;
    }
    if (const DWORD now = win::GetTickCount(); report && now - reported >= kProgressMs) {
      reported = now;
      const uint64_t elapsed_us = static_cast<uint64_t>(now - started) * 1000;
      console.err << "pinscope-cli: " << (options.trigger && !trigger ? "waiting for the trigger on " : "capturing ")
                  << lpt.GetPortName() << ": " << Duration(elapsed_us);
      // Once the trigger came, the wait it might have taken says nothing.
      if (!options.samples && !trigger) console.err << " of at most " << Duration(expected_us);
      console.err << ", " << builder.Current().changes.size() << " changes\n" << std::flush;
    }
  }
  if (trigger) {
    builder.StartAt(*trigger - builder.Ticks(pretrigger_us));
    if (!options.samples) builder.EndAt(*builder.Current().trigger + builder.Ticks(options.duration_us));
  } else if (!options.trigger && !options.samples) {
    builder.EndAt(builder.Ticks(options.duration_us));
  }
  result.recording = std::move(builder.Current());
  return result;
}

int Capture(TvlLPT& lpt, const Invocation& invocation, const Console& console) {
  CaptureResult result = RecordPins(lpt, invocation.capture, console);
  const Recording& recording = result.recording;
  if (recording.frequency == 0) {
    console.err << "pinscope-cli: stopped before anything was recorded; nothing is written\n";
    return kStopped;
  }
  if (result.trigger_timed_out) {
    console.err << "pinscope-cli: the trigger did not come within " << Duration(invocation.capture.timeout_us)
                << "; nothing is written\n";
    return kDeviceFailed;
  }
  // As when the wait timed out: what came before a trigger is not the capture asked for.
  if (invocation.capture.trigger && !recording.trigger) {
    console.err << "pinscope-cli: stopped before the trigger came; nothing is written\n";
    return kStopped;
  }
  if (result.full)
    console.err << "pinscope-cli: the capture ended after " << recording.changes.size()
                << " changes, the most it keeps; what came before is written\n";
  try {
    if (console.vcd) {
      std::ostringstream text;
      WriteVcd(text, recording, VcdHeader{PINSCOPE_VERSION, invocation.port, ""});
      console.vcd->Fill(text.str());
    }
    if (console.svg) {
      std::ostringstream text;
      WriteSvg(text, recording, invocation.port);
      console.svg->Fill(text.str());
    }
  } catch (const FileError& error) {
    console.err << "pinscope-cli: " << error.what() << "\n";
    return kOutputFailed;
  }
  PrintPinTiming(console.out, MeasurePinTiming(recording), invocation.json);
  return kDone;
}

}  // namespace cli

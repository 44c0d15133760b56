// From the driver's answers to a Recording. Each sampling request covers a few milliseconds;
// the capture sends them back to back, and this stitches them: the pins' levels from the
// registers each record holds, and a gap wherever no read was made for longer than the
// driver's stall bound, inside a request (a stall it reported) or between two of them.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "cli/recording.h"
#include "connector/pins.h"

namespace cli {

/// An answer that breaks the request's rules: short, records beyond what came back, a
/// counter that changed its frequency or went back.
class MalformedAnswer : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RecordingBuilder {
 public:
  /// `offsets`: the registers each request reads, in order, as offsets from the port's base;
  /// `pins`: the pins to record, each on one of those registers.
  RecordingBuilder(std::span<const unsigned> offsets, PinLevels pins);

  /// The next answer (header and records) of the same registers. Throws MalformedAnswer. Once
  /// the recording holds `max_changes` changes, it ends before the next one: that answer is
  /// taken up to the read before it, and Full() is true.
  void Add(std::span<const uint8_t> answer);
  void SetMaxChanges(std::size_t max_changes) { max_changes_ = max_changes; }
  bool Full() const { return full_; }

  /// Ticks from the recording's start to its last read so far.
  int64_t Now() const { return recording_.end; }
  /// Ticks from the first read to the last, whatever StartAt dropped.
  int64_t SinceFirstRead() const { return origin_ + recording_.end - first_read_; }
  /// The first read, in the recording's time: before its start once StartAt dropped it.
  int64_t FirstReadAt() const { return first_read_ - origin_; }
  /// Ticks that `microseconds` come to; the frequency is known from the first answer on.
  int64_t Ticks(uint64_t microseconds) const;
  /// Microseconds that `ticks` (>= 0) come to, rounded down.
  uint64_t Microseconds(int64_t ticks) const {
    return static_cast<uint64_t>(MulDiv(ticks, 1'000'000, recording_.frequency));
  }
  const Recording& Current() const { return recording_; }
  Recording& Current() { return recording_; }

  /// Makes `at` the recording's start: what came before is dropped (its reads too), the levels
  /// there become the initial ones, and every time is counted from it. Nothing changes for
  /// `at` <= 0.
  void StartAt(int64_t at);
  /// Ends the recording at `at`, dropping what came after (its reads too); nothing changes for
  /// `at` >= Now().
  void EndAt(int64_t at);

 private:
  PinLevels Levels(const uint8_t* values) const;
  void AddGap(int64_t begin, int64_t end);
  void AddChange(int64_t at, PinLevels levels);
  // Counts the reads of the answers within the recording's start and end again: an answer cut
  // by either keeps the share of its reads that its kept time is.
  void CountReads();

  // An answer's reads, by the counter: `rounds` read from `first` to `last`.
  struct Span {
    int64_t first, last;
    uint64_t rounds;
  };
  std::vector<Span> spans_;
  std::size_t max_changes_ = SIZE_MAX;
  bool full_ = false;
  std::vector<unsigned> offsets_;             // of the registers each record's values hold, in order
  std::vector<const vport_signal*> signals_;  // the pins recorded
  Recording recording_;
  bool started_ = false;
  int64_t origin_ = 0;  // the counter at the recording's start
  int64_t first_read_ = 0;
  int64_t stall_ticks_ = 0;
  PinLevels levels_ = 0;  // at the last read
};

}  // namespace cli

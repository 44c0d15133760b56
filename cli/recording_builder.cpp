#include "cli/recording_builder.h"

#include <algorithm>
#include <cstring>

#include "cli/pins.h"
#include "driver/vlio_ioctl.h"
#include "connector/pins.h"

namespace cli {

RecordingBuilder::RecordingBuilder(std::span<const unsigned> offsets, PinLevels pins)
    : offsets_(offsets.begin(), offsets.end()) {
  recording_.pins = pins;
  for (const unsigned offset : offsets_)
    if (offset > VPORT_CONTROL) throw std::invalid_argument("a register beyond the port's three");
  for (const vport_signal& signal : connector::kSignals) {
    if (!(pins & VPORT_PIN(signal.pin))) continue;
    if (std::find(offsets_.begin(), offsets_.end(), signal.offset) == offsets_.end())
      throw std::invalid_argument("a pin's register is not among those sampled");
    signals_.push_back(&signal);
  }
}

int64_t RecordingBuilder::Ticks(uint64_t microseconds) const {
  return MulDiv(static_cast<int64_t>(microseconds), recording_.frequency, 1'000'000);
}

PinLevels RecordingBuilder::Levels(const uint8_t* values) const {
  Registers registers;
  uint8_t* const fields[] = {&registers.data, &registers.status, &registers.control};
  for (std::size_t i = 0; i < offsets_.size(); ++i) *fields[offsets_[i]] = values[i];
  PinLevels levels = 0;
  for (const vport_signal* signal : signals_)
    if (registers.Level(*signal)) levels |= VPORT_PIN(signal->pin);
  return levels;
}

void RecordingBuilder::Add(std::span<const uint8_t> answer) {
  VLIO_SAMPLE_OUTPUT header;
  if (answer.size() < sizeof header) throw MalformedAnswer("a sampling answer shorter than its header");
  std::memcpy(&header, answer.data(), sizeof header);
  const std::size_t room = (answer.size() - sizeof header) / sizeof(VLIO_SAMPLE_RECORD);
  if (header.Records == 0 || header.Records > room)
    throw MalformedAnswer("a sampling answer with " + std::to_string(header.Records) + " records in room for " +
                          std::to_string(room));
  if (header.Frequency <= 0 || header.Last < header.First)
    throw MalformedAnswer("a sampling answer whose counter is not a counter");
  const bool first_answer = !started_;
  if (first_answer) {
    started_ = true;
    recording_.frequency = header.Frequency;
    origin_ = first_read_ = header.First;
    // The stall bound, rounded up: a span between reads this long is still the loop running.
    stall_ticks_ = MulDiv(VLIO_SAMPLE_STALL_MICROSECONDS, header.Frequency, 1'000'000) + 1;
  } else {
    if (header.Frequency != recording_.frequency) throw MalformedAnswer("the counter's frequency changed");
    const int64_t last = origin_ + recording_.end;
    if (header.First < last) throw MalformedAnswer("a sampling answer that begins before the one before ended");
    if (header.First - last > stall_ticks_) AddGap(recording_.end, header.First - origin_);
  }
  const uint8_t* record_bytes = answer.data() + sizeof header;
  int64_t previous = header.First;
  int64_t last = header.Last;
  uint64_t rounds = header.Rounds;
  for (uint32_t i = 0; i < header.Records; ++i) {
    VLIO_SAMPLE_RECORD record;
    std::memcpy(&record, record_bytes + i * sizeof record, sizeof record);
    const int64_t at = header.First + record.Ticks;
    if (at < previous || at > header.Last) throw MalformedAnswer("a sampling record out of time order");
    const int64_t read_before = previous;
    previous = at;
    if (record.StallTicks) AddGap(std::max<int64_t>(at - record.StallTicks, header.First) - origin_, at - origin_);
    const PinLevels levels = Levels(record.Values);
    if (first_answer && i == 0) {
      recording_.initial = levels_ = levels;
    } else if (levels != levels_) {
      if (recording_.changes.size() >= max_changes_) {
        // Ends just before this change, with the rounds before its own.
        full_ = true;
        last = std::max(read_before, at - 1);
        rounds = record.Round;
        break;
      }
      AddChange(at - origin_, levels);
    }
  }
  recording_.end = last - origin_;
  recording_.reads += rounds;
  spans_.push_back({header.First, last, rounds});
}

void RecordingBuilder::CountReads() {
  const int64_t start = origin_, end = origin_ + recording_.end;
  uint64_t reads = 0;
  for (const Span& span : spans_) {
    const int64_t from = std::max(span.first, start), to = std::min(span.last, end);
    if (to < from) continue;
    reads += span.last == span.first ? span.rounds
                                     : static_cast<uint64_t>(MulDiv(static_cast<int64_t>(span.rounds), to - from,
                                                                    span.last - span.first));
  }
  recording_.reads = reads;
}

void RecordingBuilder::AddGap(int64_t begin, int64_t end) {
  if (end <= begin) return;
  std::vector<SamplingGap>& gaps = recording_.gaps;
  if (!gaps.empty() && begin <= gaps.back().end) {
    gaps.back().end = std::max(gaps.back().end, end);
    return;
  }
  gaps.push_back({begin, end});
}

void RecordingBuilder::AddChange(int64_t at, PinLevels levels) {
  std::vector<LevelChange>& changes = recording_.changes;
  levels_ = levels;
  // A counter coarser than the reads stamps two changes alike: the later one stands.
  if (!changes.empty() && changes.back().at == at) {
    changes.pop_back();
    if ((changes.empty() ? recording_.initial : changes.back().levels) == levels) return;
  }
  changes.push_back({at, levels});
}

void RecordingBuilder::StartAt(int64_t at) {
  if (at <= 0 || !started_) return;
  Recording& r = recording_;
  r.initial = r.LevelsAt(at);
  std::erase_if(r.changes, [&](const LevelChange& change) { return change.at <= at; });
  for (LevelChange& change : r.changes) change.at -= at;
  std::erase_if(r.gaps, [&](const SamplingGap& gap) { return gap.end <= at; });
  for (SamplingGap& gap : r.gaps) {
    gap.begin = std::max(gap.begin, at) - at;
    gap.end -= at;
  }
  if (r.trigger) *r.trigger -= at;
  r.end -= at;
  origin_ += at;
  CountReads();
}

void RecordingBuilder::EndAt(int64_t at) {
  Recording& r = recording_;
  if (at >= r.end) return;
  std::erase_if(r.changes, [&](const LevelChange& change) { return change.at > at; });
  std::erase_if(r.gaps, [&](const SamplingGap& gap) { return gap.begin >= at; });
  if (!r.gaps.empty()) r.gaps.back().end = std::min(r.gaps.back().end, at);
  r.end = at;
  levels_ = r.LevelsAt(at);
  CountReads();
}

}  // namespace cli

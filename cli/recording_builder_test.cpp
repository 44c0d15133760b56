// Stitching the driver's answers: levels from the registers at the connector, gaps where reads
// stopped for longer than the stall bound (inside a request or between two), and the cuts a
// trigger makes.
#include "cli/recording_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/vlio_ioctl.h"
#include "connector/pins.h"

namespace cli {
namespace {

constexpr int64_t kMHz10 = 10'000'000;  // 100 ns ticks: the stall bound is 1000 ticks
constexpr unsigned kStatusAndControl[] = {VPORT_STATUS, VPORT_CONTROL};
constexpr PinLevels kAck = VPORT_PIN(VPORT_PIN_ACK), kBusy = VPORT_PIN(VPORT_PIN_BUSY),
                    kStrobe = VPORT_PIN(VPORT_PIN_STROBE);

struct Rec {
  uint32_t ticks, stall;
  uint8_t status, control;
};

std::vector<uint8_t> Answer(int64_t first, int64_t last, uint32_t rounds, std::vector<Rec> records) {
  VLIO_SAMPLE_OUTPUT header{kMHz10, first, last, rounds, static_cast<uint32_t>(records.size()), VLIO_SAMPLE_ENDED_TIME, 0};
  std::vector<uint8_t> bytes(sizeof header + records.size() * sizeof(VLIO_SAMPLE_RECORD));
  std::memcpy(bytes.data(), &header, sizeof header);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const VLIO_SAMPLE_RECORD record{records[i].ticks, static_cast<uint32_t>(i), records[i].stall,
                                    {records[i].status, records[i].control, 0, 0}};
    std::memcpy(bytes.data() + sizeof header + i * sizeof record, &record, sizeof record);
  }
  return bytes;
}

// Status 0x40 is Ack high; bit 7 clear is Busy high (inverted); control bit 0 set is Strobe low.
constexpr uint8_t kAckHighBusyHigh = 0x40, kAllLow = 0x80, kStrobeLow = 0x01, kStrobeHigh = 0x00;

TEST(RecordingBuilder, StitchesAnswersIntoLevelsAndGaps) {
  RecordingBuilder builder(kStatusAndControl, kAck | kBusy | kStrobe);
  // Counter starts at 5000. A change at +300, a periodic record that changes nothing, then a
  // stall of 2000 ticks that ends with a change.
  builder.Add(Answer(5000, 9000, 400, {{0, 0, kAllLow, kStrobeHigh},
                                        {300, 0, kAckHighBusyHigh, kStrobeHigh},
                                        {800, 0, kAckHighBusyHigh, kStrobeHigh},
                                        {3000, 2000, kAllLow, kStrobeLow}}));
  // The next request starts 500 ticks later (within the bound: no gap), the one after 1500
  // later (a gap), and its first read shows a change.
  builder.Add(Answer(9500, 12000, 100, {{0, 0, kAllLow, kStrobeLow}}));
  builder.Add(Answer(13500, 14000, 50, {{0, 0, kAckHighBusyHigh, kStrobeLow}}));

  const Recording& r = builder.Current();
  EXPECT_EQ(r.frequency, kMHz10);
  EXPECT_EQ(r.initial, kStrobe) << "Strobe is high with its bit clear; Busy low with its bit set";
  ASSERT_EQ(r.changes.size(), 3u);
  EXPECT_EQ(r.changes[0].at, 300);
  EXPECT_EQ(r.changes[0].levels, kAck | kBusy | kStrobe);
  EXPECT_EQ(r.changes[1].at, 3000);
  EXPECT_EQ(r.changes[1].levels, 0u);
  EXPECT_EQ(r.changes[2].at, 8500);
  EXPECT_EQ(r.changes[2].levels, kAck | kBusy);
  ASSERT_EQ(r.gaps.size(), 2u);
  EXPECT_EQ(r.gaps[0].begin, 1000);
  EXPECT_EQ(r.gaps[0].end, 3000);
  EXPECT_EQ(r.gaps[1].begin, 7000);
  EXPECT_EQ(r.gaps[1].end, 8500);
  EXPECT_EQ(r.end, 9000);
  EXPECT_EQ(r.reads, 550u);
  EXPECT_EQ(r.GapTicks(), 3500);
  EXPECT_EQ(r.LevelsAt(2999), kAck | kBusy | kStrobe);
  EXPECT_EQ(r.LevelsAt(3000), 0u);
}

TEST(RecordingBuilder, ATriggerCutKeepsTheLevelsAndTimesAroundIt) {
  RecordingBuilder builder(kStatusAndControl, kAck);
  builder.Add(Answer(0, 10000, 1000, {{0, 0, kAllLow, 0},
                                       {1000, 0, kAckHighBusyHigh, 0},
                                       {2000, 1500, kAllLow, 0},
                                       {6000, 0, kAckHighBusyHigh, 0},
                                       {9000, 0, kAllLow, 0}}));
  builder.Current().trigger = 6000;
  builder.StartAt(1200);  // inside the pulse, before the stall's gap (500 to 2000)
  builder.EndAt(6800);  // before the last change, at 7800 from the cut
  const Recording& r = builder.Current();
  EXPECT_EQ(r.initial, kAck);
  ASSERT_EQ(r.changes.size(), 2u);
  EXPECT_EQ(r.changes[0].at, 800);
  EXPECT_EQ(r.changes[1].at, 4800);
  ASSERT_EQ(r.gaps.size(), 1u);
  EXPECT_EQ(r.gaps[0].begin, 0) << "a gap that began before the cut begins at it";
  EXPECT_EQ(r.gaps[0].end, 800);
  EXPECT_EQ(r.trigger, 4800);
  EXPECT_EQ(r.end, 6800);
  EXPECT_EQ(builder.Ticks(1000), 10000);
  EXPECT_EQ(r.reads, 680u) << "the reads of the 6800 ticks kept, of 1000 over 10000";
}

// The limit on changes is kept to the change: the answer that would pass it is taken up to the
// read before the change, and its rounds up to that record's.
TEST(RecordingBuilder, EndsBeforeTheChangePastTheLimit) {
  RecordingBuilder builder(kStatusAndControl, kAck);
  builder.SetMaxChanges(2);
  builder.Add(Answer(0, 1000, 100, {{0, 0, kAllLow, 0}, {100, 0, kAckHighBusyHigh, 0}}));
  EXPECT_FALSE(builder.Full());
  builder.Add(Answer(1000, 2000, 100, {{0, 0, kAckHighBusyHigh, 0},
                                        {300, 0, kAllLow, 0},
                                        {600, 0, kAckHighBusyHigh, 0},
                                        {900, 0, kAllLow, 0}}));
  EXPECT_TRUE(builder.Full());
  const Recording& r = builder.Current();
  ASSERT_EQ(r.changes.size(), 2u);
  EXPECT_EQ(r.changes[1].at, 1300);
  EXPECT_EQ(r.end, 1599) << "up to the read before the change it has no room for";
  EXPECT_EQ(r.reads, 100u + 2) << "the record of that change is round 2";
}

TEST(RecordingBuilder, RefusesAnswersThatBreakTheRequestsRules) {
  const std::vector<uint8_t> good = Answer(100, 200, 10, {{0, 0, 0, 0}, {50, 0, 0x40, 0}});
  struct Case {
    const char* what;
    std::vector<uint8_t> answer;
  } cases[] = {
      {"shorter than its header", std::vector<uint8_t>(good.begin(), good.begin() + 20)},
      {"records beyond what came back", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"no records", Answer(100, 200, 10, {})},
      {"a record after the last read", Answer(100, 200, 10, {{0, 0, 0, 0}, {150, 0, 0, 0}})},
      {"records out of order", Answer(100, 200, 10, {{0, 0, 0, 0}, {50, 0, 0, 0}, {40, 0, 0, 0}})},
  };
  for (const Case& c : cases) {
    RecordingBuilder builder(kStatusAndControl, kAck);
    EXPECT_THROW(builder.Add(c.answer), MalformedAnswer) << c.what;
  }
  RecordingBuilder builder(kStatusAndControl, kAck);
  builder.Add(good);
  EXPECT_THROW(builder.Add(Answer(150, 300, 10, {{0, 0, 0, 0}})), MalformedAnswer) << "begins before the last ended";
}

}  // namespace
}  // namespace cli

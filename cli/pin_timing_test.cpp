// The timing table against captures whose pulses are known: a steady square wave, pulses cut
// off by the start, the end and a gap, lines that toggle with and without regularity.
#include "cli/pin_timing.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/recording_samples.h"

namespace cli {
namespace {

constexpr int64_t k10MHz = 10'000'000;

TEST(PinTiming, ASquareWaveHasItsFrequencyAndDutyCycle) {
  // 1 kHz, 25% high, 1000 periods on Ack; Busy never moves.
  const Recording recording = samples::HandMade(k10MHz, VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_BUSY))
                                  .Square(VPORT_PIN_ACK, 100, 2500, 7500, 1000)
                                  .End(100 + 1000 * 10'000 + 50);
  const TimingTable table = MeasurePinTiming(recording);
  ASSERT_EQ(table.pins.size(), 2u);
  const PinTiming& ack = table.pins[0];
  EXPECT_EQ(ack.pin, VPORT_PIN_ACK);
  EXPECT_EQ(ack.rising, 1000u);
  EXPECT_EQ(ack.falling, 1000u);
  EXPECT_EQ(ack.shortest_high, 2500);
  EXPECT_EQ(ack.longest_high, 2500);
  EXPECT_EQ(ack.shortest_low, 7500);
  EXPECT_EQ(ack.longest_low, 7500);  // the low before the first rise and after the last fall are cut off
  ASSERT_TRUE(ack.frequency && ack.duty);
  EXPECT_DOUBLE_EQ(*ack.frequency, 1000.0);
  EXPECT_DOUBLE_EQ(*ack.duty, 0.25);
  const PinTiming& busy = table.pins[1];
  EXPECT_EQ(busy.rising + busy.falling, 0u);
  EXPECT_FALSE(busy.shortest_high || busy.shortest_low || busy.frequency || busy.duty);

  std::ostringstream text;
  PrintPinTiming(text, table, false);
  EXPECT_NE(text.str().find("Ack (10)                1000     1000  250.0 us    250.0 us    750.0 us    750.0 us    "
                            "1.000 kHz    25.0%\n"),
            std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("Busy (11)                  0        0  -           -           -           -           -"),
            std::string::npos)
      << text.str();
}

TEST(PinTiming, PulsesCutOffByTheStartTheEndOrAGapDoNotCount) {
  // Ack: high from the start to 10, low to 30, high to 45, low to 60 across the gap (50, 60),
  // high from the gap's end to 70, low to the end.
  const Recording recording = samples::HandMade(1000, VPORT_PIN(VPORT_PIN_ACK), VPORT_PIN(VPORT_PIN_ACK))
                                  .Set(10, VPORT_PIN_ACK, false)
                                  .Set(30, VPORT_PIN_ACK, true)
                                  .Set(45, VPORT_PIN_ACK, false)
                                  .Set(60, VPORT_PIN_ACK, true)
                                  .Set(70, VPORT_PIN_ACK, false)
                                  .Gap(50, 60)
                                  .End(100);
  const TimingTable table = MeasurePinTiming(recording);
  const PinTiming& ack = table.pins.at(0);
  EXPECT_EQ(ack.rising, 2u);
  EXPECT_EQ(ack.falling, 3u);
  EXPECT_EQ(ack.shortest_high, 15);
  EXPECT_EQ(ack.longest_high, 15);
  EXPECT_EQ(ack.shortest_low, 20);
  EXPECT_EQ(ack.longest_low, 20);
  EXPECT_FALSE(ack.frequency);
  EXPECT_EQ(table.gap_ticks, 10);

  std::ostringstream json;
  PrintPinTiming(json, table, true);
  EXPECT_EQ(json.str(),
            "{\"duration\": 0.1, \"trigger\": null, \"gaps\": 1, \"gap_time\": 0.01, \"gap_share\": 0.1, \"pins\": "
            "[{\"pin\": 10, \"name\": \"Ack\", \"rising\": 2, \"falling\": 3, \"high_min\": 0.015, \"high_max\": "
            "0.015, \"low_min\": 0.02, \"low_max\": 0.02, \"frequency\": null, \"duty\": null}]}\n");
}

TEST(PinTiming, FrequencyOnlyWhereEveryPeriodIsWithinATenthOfTheMedian) {
  const struct {
    const char* name;
    std::vector<int64_t> periods;  // rising edge to rising edge, each high for half of it
    bool gap_in_second;            // a gap in the second period takes it out
    std::optional<double> frequency;
  } cases[] = {
      {"within a tenth", {1000, 1050, 950, 1000}, false, 1000.0},
      {"one period a fifth longer", {1000, 1000, 1200, 1000}, false, std::nullopt},
      {"one complete period only", {1000}, false, std::nullopt},
      {"two periods apart from a gap", {1000, 3000, 1000, 1000}, true, 1000.0},
  };
  for (const auto& c : cases) {
    samples::HandMade builder(1'000'000, VPORT_PIN(VPORT_PIN_SELECT));
    int64_t at = 10;
    for (std::size_t k = 0; k < c.periods.size(); ++k) {
      builder.Set(at, VPORT_PIN_SELECT, true).Set(at + c.periods[k] / 2, VPORT_PIN_SELECT, false);
      if (k == 1 && c.gap_in_second) builder.Gap(at + c.periods[k] / 2 + 10, at + c.periods[k] / 2 + 20);
      at += c.periods[k];
    }
    builder.Set(at, VPORT_PIN_SELECT, true);
    const PinTiming timing = MeasurePinTiming(builder.End(at + 5)).pins.at(0);
    ASSERT_EQ(timing.frequency.has_value(), c.frequency.has_value()) << c.name;
    if (c.frequency) {
      EXPECT_NEAR(*timing.frequency, *c.frequency, 1e-9) << c.name;
      EXPECT_NEAR(*timing.duty, 0.5, 1e-12) << c.name;
    }
  }
}

}  // namespace
}  // namespace cli

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "vport/vport.h"

namespace {

TEST(VportDivide, AgreesWithTheDivisionOperator) {
  constexpr uint64_t kTop = ~uint64_t{0};
  const struct {
    uint64_t dividend, divisor;
  } cases[] = {
      {0, 1},          {7, 7},        {5, 7},
      {kTop, 1},       {kTop, 3},     {kTop, uint64_t{1} << 63},
      {uint64_t{1} << 63, (uint64_t{1} << 63) - 1},
      {(uint64_t{1} << 62) + 12345, 10'000'000},
      {(uint64_t{1} << 62) - 1, 3'579'545},
      {0x123456789ABCDEF0, 2'893'437'117},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dividend << " / " << c.divisor);
    uint64_t remainder = 0;
    EXPECT_EQ(vport_divide(c.dividend, c.divisor, &remainder), c.dividend / c.divisor);
    EXPECT_EQ(remainder, c.dividend % c.divisor);
  }
}

bool Level(int64_t ticks, int64_t frequency, unsigned pin) {
  return (vport_signal_generator_lines(ticks, frequency) & VPORT_PIN(pin)) != 0;
}

// Counters: a 10 MHz one from zero, the ACPI timer's and a TSC's frequencies, and each of
// them at the whole second nearest below 2^62.
struct Counter {
  int64_t frequency;
  int64_t second;  // a tick where a second starts
};
std::vector<Counter> Counters() {
  std::vector<Counter> counters;
  for (int64_t frequency : {10'000'000LL, 3'579'545LL, 2'893'437'117LL}) {
    counters.push_back({frequency, 0});
    counters.push_back({frequency, (int64_t{1} << 62) / frequency * frequency});
  }
  return counters;
}

// The first tick at or after `numerator` / `denominator` seconds past `counter.second`.
int64_t EdgeTick(const Counter& counter, int64_t numerator, int64_t denominator) {
  return counter.second + (counter.frequency * numerator + denominator - 1) / denominator;
}

TEST(VportSignalGenerator, EachLineMovesExactlyAtItsEdges) {
  const struct {
    unsigned pin;
    int64_t numerator, denominator;  // the edge's time in seconds
    bool before, after;
  } edges[] = {
      {VPORT_PIN_ACK, 1, 2000, true, false},        // 0.5 ms
      {VPORT_PIN_ACK, 1, 1000, false, true},        // 1 ms
      {VPORT_PIN_PAPER_OUT, 1, 400, true, false},   // 2.5 ms
      {VPORT_PIN_PAPER_OUT, 1, 100, false, true},   // 10 ms
      {VPORT_PIN_PAPER_OUT, 41, 400, true, false},  // 102.5 ms
      {VPORT_PIN_SELECT, 1, 1000, true, false},     // the pulse's end
      {VPORT_PIN_SELECT, 1, 50, false, true},       // the next one's start, 20 ms
      {VPORT_PIN_SELECT, 21, 1000, true, false},
      {VPORT_PIN_SELECT, 1, 1, false, true},        // the next second
  };
  for (const Counter& counter : Counters()) {
    for (const auto& edge : edges) {
      SCOPED_TRACE(testing::Message() << "pin " << edge.pin << " at " << edge.numerator << "/" << edge.denominator
                                      << " s, " << counter.frequency << " Hz from " << counter.second);
      const int64_t tick = EdgeTick(counter, edge.numerator, edge.denominator);
      EXPECT_EQ(Level(tick - 1, counter.frequency, edge.pin), edge.before);
      EXPECT_EQ(Level(tick, counter.frequency, edge.pin), edge.after);
      EXPECT_TRUE(Level(tick, counter.frequency, VPORT_PIN_FAULT));
    }
  }
}

// The serial line read as a receiver would: sampled at each bit's centre, a low level after
// idle is a start bit, eight data bits follow LSB first, then a high stop bit.
TEST(VportSignalGenerator, BusyCarriesTheTextAsSerialWithIdleBetweenRepetitions) {
  constexpr int kBitsPerSecond = 300;
  for (const Counter& counter : Counters()) {
    SCOPED_TRACE(testing::Message() << counter.frequency << " Hz from " << counter.second);
    // A bit's level must hold from its first tick to its last, not only at its centre.
    auto bit = [&](int index) {
      const bool centre = Level(EdgeTick(counter, 2 * index + 1, 2 * kBitsPerSecond), counter.frequency, VPORT_PIN_BUSY);
      EXPECT_EQ(Level(EdgeTick(counter, index, kBitsPerSecond), counter.frequency, VPORT_PIN_BUSY), centre) << index;
      EXPECT_EQ(Level(EdgeTick(counter, index + 1, kBitsPerSecond) - 1, counter.frequency, VPORT_PIN_BUSY), centre)
          << index;
      return centre;
    };
    std::string text;
    int idle = 0, shortest_idle_after_text = kBitsPerSecond;
    for (int index = 0; index < kBitsPerSecond;) {
      if (bit(index)) {
        ++idle, ++index;
        continue;
      }
      if (!text.empty() && text.back() == '\n') shortest_idle_after_text = std::min(shortest_idle_after_text, idle);
      idle = 0;
      unsigned value = 0;
      for (int data = 0; data < 8; ++data) value |= unsigned{bit(index + 1 + data)} << data;
      EXPECT_TRUE(bit(index + 9)) << "stop bit of character " << text.size();
      text += static_cast<char>(value);
      index += 10;
    }
    shortest_idle_after_text = std::min(shortest_idle_after_text, idle);
    EXPECT_EQ(text, "PINSCOPE\nPINSCOPE\nPINSCOPE\n");
    EXPECT_GE(shortest_idle_after_text, 10) << "at least one character time of idle";
  }
}

}  // namespace

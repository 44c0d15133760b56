// The dump's time step and its exact conversion, and the dump of a small capture line by line:
// what a viewer reads depends on every one of them.
#include "cli/vcd_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/recording_samples.h"

namespace cli {
namespace {

TEST(VcdTime, StepIsTheLargestPowerOfTenWithinATickButNotBelow100ns) {
  const struct {
    int64_t frequency;
    int64_t step_ns;
  } cases[] = {{10'000'000, 100},   {3'579'545, 100}, {1'000'000, 1000}, {999'999, 1000},
               {100'000, 10'000},   {1'000, 1'000'000}, {1, 1'000'000'000}, {3'000'000'000, 100}};
  for (const auto& c : cases) EXPECT_EQ(VcdStepNanoseconds(c.frequency), c.step_ns) << c.frequency << " Hz";
}

TEST(VcdTime, TicksRoundToTheNearestStepWithoutOverflow) {
  const struct {
    int64_t ticks, frequency, step_ns, steps;
  } cases[] = {
      {7, 10'000'000, 100, 7},
      {1, 3'579'545, 100, 3},             // 279.4 ns
      {5, 3'579'545, 100, 14},            // 1396.8 ns
      {3, 20'000'000, 100, 2},            // 150 ns: the half rounds up
      {1, 20'000'000, 100, 1},            // 50 ns
      {3'000'000'000LL * 36'000 + 1, 3'000'000'000, 100, 360'000'000'000},  // ten hours at 3 GHz
      {INT64_MAX / 10'000'000 * 10'000'000, 10'000'000, 100, INT64_MAX / 10'000'000 * 10'000'000},
      {1'500'000, 1'000'000, 1000, 1'500'000},
  };
  for (const auto& c : cases) EXPECT_EQ(TicksToSteps(c.ticks, c.frequency, c.step_ns), c.steps) << c.ticks;
}

std::string Dump(const Recording& recording) {
  std::ostringstream out;
  WriteVcd(out, recording, {"1.2.3", "LPT1", "today"});
  return out.str();
}

TEST(Vcd, HeaderVariablesAndChangesOfACaptureWithAGapAndATrigger) {
  // 1 MHz: a 1 us step. Busy starts high, Ack pulses, a gap from 40 to 55 us hides Busy's fall.
  const Recording recording = samples::HandMade(1'000'000, VPORT_INPUT_PINS, VPORT_PIN(VPORT_PIN_BUSY))
                                  .Set(10, VPORT_PIN_ACK, true)
                                  .Set(20, VPORT_PIN_ACK, false)
                                  .Set(20, VPORT_PIN_SELECT, true)
                                  .Set(55, VPORT_PIN_BUSY, false)
                                  .Gap(40, 55)
                                  .Trigger(10)
                                  .End(90);
  const std::string dump = Dump(recording);
  const std::string header =
      "$date today $end\n"
      "$version Pinscope 1.2.3 $end\n"
      "$comment\n";
  EXPECT_EQ(dump.substr(0, header.size()), header);
  EXPECT_NE(dump.find("sampling_gap is 1 while no sample was taken"), std::string::npos);
  EXPECT_NE(dump.find("trigger condition was met at #10 (10.00 us)."), std::string::npos);
  const std::string rest =
      "$timescale 1 us $end\n"
      "$scope module LPT1 $end\n"
      "$var wire 1 ! p10_Ack $end\n"
      "$var wire 1 \" p11_Busy $end\n"
      "$var wire 1 # p12_Paper_out $end\n"
      "$var wire 1 $ p13_Select $end\n"
      "$var wire 1 % p15_Fault $end\n"
      "$var wire 1 & sampling_gap $end\n"
      "$upscope $end\n"
      "$enddefinitions $end\n"
      "#0\n$dumpvars\n0!\n1\"\n0#\n0$\n0%\n0&\n$end\n"
      "#10\n1!\n"
      "#20\n0!\n1$\n"
      "#40\n1&\n"
      "#55\n0\"\n0&\n"
      "#90\n";
  ASSERT_NE(dump.find("$timescale"), std::string::npos);
  EXPECT_EQ(dump.substr(dump.find("$timescale")), rest);
  // Only the header may hold a comment: sigrok stops reading at one among the changes.
  EXPECT_EQ(dump.find("$comment", dump.find("$enddefinitions")), std::string::npos);
}

TEST(Vcd, ChangesOnOneStepMakeOneBlockAndTimeOnlyGrows) {
  // 100 MHz: ten ticks a step. Ack rises at 3 and falls at 4 (both at #0), Busy pulses within
  // step 2, then Ack rises at 26 (#3) and the capture ends on that step.
  const Recording recording = samples::HandMade(100'000'000, VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_BUSY))
                                  .Set(3, VPORT_PIN_ACK, true)
                                  .Set(4, VPORT_PIN_ACK, false)
                                  .Set(19, VPORT_PIN_BUSY, true)
                                  .Set(21, VPORT_PIN_BUSY, false)
                                  .Set(26, VPORT_PIN_ACK, true)
                                  .End(29);
  const std::string dump = Dump(recording);
  EXPECT_EQ(dump.substr(dump.find("#0")), "#0\n$dumpvars\n0!\n0\"\n0#\n$end\n#3\n1!\n");
}

}  // namespace
}  // namespace cli

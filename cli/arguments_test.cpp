// The command line: what each accepted form asks for, and that every refused one names its
// fault before any port is touched.
#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "connector/pins.h"

namespace cli {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

Invocation Parse(const std::string& line) { return ParseArguments(Words(line)); }

TEST(Arguments, AcceptedFormsSayWhatToDo) {
  Invocation set = Parse("set lpt1 2=1 17=0 --json");
  EXPECT_EQ(set.command, Command::Set);
  EXPECT_EQ(set.port, "LPT1");
  EXPECT_EQ(set.port_number, 1);
  EXPECT_TRUE(set.json);
  ASSERT_EQ(set.pins.size(), 2u);
  EXPECT_EQ(set.pins[0].pin, 2);
  EXPECT_TRUE(set.pins[0].state);
  EXPECT_EQ(set.pins[1].pin, 17);
  EXPECT_FALSE(set.pins[1].state);

  Invocation data = Parse("--base=0x3BC data LPT3 0xA5");
  EXPECT_EQ(data.base, 0x3BC);
  EXPECT_EQ(data.data, 0xA5);
  EXPECT_FALSE(Parse("data LPT1").data.has_value());
  EXPECT_EQ(Parse("data LPT1 255").data, 0xFF);

  Invocation watch = Parse("watch LPT2 --interval 5 --count 3");
  EXPECT_EQ(watch.interval_ms, 5u);
  EXPECT_EQ(watch.count, 3u);
  EXPECT_EQ(Parse("watch LPT2").interval_ms, 100u);

  Invocation write = Parse("write LPT2 --handle hello");
  EXPECT_TRUE(write.handle_mode);
  EXPECT_EQ(write.text, "hello");
  EXPECT_EQ(Parse("write LPT1 --file out.bin").file, "out.bin");
  EXPECT_TRUE(Parse("list --handle").handle_mode);

  const Invocation capture = Parse("capture LPT3 --duration 250ms --pins 11,ack,Paper_out --trigger busy=falling "
                                   "--timeout 2.5 --vcd a.vcd --svg=a.svg --json");
  EXPECT_EQ(capture.command, Command::Capture);
  EXPECT_EQ(capture.capture.duration_us, 250'000u);
  EXPECT_EQ(capture.capture.pins, VPORT_PIN(10) | VPORT_PIN(11) | VPORT_PIN(12));
  ASSERT_TRUE(capture.capture.trigger);
  EXPECT_EQ(capture.capture.trigger->pin, 11);
  EXPECT_EQ(capture.capture.trigger->condition, TriggerCondition::Falling);
  EXPECT_EQ(capture.capture.timeout_us, 2'500'000u);
  EXPECT_EQ(capture.capture.vcd, "a.vcd");
  EXPECT_EQ(capture.capture.svg, "a.svg");
  const CaptureOptions defaults = Parse("capture LPT1").capture;
  EXPECT_EQ(defaults.pins, VPORT_INPUT_PINS | VPORT_PIN(1) | VPORT_PIN(14) | VPORT_PIN(16) | VPORT_PIN(17));
  EXPECT_EQ(defaults.duration_us, 1'000'000u);
  EXPECT_FALSE(defaults.samples);
  EXPECT_EQ(Parse("capture LPT1 --samples 5000").capture.samples, 5000u);
  for (const auto& [text, us] : {std::pair<const char*, uint64_t>{"2", 2'000'000}, {"0.5ms", 500}, {"10us", 10}, {"600s", 600'000'000}, {".25", 250'000}})
    EXPECT_EQ(Parse(std::string("capture LPT1 --duration ") + text).capture.duration_us, us) << text;

  EXPECT_EQ(Parse("read LPT1 --help").command, Command::Help) << "help wins over everything";
  EXPECT_EQ(Parse("--version").command, Command::Version);
}

TEST(Arguments, AsWindowsUsersTypeThemAndAfterTheEndOfOptions) {
  const Invocation typed = Parse("Write lpt2: hello");
  EXPECT_EQ(typed.command, Command::Write);
  EXPECT_EQ(typed.port, "LPT2");
  EXPECT_EQ(Parse("SELFTEST LPT1").command, Command::Selftest);

  EXPECT_EQ(Parse("write LPT2 -- --hello").text, "--hello");
  const Invocation dash_h = Parse("write LPT2 --handle -- -h");
  EXPECT_EQ(dash_h.command, Command::Write) << "-h after -- is text, not help";
  EXPECT_EQ(dash_h.text, "-h");
  EXPECT_TRUE(dash_h.handle_mode);
  EXPECT_EQ(Parse("write LPT2 -h").command, Command::Help);
  EXPECT_EQ(Parse("-- write LPT2 --").text, "--");
  EXPECT_TRUE(Parse("read LPT1").warnings.empty());

  const Invocation twice = Parse("set LPT1 2=1 --json 2=0 --json");
  EXPECT_EQ(twice.warnings, (std::vector<std::string>{"--json is given more than once: the last one counts",
                                                       "pin 2 is given more than once: the last setting counts"}));
}

TEST(Arguments, RefusedFormsNameTheirFault) {
  struct Case {
    const char* line;
    const char* says;
  } const cases[] = {
      {"", "no command"},
      {"blink LPT1", "unknown command 'blink'"},
      {"read", "needs a port"},
      {"read COM1", "'COM1' is not a port name"},
      {"read LPT0", "not a port name"},
      {"read LPT10", "not a port name"},
      {"read LPT1 extra", "unexpected 'extra'"},
      {"read LPT1 --verbose", "unknown option --verbose"},
      {"set LPT1", "at least one PIN"},
      {"set LPT1 2", "'2' is not PIN=0 or PIN=1"},
      {"set LPT1 2=2", "not PIN=0 or PIN=1"},
      {"set LPT1 x=1", "not PIN=0 or PIN=1"},
      {"set LPT1 0=1", "pin 0 is not on the connector"},
      {"set LPT1 26=1", "pin 26 is not on the connector"},
      {"set LPT1 20=1", "pin 20 is a ground pin"},
      {"set LPT1 15=1", "pin 15 (Fault) is an input"},
      {"set LPT1 2=1 11=0", "pin 11 (Busy) is an input"},
      {"data LPT1 0x100", "is not a byte"},
      {"data LPT1 -1", "is not a byte"},
      {"read LPT1 --base 0", "not an I/O address"},
      {"read LPT1 --base 0xFFFE", "not an I/O address"},
      {"read LPT1 --base", "--base needs a value"},
      {"selftest LPT1 --handle", "read 0 in handle mode"},
      {"write LPT1 --json hi", "write has no --json"},
      {"watch LPT1 --json", "watch has no --json"},
      {"write LPT1 --handle --base 0x378 hi", "--base is for direct mode"},
      {"list --base 0x378", "--base goes with a command on a port"},
      {"read LPT1 --count 2", "go with watch"},
      {"watch LPT1 --interval 0", "not 1 to 60000"},
      {"watch LPT1 --count 0", "not a number of changes"},
      {"read LPT1 --file x", "--file goes with write"},
      {"read LPT1 --ready", "--ready goes with write"},
      {"write LPT1 --handle --ready hi", "--ready sets the control lines"},
      {"write LPT1", "needs TEXT or --file"},
      {"read LPT1 --json=yes", "--json takes no value"},
      {"read LPT1::", "'LPT1::' is not a port name"},
      {"read LPT1 --base 0x1EE", "--base 0x1EE reaches system port 0x1F0"},
      {"write LPT1 -- --file x", "unexpected 'x' after write"},
      {"capture LPT1 --handle", "read 0 in handle mode"},
      {"capture LPT1 --pins 2", "pin 2 (Data 0) is a data output"},
      {"capture LPT1 --pins 10,,11", "'' is not a signal pin"},
      {"capture LPT1 --pins 20", "'20' is not a signal pin"},
      {"capture LPT1 --trigger 11", "not PIN=rising"},
      {"capture LPT1 --trigger Busy=up", "not PIN=rising"},
      {"capture LPT1 --pins 10 --trigger 11=rising", "pin 11 is not among --pins"},
      {"capture LPT1 --duration 0", "not a time"},
      {"capture LPT1 --duration 601", "not a time from 1us to 600s"},
      {"capture LPT1 --duration 1h", "not a time"},
      {"capture LPT1 --duration 5 --samples 9", "give one of them"},
      {"capture LPT1 --samples 0", "not a number of reads"},
      {"capture LPT1 --timeout 1", "--timeout goes with --trigger"},
      {"capture LPT1 --vcd a --svg a", "name the same file"},
      {"read LPT1 --vcd a", "--vcd goes with capture"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    try {
      Parse(c.line);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

TEST(Arguments, HelpListsEveryExitCode) {
  const std::string help = HelpText();
  for (const char* code : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  130 "}) {
    EXPECT_NE(help.find(code), std::string::npos) << code;
  }
}

// The pin facts in the help are made from the pin table; this holds them to the connector.
TEST(Arguments, HelpNamesEveryPinOfTheTable) {
  const std::string help = HelpText();
  for (const vport_signal& signal : connector::kSignals) {
    const std::string named = " " + std::to_string(signal.pin) + " " + signal.name;
    EXPECT_TRUE(help.find(named + ",") != std::string::npos || help.find(named + ";") != std::string::npos) << named;
  }
  for (const char* fact : {"18-25 ground", "(pins 1, 11, 14 and 17 are inverted", "output pins (1-9, 14, 16 and 17)",
                           "pins 2->15, 3->13, 4->12, 5->10, 6->11;", "waiting for Busy\n"}) {
    EXPECT_NE(help.find(fact), std::string::npos) << fact;
  }
  for (std::size_t at = 0, end; (end = help.find('\n', at)) != std::string::npos; at = end + 1) {
    EXPECT_LE(end - at, 92u) << help.substr(at, end - at);
  }
}

}  // namespace
}  // namespace cli

// What a capture writes, read by the programs people open it with: sigrok-cli reads the dump
// back with our names and edge times and measures a square wave's period; rsvg-convert draws
// the picture. Linux programs, so these run with the host's tests only.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/svg_writer.h"
#include "cli/vcd_writer.h"
#include "testing/recording_samples.h"

namespace cli {
namespace {

struct ToolRun {
  int status;
  std::string output;  // standard output and error
};

ToolRun RunTool(const std::string& command) {
  ToolRun run{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  run.status = pclose(pipe);
  return run;
}

// The set-up installs both tools, so a missing one fails, unless the environment says this
// machine may lack them.
#define REQUIRE_TOOL(tool)                                                                               \
  if (RunTool("command -v " tool).status != 0) {                                                         \
    if (std::getenv("PINSCOPE_TOOLS_MAY_BE_MISSING")) GTEST_SKIP() << tool " not found";                 \
    FAIL() << tool " not found (scripts/setup installs it; PINSCOPE_TOOLS_MAY_BE_MISSING=1 skips this)"; \
  }

std::string TempPath(const std::string& name) { return testing::TempDir() + "pinscope_writers_" + name; }

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The variables of a dump as sigrok writes it back: names in order, and each one's changes
// after #0 as (time, value).
struct ReadBack {
  std::vector<std::string> names;
  std::map<std::string, std::vector<std::pair<long long, int>>> changes;
  long long last_time = -1;
};

ReadBack ParseDump(const std::string& dump) {
  ReadBack back;
  std::map<std::string, std::string> name_of;
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "$var") {
      std::string type, width, code, name;
      words >> type >> width >> code >> name;
      name_of[code] = name;
      back.names.push_back(name);
    } else if (!word.empty() && word[0] == '#') {
      back.last_time = std::stoll(word.substr(1));
      for (; words >> word;)
        if (back.last_time > 0) back.changes[name_of[word.substr(1)]].emplace_back(back.last_time, word[0] - '0');
    }
  }
  return back;
}

TEST(WritersReadByTools, SigrokReadsOurDumpWithItsNamesAndEdgeTimes) {
  REQUIRE_TOOL("sigrok-cli");
  // 10 MHz, so one tick is one 100 ns step: Ack 1 kHz from 0.1 ms, 20 periods; one Busy pulse
  // under the trigger; a gap of 50 us; 25 ms in all.
  const Recording recording =
      samples::HandMade(10'000'000, VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_BUSY) | VPORT_PIN(VPORT_PIN_INIT))
          .Square(VPORT_PIN_ACK, 1000, 5000, 5000, 20)
          .Set(12'345, VPORT_PIN_BUSY, true)
          .Set(77'777, VPORT_PIN_BUSY, false)
          .Gap(150'000, 150'500)
          .Trigger(12'345)
          .End(250'000);
  std::ostringstream dump;
  WriteVcd(dump, recording, {"1.0", "LPT3", ""});
  const std::string path = TempPath("capture.vcd");
  WriteFile(path, dump.str());

  const ToolRun read = RunTool("sigrok-cli -I vcd -i " + path + " -O vcd");
  ASSERT_EQ(read.status, 0) << read.output;
  const ReadBack back = ParseDump(read.output);
  EXPECT_EQ(back.names, (std::vector<std::string>{"p10_Ack", "p11_Busy", "p16_Init", "sampling_gap"})) << read.output;
  std::vector<std::pair<long long, int>> ack;
  for (long long k = 0; k < 20; ++k) ack.insert(ack.end(), {{1000 + k * 10'000, 1}, {6000 + k * 10'000, 0}});
  EXPECT_EQ(back.changes.at("p10_Ack"), ack);
  EXPECT_EQ(back.changes.at("p11_Busy"), (std::vector<std::pair<long long, int>>{{12'345, 1}, {77'777, 0}}));
  EXPECT_EQ(back.changes.count("p16_Init"), 0u);
  EXPECT_EQ(back.changes.at("sampling_gap"), (std::vector<std::pair<long long, int>>{{150'000, 1}, {150'500, 0}}));
  EXPECT_EQ(back.last_time, 250'000) << "the dump lasts as long as the capture";

  const ToolRun timing = RunTool("sigrok-cli -I vcd -i " + path + " -P timing:data=p10_Ack:edge=rising -A timing=time");
  ASSERT_EQ(timing.status, 0) << timing.output;
  std::istringstream periods(timing.output);
  int count = 0;
  for (std::string line; std::getline(periods, line); ++count)
    EXPECT_EQ(line, "timing-1: 1.000 ms (1.000 kHz)");
  EXPECT_EQ(count, 19) << timing.output;
}

TEST(WritersReadByTools, RsvgDrawsOurPicture) {
  REQUIRE_TOOL("rsvg-convert");
  const Recording recording = samples::HandMade(10'000'000, VPORT_INPUT_PINS | VPORT_PIN(VPORT_PIN_STROBE))
                                  .Square(VPORT_PIN_ACK, 1, 500, 500, 20'000)
                                  .Square(VPORT_PIN_SELECT, 3'000'000, 10'000, 190'000, 5)
                                  .Gap(4'000'000, 4'100'000)
                                  .Trigger(3'000'000)
                                  .End(20'000'000);
  std::ostringstream svg;
  WriteSvg(svg, recording, "LPT3 & <co>");
  const std::string path = TempPath("capture.svg");
  WriteFile(path, svg.str());
  const ToolRun draw = RunTool("rsvg-convert -o " + path + ".png " + path);
  ASSERT_EQ(draw.status, 0) << draw.output;
  std::ifstream png(path + ".png", std::ios::binary);
  std::string head(24, '\0');
  png.read(head.data(), 24);
  ASSERT_EQ(head.substr(1, 3), "PNG");
  const auto byte = [&](int k) { return static_cast<unsigned>(static_cast<unsigned char>(head[k])); };
  EXPECT_EQ(byte(16) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19), 1390u) << "the picture's width";
}

}  // namespace
}  // namespace cli
#endif

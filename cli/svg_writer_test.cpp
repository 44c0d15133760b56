// The picture of a capture: its rows, its marks, and a long capture drawn in a small file in
// which a pulse far shorter than a pixel still shows.
#include "cli/svg_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/recording_samples.h"

namespace cli {
namespace {

std::string Picture(const Recording& recording, std::string_view port) {
  std::ostringstream out;
  WriteSvg(out, recording, port);
  return out.str();
}

// The path that draws the row labelled `label`.
std::string RowPath(const std::string& svg, const std::string& label) {
  const std::size_t row = svg.find(">" + label + "</text>");
  if (row == std::string::npos) return "";
  const std::size_t begin = svg.find("d=\"", row) + 3;
  return svg.substr(begin, svg.find('"', begin) - begin);
}

TEST(Svg, RowsTitleTriggerAndGapOfASmallCapture) {
  // 1 ms at 1 MHz: the 1200-pixel plot has 1.2 columns per tick.
  const Recording recording = samples::HandMade(1'000'000, VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_STROBE))
                                  .Set(250, VPORT_PIN_ACK, true)
                                  .Set(500, VPORT_PIN_ACK, false)
                                  .Gap(600, 700)
                                  .Trigger(250)
                                  .End(1000);
  const std::string svg = Picture(recording, "LPT<1> & \"2\"");
  EXPECT_NE(svg.find(">LPT&lt;1&gt; &amp; &quot;2&quot;: 1.000 ms, 1000 reads, 100.0 us without samples (hatched)</text>"),
            std::string::npos)
      << svg;
  // Pin order: Strobe (1) above Ack (10); Ack rises at column 300 and falls at 600.
  EXPECT_LT(svg.find(">Strobe (1)</text>"), svg.find(">Ack (10)</text>"));
  const std::string ack = RowPath(svg, "Ack (10)");
  EXPECT_NE(ack.find("H450.5V"), std::string::npos) << ack;
  EXPECT_NE(ack.find("H750.5V"), std::string::npos) << ack;
  EXPECT_EQ(RowPath(svg, "Strobe (1)").find('V'), std::string::npos);
  EXPECT_NE(svg.find("<rect x=\"870\" y=\"60\" width=\"121\""), std::string::npos) << "the gap's hatched span";
  EXPECT_NE(svg.find(">trigger, 250.0 us</text>"), std::string::npos);
  EXPECT_NE(svg.find(">0.5 ms</text>"), std::string::npos) << "a labelled tick at a 1-2-5 step";
}

TEST(Svg, ALongCaptureStaysSmallAndAPulseShorterThanAPixelShows) {
  // 200 000 changes of Ack over 5 s at 10 MHz; Busy is high for one tick in the middle.
  samples::HandMade builder(10'000'000, VPORT_PIN(VPORT_PIN_ACK) | VPORT_PIN(VPORT_PIN_BUSY));
  builder.Square(VPORT_PIN_ACK, 1, 250, 250, 100'000).Set(25'000'100, VPORT_PIN_BUSY, true).Set(25'000'101, VPORT_PIN_BUSY, false);
  const Recording recording = builder.End(50'000'000);
  ASSERT_EQ(recording.changes.size(), 200'002u);
  const std::string svg = Picture(recording, "");
  EXPECT_LT(svg.size(), 60'000u);
  // Ack toggles in every column: a stroke in each, its path two points a column at most.
  const std::string ack = RowPath(svg, "Ack (10)");
  EXPECT_GT(ack.size(), 1200u * 8);
  EXPECT_NE(ack.find("H749.5V68V88H750.5V68H751.5V88"), std::string::npos) << ack.substr(0, 200);
  // Busy: the one-tick pulse, up and back down in the column in the middle.
  EXPECT_EQ(RowPath(svg, "Busy (11)"), "M150 124H750.5V104V124H1350");
}

}  // namespace
}  // namespace cli

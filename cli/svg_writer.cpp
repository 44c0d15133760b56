#include "cli/svg_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/duration_text.h"
#include "connector/pins.h"

namespace cli {
namespace {

// The plot is as wide as a laptop's browser window shows without scrolling.
constexpr int kLeft = 150;   // the pins' names
constexpr int kPlot = 1200;  // one column per pixel
constexpr int kRight = 40;
constexpr int kTop = 60;     // the title and the trigger's label
constexpr int kRow = 36;
constexpr int kHigh = 8;     // a trace's high and low lines within its row
constexpr int kLow = 28;
constexpr int kAxis = 44;

struct Plot {
  int64_t end;  // ticks across the plot, 1 at least

  int Column(int64_t at) const {
    const long double share = static_cast<long double>(at) / static_cast<long double>(end);
    return std::clamp(static_cast<int>(share * kPlot), 0, kPlot - 1);
  }
};

// The middle of a column, where a one-pixel stroke stays sharp.
std::string ColumnX(int column) { return std::to_string(kLeft + column) + ".5"; }

// The row's trace as one path: level lines, and in every column where the line changed one
// stroke from low to high, so that a pulse or a burst of them narrower than the column shows.
std::string TracePath(const Recording& recording, const Plot& plot, unsigned pin, int top) {
  const PinLevels bit = VPORT_PIN(pin);
  const auto y = [&](bool high) { return std::to_string(top + (high ? kHigh : kLow)); };
  bool level = (recording.initial & bit) != 0;
  std::string path = "M" + std::to_string(kLeft) + " " + y(level);
  std::size_t k = 0;
  const std::vector<LevelChange>& changes = recording.changes;
  while (k < changes.size()) {
    if (((changes[k].levels & bit) != 0) == level) {
      ++k;
      continue;
    }
    const int column = plot.Column(changes[k].at);
    bool after = level;
    for (; k < changes.size() && plot.Column(changes[k].at) == column; ++k) after = (changes[k].levels & bit) != 0;
    path += "H" + ColumnX(column) + "V" + y(!level);
    if (after == level) path += "V" + y(level);
    level = after;
  }
  return path + "H" + std::to_string(kLeft + kPlot);
}

// A tick every 1, 2 or 5 of a power of ten of seconds, ten at most across the capture. The
// comparisons allow for rounding: the 32-bit build's x87 arithmetic makes 0.001 / 1e-4 a hair
// over 10, and a capture of a round length must get the same ticks on every build.
double TickStep(double seconds) {
  constexpr double kSlack = 1 + 1e-9;
  const double decade = std::pow(10.0, std::floor(std::log10(seconds / 10) + 1e-9));
  for (const double mantissa : {1.0, 2.0, 5.0})
    if (seconds / (mantissa * decade) <= 10 * kSlack) return mantissa * decade;
  return 10 * decade;
}

std::string TickLabel(double seconds, double step) {
  if (seconds == 0) return "0";
  struct Unit {
    double size;
    const char* name;
  };
  static constexpr Unit kUnits[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "\u00b5s"}, {1e-9, "ns"}};
  const Unit* unit = &kUnits[3];
  for (const Unit& u : kUnits)
    if (step >= u.size / 10 * 0.999) {
      unit = &u;
      break;
    }
  char text[48];
  std::snprintf(text, sizeof text, "%.*f %s", step / unit->size < 0.999 ? 1 : 0, seconds / unit->size, unit->name);
  return text;
}

}  // namespace

std::string XmlEscaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

void WriteSvg(std::ostream& out, const Recording& recording, std::string_view port) {
  const Plot plot{std::max<int64_t>(recording.end, 1)};
  const double frequency = static_cast<double>(std::max<int64_t>(recording.frequency, 1));
  const double seconds = static_cast<double>(plot.end) / frequency;
  std::vector<const vport_signal*> rows;
  for (const vport_signal& signal : connector::kSignals)
    if (recording.pins & VPORT_PIN(signal.pin)) rows.push_back(&signal);
  const int rows_bottom = kTop + static_cast<int>(rows.size()) * kRow;
  const int width = kLeft + kPlot + kRight, height = rows_bottom + kAxis;

  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << " " << height << "\" font-family=\"sans-serif\" font-size=\"13\">\n"
      << "<defs><pattern id=\"gap\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
         "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#e4e4e4\"/>"
         "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#999\" stroke-width=\"3\"/></pattern></defs>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

  std::string title = port.empty() ? std::string() : std::string(port) + ": ";
  title += DurationText(seconds) + ", " + std::to_string(recording.reads) + " reads";
  if (!recording.gaps.empty()) title += ", " + DurationText(static_cast<double>(recording.GapTicks()) / frequency) + " without samples (hatched)";
  if (recording.stopped) title += ", ended early";
  out << "<text x=\"10\" y=\"22\" font-size=\"15\" font-weight=\"bold\">" << XmlEscaped(title) << "</text>\n";

  // The time axis: grid lines across the rows, labels under them.
  const double step = TickStep(seconds);
  out << "<g class=\"axis\">\n<path d=\"M" << kLeft << " " << rows_bottom << "H" << kLeft + kPlot
      << "\" stroke=\"black\" fill=\"none\"/>\n";
  for (int i = 0; i * step <= seconds * (1 + 1e-9); ++i) {
    const double at = i * step;
    const double x = kLeft + at / seconds * kPlot;
    char line[160];
    std::snprintf(line, sizeof line,
                  "<path d=\"M%.1f %dV%d\" stroke=\"#ccc\"/><path d=\"M%.1f %dv5\" stroke=\"black\"/>", x, kTop,
                  rows_bottom, x, rows_bottom);
    out << line << "<text x=\"" << std::lround(x) << "\" y=\"" << rows_bottom + 20 << "\" text-anchor=\"middle\">"
        << TickLabel(at, step) << "</text>\n";
  }
  out << "</g>\n";

  out << "<g class=\"rows\">\n";
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const int top = kTop + static_cast<int>(r) * kRow;
    out << "<text x=\"" << kLeft - 10 << "\" y=\"" << top + 23 << "\" text-anchor=\"end\">"
        << XmlEscaped(rows[r]->name) << " (" << rows[r]->pin << ")</text>\n"
        << "<path d=\"" << TracePath(recording, plot, rows[r]->pin, top)
        << "\" stroke=\"#1450a0\" stroke-width=\"1.5\" fill=\"none\"/>\n";
  }
  out << "</g>\n";

  // Gaps over the traces, whose levels are unknown there; neighbours that share a column make
  // one span.
  out << "<g class=\"gaps\" fill=\"url(#gap)\" fill-opacity=\"0.8\">\n";
  auto span = [&](int first, int last) {
    out << "<rect x=\"" << kLeft + first << "\" y=\"" << kTop << "\" width=\"" << last - first + 1 << "\" height=\""
        << rows_bottom - kTop << "\"/>\n";
  };
  int first = -1, last = -1;
  for (const SamplingGap& gap : recording.gaps) {
    const int from = plot.Column(gap.begin), to = plot.Column(gap.end);
    if (first >= 0 && from <= last + 1) {
      last = std::max(last, to);
      continue;
    }
    if (first >= 0) span(first, last);
    first = from;
    last = to;
  }
  if (first >= 0) span(first, last);
  out << "</g>\n";

  if (recording.trigger) {
    const int column = plot.Column(*recording.trigger);
    const std::string x = ColumnX(column);
    // The label stays within the picture where the line is near either end.
    const char* anchor = column < 60 ? "start" : column > kPlot - 60 ? "end" : "middle";
    out << "<g class=\"trigger\"><path d=\"M" << x << " " << kTop - 14 << "V" << rows_bottom
        << "\" stroke=\"#d02020\" stroke-width=\"1.5\" stroke-dasharray=\"4 3\"/><text x=\"" << x << "\" y=\""
        << kTop - 18 << "\" text-anchor=\"" << anchor << "\" fill=\"#d02020\">trigger, "
        << DurationText(static_cast<double>(*recording.trigger) / frequency) << "</text></g>\n";
  }
  out << "</svg>\n";
}

}  // namespace cli

#include "cli/duration_text.h"

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

struct Unit {
  double size;
  const char* name;
};

// Four significant digits of `value` in the largest unit it fills at least once (the last
// unit takes whatever is smaller).
template <std::size_t N>
std::string Scaled(double value, const Unit (&units)[N]) {
  if (value == 0 || !std::isfinite(value)) {
    for (const Unit& u : units)
      if (u.size == 1) return std::string("0 ") + u.name;
  }
  const Unit* unit = &units[N - 1];
  for (const Unit& u : units) {
    if (std::fabs(value) >= u.size * 0.99995) {  // so that 999.99 us reads "1.000 ms"
      unit = &u;
      break;
    }
  }
  const double scaled = value / unit->size;
  const double magnitude = std::fabs(scaled);
  const int decimals = magnitude >= 99.995 ? 1 : magnitude >= 9.9995 ? 2 : 3;
  char text[48];
  std::snprintf(text, sizeof text, "%.*f %s", decimals, scaled, unit->name);
  return text;
}

}  // namespace

std::string DurationText(double seconds) {
  static constexpr Unit kUnits[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "us"}, {1e-9, "ns"}};
  return Scaled(seconds, kUnits);
}

std::string FrequencyText(double hertz) {
  static constexpr Unit kUnits[] = {{1e9, "GHz"}, {1e6, "MHz"}, {1e3, "kHz"}, {1, "Hz"}};
  return Scaled(hertz, kUnits);
}

}  // namespace cli

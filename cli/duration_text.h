// Times and rates as the console program prints them: four significant digits in the unit
// that keeps the number between 1 and 1000, in ASCII, since a Windows console may show
// nothing else.
#pragma once

#include <string>

namespace cli {

/// "1.000 ms", "12.50 us", "3.000 s", "0 s".
std::string DurationText(double seconds);
/// "1.000 kHz", "50.00 Hz".
std::string FrequencyText(double hertz);

}  // namespace cli

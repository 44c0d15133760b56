// A capture as a timing diagram that a browser shows: one row per captured pin, a time axis,
// the trigger and the spans without samples. However many changes the capture holds, each
// row is drawn per pixel column, so the file stays small and a pulse shorter than a pixel
// still shows as a stroke.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/recording.h"

namespace cli {

/// `port`, if not empty, heads the title line beside the capture's length.
void WriteSvg(std::ostream& out, const Recording& recording, std::string_view port);

/// `text` with XML's five special characters escaped, for text and attribute values.
std::string XmlEscaped(std::string_view text);

}  // namespace cli

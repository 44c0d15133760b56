// The English texts of Windows' system message table, as FormatMessageA reads them.
#pragma once

#include <optional>
#include <string_view>

#include "platform/win32_types.h"

namespace sim {

/// The text of a system error, line break included, or nothing for an id the table lacks.
std::optional<std::string_view> SystemMessage(DWORD id);

}  // namespace sim

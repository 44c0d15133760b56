// How the journal writes a window message and its parameters.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace sim {

/// "WM_SETTEXT", "EM_REPLACESEL", "WM_USER+5", or the number in hex.
std::string MessageName(UINT message);

/// The message and its two parameters as journal arguments: the strings that WM_SETTEXT and
/// EM_REPLACESEL carry are shown, buffers to be filled only as pointers.
std::vector<std::string> MessageArguments(UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace sim

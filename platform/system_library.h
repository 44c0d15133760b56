// System DLLs that the program loads at run time.
#pragma once

#include <string_view>

#include "platform/unique_handle.h"

namespace platform {

/// A DLL of the system's own, loaded by its full path in the system folder: a bare name would
/// be looked for beside the program (and in the current folder) first, where anyone who can
/// write there could plant one. Empty, with the system's error, when it does not load; never
/// tried by its bare name.
UniqueModule LoadSystemLibrary(std::string_view name);

}  // namespace platform

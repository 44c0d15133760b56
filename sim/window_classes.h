// The window procedures of the built-in classes. Like Windows' own they are plain functions;
// they find the window manager through the installed platform, so code that subclasses a
// control and calls on to them with CallWindowProcA works as it does on Windows.
#pragma once

#include "platform/win32_types.h"

namespace sim {

LRESULT CALLBACK EditProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK StaticProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace sim

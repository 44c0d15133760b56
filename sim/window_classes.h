// The window procedures of the built-in classes. Like Windows' own they are plain functions;
// they find the window manager through the installed platform, so code that subclasses a
// control and calls on to them with CallWindowProcA works as it does on Windows.
#pragma once

#include "platform/win32_types.h"

namespace sim {

LRESULT CALLBACK EditProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK StaticProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ButtonProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ComboBoxProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

/// What a combo box does when the user picks entry `index` from its dropped list.
void ChooseComboItem(HWND combo, int index);

/// WM_SETFONT and WM_GETFONT as every built-in control answers them; false for other messages.
bool ControlFont(HWND window, UINT message, WPARAM wparam, LRESULT& result);

}  // namespace sim

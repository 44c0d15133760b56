// The STATIC class: a label, whose text is all there is to it without a screen.
#include "sim/sim_windows.h"
#include "sim/window_classes.h"

namespace sim {

LRESULT CALLBACK StaticProcedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
  return SimWindows::Current().DefaultProcedure(handle, message, wparam, lparam);
}

}  // namespace sim

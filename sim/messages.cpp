#include "sim/messages.h"

#include "sim/format.h"
#include "sim/win32_more.h"

namespace sim {

std::string MessageName(UINT message) {
  switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SETTEXT: return "WM_SETTEXT";
    case WM_GETTEXT: return "WM_GETTEXT";
    case WM_GETTEXTLENGTH: return "WM_GETTEXTLENGTH";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_DEVICECHANGE: return "WM_DEVICECHANGE";
    case EM_GETSEL: return "EM_GETSEL";
    case EM_SETSEL: return "EM_SETSEL";
    case EM_REPLACESEL: return "EM_REPLACESEL";
    case EM_LIMITTEXT: return "EM_LIMITTEXT";
    case EM_GETLIMITTEXT: return "EM_GETLIMITTEXT";
    default: break;
  }
  if (message >= WM_USER && message < 0x8000) return "WM_USER+" + std::to_string(message - WM_USER);
  return format::Hex(message);
}

std::vector<std::string> MessageArguments(UINT message, WPARAM wparam, LPARAM lparam) {
  std::string w = format::Word(wparam);
  std::string l = format::Word(static_cast<std::uint64_t>(static_cast<std::int64_t>(lparam)));
  const auto* pointer = reinterpret_cast<const void*>(lparam);
  switch (message) {
    case WM_SETTEXT:
    case EM_REPLACESEL: l = format::Str(static_cast<LPCSTR>(pointer)); break;
    case EM_GETSEL:
      w = format::Ptr(reinterpret_cast<const void*>(wparam));
      l = format::Ptr(pointer);
      break;
    case WM_GETTEXT:
    case WM_NCCREATE:
    case WM_CREATE: l = format::Ptr(pointer); break;
    default: break;
  }
  return {MessageName(message), std::move(w), std::move(l)};
}

}  // namespace sim

#include "sim/messages.h"

#include "platform/win32_types.h"
#include "sim/format.h"

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
    case EM_REPLACESEL: return "EM_REPLACESEL";
    case WM_ENABLE: return "WM_ENABLE";
    case WM_QUIT: return "WM_QUIT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_SETFONT: return "WM_SETFONT";
    case WM_GETFONT: return "WM_GETFONT";
    case WM_CTLCOLORMSGBOX: return "WM_CTLCOLORMSGBOX";
    case WM_CTLCOLOREDIT: return "WM_CTLCOLOREDIT";
    case WM_CTLCOLORLISTBOX: return "WM_CTLCOLORLISTBOX";
    case WM_CTLCOLORBTN: return "WM_CTLCOLORBTN";
    case WM_CTLCOLORDLG: return "WM_CTLCOLORDLG";
    case WM_CTLCOLORSCROLLBAR: return "WM_CTLCOLORSCROLLBAR";
    case WM_CTLCOLORSTATIC: return "WM_CTLCOLORSTATIC";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case BM_GETCHECK: return "BM_GETCHECK";
    case BM_SETCHECK: return "BM_SETCHECK";
    case BM_SETSTYLE: return "BM_SETSTYLE";
    case BM_CLICK: return "BM_CLICK";
    case CB_ADDSTRING: return "CB_ADDSTRING";
    case CB_DELETESTRING: return "CB_DELETESTRING";
    case CB_GETCOUNT: return "CB_GETCOUNT";
    case CB_GETCURSEL: return "CB_GETCURSEL";
    case CB_GETLBTEXT: return "CB_GETLBTEXT";
    case CB_GETLBTEXTLEN: return "CB_GETLBTEXTLEN";
    case CB_RESETCONTENT: return "CB_RESETCONTENT";
    case CB_SETCURSEL: return "CB_SETCURSEL";
    case CB_GETITEMDATA: return "CB_GETITEMDATA";
    case CB_SETITEMDATA: return "CB_SETITEMDATA";
    case CB_SETITEMHEIGHT: return "CB_SETITEMHEIGHT";
    case CB_GETITEMHEIGHT: return "CB_GETITEMHEIGHT";
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
    case EM_REPLACESEL:
    case CB_ADDSTRING: l = format::Str(static_cast<LPCSTR>(pointer)); break;
    case WM_GETTEXT:
    case CB_GETLBTEXT:
    case WM_NCCREATE:
    case WM_CREATE: l = format::Ptr(pointer); break;
    default: break;
  }
  return {MessageName(message), std::move(w), std::move(l)};
}

}  // namespace sim

/* The yardstick for what Pinscope's start-up must do, written as plain Win32 in C with no
 * framework: the same manifest (common controls 6), SetupAPI loaded by name and the machine's
 * parallel ports enumerated through it and the registry, then the window with the same 30
 * windows, fonts and colours, the port list filled and LPT1 selected. Whatever Pinscope
 * takes beyond this program is the cost of its runtime, framework and layout.
 * bench/window_tree_windows.cpp holds its window tree to Pinscope's, so it cannot drift. */
#include <windows.h>
#include <setupapi.h>
#include <string.h>

enum { kDesignDpi = 96, kPins = 25, kMaxPorts = 16 };

typedef HDEVINFO(WINAPI* GetClassDevsProc)(const GUID*, PCSTR, HWND, DWORD);
typedef BOOL(WINAPI* DestroyDeviceInfoListProc)(HDEVINFO);
typedef BOOL(WINAPI* EnumDeviceInfoProc)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
typedef BOOL(WINAPI* GetDeviceRegistryPropertyProc)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
typedef HKEY(WINAPI* OpenDevRegKeyProc)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);
typedef LONG(WINAPI* ZwQueryKeyProc)(HANDLE, int, PVOID, ULONG, PULONG);
typedef HRESULT(WINAPI* SetWindowThemeProc)(HWND, LPCWSTR, LPCWSTR);

typedef struct {
  char name[128];
  int number;
} Port;

static const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

/* The pin boxes: caption, text colour, and the columns' geometry as the layout gives it. */
static const struct {
  const char* caption;
  COLORREF color;
} kPinBoxes[kPins] = {
    {"^Strobe[ 1]", RGB(0, 128, 0)},   {"Data 0 [ 2]", RGB(0, 0, 255)},   {"Data 1 [ 3]", RGB(0, 0, 255)},
    {"Data 2 [ 4]", RGB(0, 0, 255)},   {"Data 3 [ 5]", RGB(0, 0, 255)},   {"Data 4 [ 6]", RGB(0, 0, 255)},
    {"Data 5 [ 7]", RGB(0, 0, 255)},   {"Data 6 [ 8]", RGB(0, 0, 255)},   {"Data 7 [ 9]", RGB(0, 0, 255)},
    {"ACK    [10]", RGB(128, 0, 128)}, {"Busy   [11]", RGB(128, 0, 128)}, {"NoPaper[12]", RGB(128, 0, 128)},
    {"Select [13]", RGB(128, 0, 128)}, {"[14] Auto LF", RGB(0, 128, 0)},  {"[15] ^Fault", RGB(128, 0, 128)},
    {"[16] Init", RGB(0, 128, 0)},     {"[17] Select IN", RGB(0, 128, 0)}, {"[18] Ground", RGB(0, 0, 0)},
    {"[19] Ground", RGB(0, 0, 0)},     {"[20] Ground", RGB(0, 0, 0)},     {"[21] Ground", RGB(0, 0, 0)},
    {"[22] Ground", RGB(0, 0, 0)},     {"[23] Ground", RGB(0, 0, 0)},     {"[24] Ground", RGB(0, 0, 0)},
    {"[25] Ground", RGB(0, 0, 0)},
};

static int dpi = kDesignDpi;
static WNDPROC group_box_procedure;

/* Rounded like the layout's scaling, halves away from zero. */
static int Scale(int value) {
  const int product = value * dpi;
  return (product >= 0 ? product + kDesignDpi / 2 : product - kDesignDpi / 2) / kDesignDpi;
}

static HFONT Font(int height, const char* face) {
  return CreateFontA(Scale(height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

/* The registry path of an open key, relative to HKEY_LOCAL_MACHINE, from its kernel name. */
static BOOL MachineKeyPath(ZwQueryKeyProc query, HKEY key, char* path, int size) {
  static const char kMachine[] = "\\REGISTRY\\MACHINE\\";
  BYTE buffer[4 + 2048];
  ULONG length = 0;
  DWORD bytes;
  int count, i;
  memset(buffer, 0, sizeof buffer);
  if (query(key, 3 /* KeyNameInformation */, buffer, sizeof buffer - 2, &length) < 0) return FALSE;
  memcpy(&bytes, buffer, sizeof bytes);
  if (bytes > sizeof buffer - 6) return FALSE;
  count = WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)(buffer + 4), (int)bytes / 2, path, size - 1, NULL, NULL);
  path[count] = '\0';
  if (count < (int)sizeof kMachine - 1 || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, sizeof kMachine - 1,
                                                         kMachine, sizeof kMachine - 1) != CSTR_EQUAL)
    return FALSE;
  for (i = 0; path[i + sizeof kMachine - 1]; ++i) path[i] = path[i + sizeof kMachine - 1];
  path[i] = '\0';
  return TRUE;
}

/* The parallel ports of the device database, as the port component lists them. */
static int EnumeratePorts(Port* ports) {
  HMODULE setupapi = LoadLibraryA("SetupAPI.dll");
  HMODULE ntdll = LoadLibraryA("ntdll.dll");
  GetClassDevsProc get_class_devs;
  DestroyDeviceInfoListProc destroy_list;
  EnumDeviceInfoProc enum_device;
  GetDeviceRegistryPropertyProc property;
  OpenDevRegKeyProc open_key;
  ZwQueryKeyProc query_key;
  HDEVINFO set;
  SP_DEVINFO_DATA device;
  DWORD index;
  int count = 0;
  if (!setupapi || !ntdll) return 0;
  get_class_devs = (GetClassDevsProc)(void*)GetProcAddress(setupapi, "SetupDiGetClassDevsA");
  destroy_list = (DestroyDeviceInfoListProc)(void*)GetProcAddress(setupapi, "SetupDiDestroyDeviceInfoList");
  enum_device = (EnumDeviceInfoProc)(void*)GetProcAddress(setupapi, "SetupDiEnumDeviceInfo");
  property = (GetDeviceRegistryPropertyProc)(void*)GetProcAddress(setupapi, "SetupDiGetDeviceRegistryPropertyA");
  open_key = (OpenDevRegKeyProc)(void*)GetProcAddress(setupapi, "SetupDiOpenDevRegKey");
  query_key = (ZwQueryKeyProc)(void*)GetProcAddress(ntdll, "ZwQueryKey");
  if (!get_class_devs || !destroy_list || !enum_device || !property || !open_key || !query_key) return 0;
  set = get_class_devs(&kPortsClass, NULL, NULL, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return 0;
  device.cbSize = sizeof device;
  for (index = 0; count < kMaxPorts && enum_device(set, index, &device); ++index) {
    BYTE service[256] = {0}, description[256], friendly[256];
    char path[1024], conf_path[1040];
    HKEY key, hardware, conf;
    DWORD size;
    BOOL have_path;
    char* slash;
    property(set, &device, SPDRP_SERVICE, NULL, service, sizeof service - 1, NULL);
    property(set, &device, SPDRP_DEVICEDESC, NULL, description, sizeof description, NULL);
    property(set, &device, SPDRP_FRIENDLYNAME, NULL, friendly, sizeof friendly, NULL);
    key = open_key(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) continue;
    have_path = MachineKeyPath(query_key, key, path, sizeof path);
    RegCloseKey(key);
    if (!have_path || strcmp((const char*)service, "Parport") != 0) continue;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &hardware) != ERROR_SUCCESS) continue;
    memset(ports[count].name, 0, sizeof ports[count].name);
    size = sizeof ports[count].name - 1;
    if (RegQueryValueExA(hardware, "PortName", NULL, NULL, (BYTE*)ports[count].name, &size) == ERROR_SUCCESS &&
        strncmp(ports[count].name, "LPT", 3) == 0) {
      BYTE boot[2048];
      strcpy(conf_path, path);
      slash = strrchr(conf_path, '\\');
      strcpy(slash ? slash : conf_path, "\\LogConf");
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, conf_path, 0, KEY_QUERY_VALUE, &conf) == ERROR_SUCCESS) {
        size = sizeof boot;
        RegQueryValueExA(conf, "BootConfig", NULL, NULL, boot, &size);
        RegCloseKey(conf);
      }
      ports[count].number = ports[count].name[3] - '0';
      ++count;
    }
    RegCloseKey(hardware);
  }
  destroy_list(set);
  return count;
}

/* Controls take their text colour from their own font and their background from the parent. */
static LRESULT Colored(HDC dc, HWND control) {
  SetTextColor(dc, (COLORREF)GetWindowLongPtrA(control, GWLP_USERDATA));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return (LRESULT)GetSysColorBrush(COLOR_BTNFACE);
}

static LRESULT Erased(HWND window, HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  return 1;
}

static LRESULT CALLBACK GroupBoxProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND: return Erased(window, (HDC)wparam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return Colored((HDC)wparam, (HWND)lparam);
    default: return CallWindowProcA(group_box_procedure, window, message, wparam, lparam);
  }
}

static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND: return Erased(window, (HDC)wparam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return Colored((HDC)wparam, (HWND)lparam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      SetTextColor((HDC)wparam, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor((HDC)wparam, GetSysColor(COLOR_WINDOW));
      return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wparam, lparam);
  }
}

static HWND Child(HWND parent, const char* class_name, const char* caption, DWORD style, DWORD ex_style, int x, int y,
                  int width, int height, HFONT font, COLORREF color) {
  HWND window = CreateWindowExA(ex_style, class_name, caption, WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE | style,
                                Scale(x), Scale(y), Scale(width), Scale(height), parent, NULL,
                                GetModuleHandleA(NULL), NULL);
  SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)color);
  SendMessageA(window, WM_SETFONT, (WPARAM)font, FALSE);
  return window;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  Port ports[kMaxPorts];
  WNDCLASSA window_class;
  HWND window, active, combo, group;
  HFONT window_font, pin_font, strobe_font;
  HMODULE uxtheme;
  SetWindowThemeProc set_theme = NULL;
  HDC screen;
  MSG message;
  int port_count, pin, selected = -1;
  (void)previous;
  (void)command_line;
  (void)show;

  screen = GetDC(NULL);
  dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(NULL, screen);
  port_count = EnumeratePorts(ports);
  window_font = Font(-11, "MS Sans Serif");
  pin_font = Font(-9, "Courier");
  strobe_font = Font(-11, "Courier");
  uxtheme = LoadLibraryA("uxtheme.dll");
  if (uxtheme) set_theme = (SetWindowThemeProc)(void*)GetProcAddress(uxtheme, "SetWindowTheme");

  memset(&window_class, 0, sizeof window_class);
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(instance, "MAINICON");
  window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
  window_class.lpszClassName = "TPinscopeForm";
  RegisterClassA(&window_class);
  window = CreateWindowExA(WS_EX_CONTROLPARENT, "TPinscopeForm", "Pinscope", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           Scale(264), Scale(156), Scale(308), Scale(409), NULL, NULL, instance, NULL);
  SendMessageA(window, WM_SETFONT, (WPARAM)window_font, FALSE);

  active = Child(window, "BUTTON", "Active", WS_TABSTOP | BS_CHECKBOX, 0, 16, 12, 57, 17, window_font,
                 GetSysColor(COLOR_WINDOWTEXT));
  if (set_theme) set_theme(active, L"", L"");
  combo = Child(window, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 88, 11, 105, 21, window_font,
                GetSysColor(COLOR_WINDOWTEXT));
  SendMessageA(combo, CB_SETITEMHEIGHT, 0, Scale(13));
  for (int i = 0; i < port_count; ++i) {
    SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)ports[i].name);
    if (selected < 0 && ports[i].number == 1) selected = i;
  }
  SendMessageA(combo, CB_SETCURSEL, (WPARAM)selected, 0);
  group = Child(window, "BUTTON", " LPT Pins", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 12, 36,
                273, 333, window_font, GetSysColor(COLOR_WINDOWTEXT));
  group_box_procedure = (WNDPROC)SetWindowLongPtrA(group, GWLP_WNDPROC, (LONG_PTR)GroupBoxProcedure);
  for (pin = 1; pin <= kPins; ++pin) {
    const BOOL left = pin <= 13, ground = pin >= 18;
    const int x = left ? 12 : 128, y = left ? 28 + 20 * (pin - 1) : 38 + 20 * (pin - 14);
    const int width = left ? 109 : pin <= 16 ? 125 : 137;
    HWND box = Child(group, "BUTTON", kPinBoxes[pin - 1].caption,
                     WS_TABSTOP | (ground ? BS_3STATE : BS_CHECKBOX) | (left ? BS_LEFTTEXT : 0), 0, x, y, width, 17,
                     pin == 1 ? strobe_font : pin_font, kPinBoxes[pin - 1].color);
    if (set_theme) set_theme(box, L"", L"");
    if (ground) SendMessageA(box, BM_SETCHECK, BST_INDETERMINATE, 0);
  }
  Child(group, "BUTTON", "Refresh", WS_TABSTOP | BS_PUSHBUTTON, 0, 12, 296, 75, 25, window_font,
        GetSysColor(COLOR_WINDOWTEXT));
  ShowWindow(window, SW_SHOW);

  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    if (IsDialogMessageA(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  DeleteObject(window_font);
  DeleteObject(pin_font);
  DeleteObject(strobe_font);
  if (uxtheme) FreeLibrary(uxtheme);
  FreeLibrary(GetModuleHandleA("SetupAPI.dll"));
  return 0;
}

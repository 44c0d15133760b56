// The real Windows behind the seam: every call forwards to the system's own.
#include "platform/win32.h"

#include "platform/system_library.h"

namespace platform {
namespace {

class RealFiles final : public Files {
 public:
  HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flags, HANDLE template_file) override {
    return ::CreateFileA(name, access, share, security, disposition, flags, template_file);
  }
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) override {
    return ::WriteFile(file, buffer, count, written, overlapped);
  }
  BOOL CloseHandle(HANDLE object) override { return ::CloseHandle(object); }
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                       LPDWORD returned, LPOVERLAPPED overlapped) override {
    return ::DeviceIoControl(device, code, in, in_size, out, out_size, returned, overlapped);
  }
  HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state, LPCSTR name) override {
    return ::CreateEventA(security, manual_reset, initial_state, name);
  }
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) override {
    return ::ReadFile(file, buffer, count, read, overlapped);
  }
  DWORD GetFileSize(HANDLE file, LPDWORD size_high) override { return ::GetFileSize(file, size_high); }
  BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) override {
    return ::GetOverlappedResult(file, overlapped, transferred, wait);
  }
  DWORD GetFileType(HANDLE file) override { return ::GetFileType(file); }
  BOOL DeleteFileA(LPCSTR name) override { return ::DeleteFileA(name); }
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override { return ::GetSystemDirectoryA(buffer, size); }
  DWORD GetTempPathA(DWORD size, LPSTR buffer) override { return ::GetTempPathA(size, buffer); }
  BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                            PSECURITY_DESCRIPTOR* descriptor, PULONG size) override {
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorA(text, revision, descriptor, size);
  }
  HLOCAL LocalFree(HLOCAL memory) override { return ::LocalFree(memory); }
};

class RealServices final : public Services {
 public:
  SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) override {
    return ::OpenSCManagerA(machine, database, access);
  }
  SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display_name, DWORD access, DWORD service_type,
                           DWORD start_type, DWORD error_control, LPCSTR binary_path, LPCSTR load_order_group,
                           LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password) override {
    return ::CreateServiceA(manager, name, display_name, access, service_type, start_type, error_control,
                            binary_path, load_order_group, tag, dependencies, account, password);
  }
  SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) override {
    return ::OpenServiceA(manager, name, access);
  }
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) override {
    return ::StartServiceA(service, argc, argv);
  }
  BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) override {
    return ::ControlService(service, control, status);
  }
  BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) override {
    return ::QueryServiceStatus(service, status);
  }
  BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) override {
    return ::QueryServiceConfigA(service, config, size, needed);
  }
  BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD service_type, DWORD start_type, DWORD error_control,
                            LPCSTR binary_path, LPCSTR load_order_group, LPDWORD tag, LPCSTR dependencies,
                            LPCSTR account, LPCSTR password, LPCSTR display_name) override {
    return ::ChangeServiceConfigA(service, service_type, start_type, error_control, binary_path, load_order_group,
                                  tag, dependencies, account, password, display_name);
  }
  BOOL DeleteService(SC_HANDLE service) override { return ::DeleteService(service); }
  BOOL CloseServiceHandle(SC_HANDLE handle) override { return ::CloseServiceHandle(handle); }
  BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) override {
    return ::OpenProcessToken(process, access, token);
  }
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) override {
    return ::LookupPrivilegeValueA(system, name, luid);
  }
  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD length,
                             PTOKEN_PRIVILEGES previous_state, LPDWORD return_length) override {
    return ::AdjustTokenPrivileges(token, disable_all, new_state, length, previous_state, return_length);
  }
};

class RealResources final : public Resources {
 public:
  HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) override {
    return ::FindResourceA(module, name, type);
  }
  HGLOBAL LoadResource(HMODULE module, HRSRC resource) override { return ::LoadResource(module, resource); }
  LPVOID LockResource(HGLOBAL data) override { return ::LockResource(data); }
  DWORD SizeofResource(HMODULE module, HRSRC resource) override { return ::SizeofResource(module, resource); }
};

class RealModules final : public Modules {
 public:
  HMODULE GetModuleHandleA(LPCSTR name) override { return ::GetModuleHandleA(name); }
  DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) override {
    return ::GetModuleFileNameA(module, buffer, size);
  }
  HMODULE LoadLibraryA(LPCSTR name) override { return ::LoadLibraryA(name); }
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override { return ::GetProcAddress(module, name); }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
};

class RealRegistry final : public Registry {
 public:
  LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) override {
    return ::RegOpenKeyExA(key, sub_key, options, access, result);
  }
  LONG RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                        LPDWORD size) override {
    return ::RegQueryValueExA(key, value_name, reserved, type, data, size);
  }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
};

// winspool.drv is no KnownDLL: imported, it would be looked for beside the program first. So it
// is loaded from the system folder for each call, which only the 9x family's enumeration makes.
class RealSpooler final : public Spooler {
 public:
  BOOL EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) override {
    using EnumPortsProc = BOOL(WINAPI*)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    UniqueModule spooler = LoadSystemLibrary("winspool.drv");
    if (!spooler) return FALSE;
    const auto enum_ports = reinterpret_cast<EnumPortsProc>(
        reinterpret_cast<void*>(::GetProcAddress(spooler.get(), "EnumPortsA")));
    if (!enum_ports) return FALSE;
    const BOOL done = enum_ports(server, level, ports, size, needed, returned);
    // The caller reads the error of a failed call (the sizing call's ERROR_INSUFFICIENT_BUFFER).
    const DWORD error = ::GetLastError();
    spooler.reset();
    ::SetLastError(error);
    return done;
  }
};

// Only programs of the 9x family execute these; on the NT family they would fault.
class RealPortInstructions final : public PortInstructions {
 public:
  BYTE InByte(WORD port) override {
    BYTE value;
    __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(port));
    return value;
  }
  void OutByte(WORD port, BYTE value) override { __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(port)); }
};

class RealProcess final : public Process {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }
  void SetLastError(DWORD error) override { ::SetLastError(error); }
  DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer, DWORD size,
                       va_list* arguments) override {
    return ::FormatMessageA(flags, source, message_id, language_id, buffer, size, arguments);
  }
  BOOL GetVersionExA(LPOSVERSIONINFOA info) override { return ::GetVersionExA(info); }
  BOOL IsWow64Process(HANDLE process, PBOOL wow64) override {
    // Taken from kernel32 at run time: a system without it (32-bit Windows before XP SP2) has
    // no WOW64 either, and the program still starts there.
    using Proc = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto proc = reinterpret_cast<Proc>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    if (!proc) {
      *wow64 = FALSE;
      return TRUE;
    }
    return proc(process, wow64);
  }
  int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi_byte,
                          int multi_byte_size, LPCSTR default_char, LPBOOL used_default) override {
    return ::WideCharToMultiByte(code_page, flags, wide, wide_count, multi_byte, multi_byte_size, default_char,
                                 used_default);
  }
  BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) override {
    return ::SetConsoleCtrlHandler(handler, add);
  }
};

class RealWindowsFamily final : public Windows {
 public:
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override {
    return ::MessageBoxA(owner, text, caption, type);
  }
  HWND GetForegroundWindow() override { return ::GetForegroundWindow(); }
  LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    return ::SendMessageA(window, message, wparam, lparam);
  }
  HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                       int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) override {
    return ::CreateWindowExA(ex_style, class_name, window_name, style, x, y, width, height, parent, menu, instance,
                             param);
  }
  BOOL DestroyWindow(HWND window) override { return ::DestroyWindow(window); }
  BOOL IsWindow(HWND window) override { return ::IsWindow(window); }
  LONG_PTR GetWindowLongPtrA(HWND window, int index) override { return ::GetWindowLongPtrA(window, index); }
  LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) override {
    return ::SetWindowLongPtrA(window, index, value);
  }
  LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    return ::CallWindowProcA(procedure, window, message, wparam, lparam);
  }
  LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    return ::DefWindowProcA(window, message, wparam, lparam);
  }
  ATOM RegisterClassA(const WNDCLASSA* window_class) override { return ::RegisterClassA(window_class); }
  HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) override { return ::LoadCursorA(instance, name); }
  HICON LoadIconA(HINSTANCE instance, LPCSTR name) override { return ::LoadIconA(instance, name); }
  BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    return ::PostMessageA(window, message, wparam, lparam);
  }
  BOOL GetMessageA(LPMSG message, HWND window, UINT first, UINT last) override {
    return ::GetMessageA(message, window, first, last);
  }
  BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) override {
    return ::PeekMessageA(message, window, first, last, remove);
  }
  BOOL TranslateMessage(const MSG* message) override { return ::TranslateMessage(message); }
  LRESULT DispatchMessageA(const MSG* message) override { return ::DispatchMessageA(message); }
  BOOL IsDialogMessageA(HWND dialog, LPMSG message) override { return ::IsDialogMessageA(dialog, message); }
  HWND GetAncestor(HWND window, UINT flags) override { return ::GetAncestor(window, flags); }
  void PostQuitMessage(int exit_code) override { ::PostQuitMessage(exit_code); }
  BOOL ShowWindow(HWND window, int command) override { return ::ShowWindow(window, command); }
  BOOL EnableWindow(HWND window, BOOL enable) override { return ::EnableWindow(window, enable); }
  BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags) override {
    return ::SetWindowPos(window, insert_after, x, y, width, height, flags);
  }
  BOOL GetClientRect(HWND window, LPRECT rect) override { return ::GetClientRect(window, rect); }
  BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) override {
    return ::InvalidateRect(window, rect, erase);
  }
  int GetSystemMetrics(int index) override { return ::GetSystemMetrics(index); }
  HDC GetDC(HWND window) override { return ::GetDC(window); }
  int ReleaseDC(HWND window, HDC dc) override { return ::ReleaseDC(window, dc); }
  int FillRect(HDC dc, const RECT* rect, HBRUSH brush) override { return ::FillRect(dc, rect, brush); }
  DWORD GetSysColor(int index) override { return ::GetSysColor(index); }
  HBRUSH GetSysColorBrush(int index) override { return ::GetSysColorBrush(index); }
};

class RealGraphics final : public Graphics {
 public:
  HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                    DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                    DWORD quality, DWORD pitch_and_family, LPCSTR face) override {
    return ::CreateFontA(height, width, escapement, orientation, weight, italic, underline, strike_out, charset,
                         out_precision, clip_precision, quality, pitch_and_family, face);
  }
  HBRUSH CreateSolidBrush(COLORREF color) override { return ::CreateSolidBrush(color); }
  BOOL DeleteObject(HGDIOBJ object) override { return ::DeleteObject(object); }
  int GetDeviceCaps(HDC dc, int index) override { return ::GetDeviceCaps(dc, index); }
  COLORREF SetTextColor(HDC dc, COLORREF color) override { return ::SetTextColor(dc, color); }
  COLORREF SetBkColor(HDC dc, COLORREF color) override { return ::SetBkColor(dc, color); }
};

class RealTime final : public Time {
 public:
  DWORD GetTickCount() override { return ::GetTickCount(); }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

// The families hold nothing, so they are made when the program is loaded, with no code at
// start-up and no lock around a first use (the runtime's lock pulls in a thread library).
constinit RealFiles real_files;
constinit RealProcess real_process;
constinit RealWindowsFamily real_windows;
constinit RealTime real_time;
constinit RealServices real_services;
constinit RealResources real_resources;
constinit RealPortInstructions real_ports;
constinit RealModules real_modules;
constinit RealRegistry real_registry;
constinit RealSpooler real_spooler;
constinit RealGraphics real_graphics;
constinit const Platform real_platform{&real_files,    &real_process,   &real_windows, &real_time,
                                       &real_services, &real_resources, &real_ports,   &real_modules,
                                       &real_registry, &real_spooler,   &real_graphics};

}  // namespace

const Platform& RealWindows() { return real_platform; }

}  // namespace platform

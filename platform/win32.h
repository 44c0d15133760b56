// The one seam between the library and Windows. Each family below is a small interface
// whose operations carry the Win32 calls' own names and arguments. Windows builds install
// a forwarder to the real API by default; the simulated PC (sim/) implements the same
// interfaces for tests. Library code calls the free functions of namespace win, which go
// to whatever platform is installed.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "platform/win32_types.h"

namespace platform {

/// kernel32: files, devices, events and handles.
class Files {
 public:
  virtual ~Files() = default;
  virtual HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE template_file) = 0;
  virtual BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                         LPOVERLAPPED overlapped) = 0;
  virtual BOOL CloseHandle(HANDLE object) = 0;
  virtual BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out,
                               DWORD out_size, LPDWORD returned, LPOVERLAPPED overlapped) = 0;
  virtual HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state,
                              LPCSTR name) = 0;
  virtual BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) = 0;
  virtual DWORD GetFileSize(HANDLE file, LPDWORD size_high) = 0;
  virtual BOOL DeleteFileA(LPCSTR name) = 0;
  virtual UINT GetSystemDirectoryA(LPSTR buffer, UINT size) = 0;
  virtual BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) = 0;
  /// FILE_TYPE_DISK, FILE_TYPE_CHAR (a device, the console), FILE_TYPE_PIPE or FILE_TYPE_UNKNOWN.
  virtual DWORD GetFileType(HANDLE file) = 0;
  virtual DWORD GetTempPathA(DWORD size, LPSTR buffer) = 0;
  /// A file's security descriptor from its text form; freed with LocalFree.
  virtual BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                                    PSECURITY_DESCRIPTOR* descriptor, PULONG size) = 0;
  virtual HLOCAL LocalFree(HLOCAL memory) = 0;
};

/// advapi32: the service control manager, and the process's access token, whose load-driver
/// privilege opening a port driver's device takes.
class Services {
 public:
  virtual ~Services() = default;
  virtual SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) = 0;
  virtual SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display_name, DWORD access,
                                   DWORD service_type, DWORD start_type, DWORD error_control, LPCSTR binary_path,
                                   LPCSTR load_order_group, LPDWORD tag, LPCSTR dependencies, LPCSTR account,
                                   LPCSTR password) = 0;
  virtual SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) = 0;
  virtual BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) = 0;
  virtual BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) = 0;
  virtual BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) = 0;
  virtual BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) = 0;
  virtual BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD service_type, DWORD start_type, DWORD error_control,
                                    LPCSTR binary_path, LPCSTR load_order_group, LPDWORD tag, LPCSTR dependencies,
                                    LPCSTR account, LPCSTR password, LPCSTR display_name) = 0;
  virtual BOOL DeleteService(SC_HANDLE service) = 0;
  virtual BOOL CloseServiceHandle(SC_HANDLE handle) = 0;
  virtual BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) = 0;
  virtual BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) = 0;
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD length,
                                     PTOKEN_PRIVILEGES previous_state, LPDWORD return_length) = 0;
};

/// kernel32: the program's own resources.
class Resources {
 public:
  virtual ~Resources() = default;
  virtual HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) = 0;
  virtual HGLOBAL LoadResource(HMODULE module, HRSRC resource) = 0;
  virtual LPVOID LockResource(HGLOBAL data) = 0;
  virtual DWORD SizeofResource(HMODULE module, HRSRC resource) = 0;
};

/// The processor's port instructions, which programs of the 9x family may execute themselves.
class PortInstructions {
 public:
  virtual ~PortInstructions() = default;
  /// IN AL,DX
  virtual BYTE InByte(WORD port) = 0;
  /// OUT DX,AL
  virtual void OutByte(WORD port, BYTE value) = 0;
};

/// kernel32: the thread's last error, system message texts, the version, whether the
/// process runs under WOW64, and wide-to-ANSI text.
class Process {
 public:
  virtual ~Process() = default;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  virtual DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                               LPSTR buffer, DWORD size, va_list* arguments) = 0;
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA info) = 0;
  virtual BOOL IsWow64Process(HANDLE process, PBOOL wow64) = 0;
  virtual int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi_byte,
                                  int multi_byte_size, LPCSTR default_char, LPBOOL used_default) = 0;
  /// The console's Ctrl+C and Ctrl+Break: the handler runs on a thread of its own.
  virtual BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) = 0;
};

/// kernel32: the process's modules, its own image among them, and modules loaded by name at
/// run time with their entry points. SetupAPI and ntdll's ZwQueryKey are reached this way,
/// so their calls are the modules' own.
class Modules {
 public:
  virtual ~Modules() = default;
  virtual HMODULE GetModuleHandleA(LPCSTR name) = 0;
  virtual DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) = 0;
  virtual HMODULE LoadLibraryA(LPCSTR name) = 0;
  virtual FARPROC GetProcAddress(HMODULE module, LPCSTR name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;
};

/// advapi32: the registry, read only.
class Registry {
 public:
  virtual ~Registry() = default;
  virtual LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) = 0;
  virtual LONG RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                LPDWORD size) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
};

/// winspool: the spooler's list of ports.
class Spooler {
 public:
  virtual ~Spooler() = default;
  virtual BOOL EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) = 0;
};

/// user32: windows and their messages.
class Windows {
 public:
  virtual ~Windows() = default;
  virtual int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) = 0;
  virtual HWND GetForegroundWindow() = 0;
  virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
  virtual HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style,
                               int x, int y, int width, int height, HWND parent, HMENU menu,
                               HINSTANCE instance, LPVOID param) = 0;
  virtual BOOL DestroyWindow(HWND window) = 0;
  virtual BOOL IsWindow(HWND window) = 0;
  virtual LONG_PTR GetWindowLongPtrA(HWND window, int index) = 0;
  virtual LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) = 0;
  virtual LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wparam,
                                  LPARAM lparam) = 0;
  virtual LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
  virtual ATOM RegisterClassA(const WNDCLASSA* window_class) = 0;
  virtual HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) = 0;
  virtual HICON LoadIconA(HINSTANCE instance, LPCSTR name) = 0;
  virtual BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) = 0;
  virtual BOOL GetMessageA(LPMSG message, HWND window, UINT first, UINT last) = 0;
  virtual BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) = 0;
  virtual BOOL TranslateMessage(const MSG* message) = 0;
  virtual LRESULT DispatchMessageA(const MSG* message) = 0;
  /// Keyboard navigation among a window's controls (Tab, arrows, Enter, Esc).
  virtual BOOL IsDialogMessageA(HWND dialog, LPMSG message) = 0;
  virtual HWND GetAncestor(HWND window, UINT flags) = 0;
  virtual void PostQuitMessage(int exit_code) = 0;
  virtual BOOL ShowWindow(HWND window, int command) = 0;
  virtual BOOL EnableWindow(HWND window, BOOL enable) = 0;
  virtual BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags) = 0;
  virtual BOOL GetClientRect(HWND window, LPRECT rect) = 0;
  virtual BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  virtual HDC GetDC(HWND window) = 0;
  virtual int ReleaseDC(HWND window, HDC dc) = 0;
  virtual int FillRect(HDC dc, const RECT* rect, HBRUSH brush) = 0;
  virtual DWORD GetSysColor(int index) = 0;
  virtual HBRUSH GetSysColorBrush(int index) = 0;
};

/// gdi32: fonts, brushes, and what a device context is asked to draw with.
class Graphics {
 public:
  virtual ~Graphics() = default;
  virtual HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                            DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision,
                            DWORD clip_precision, DWORD quality, DWORD pitch_and_family, LPCSTR face) = 0;
  virtual HBRUSH CreateSolidBrush(COLORREF color) = 0;
  virtual BOOL DeleteObject(HGDIOBJ object) = 0;
  virtual int GetDeviceCaps(HDC dc, int index) = 0;
  virtual COLORREF SetTextColor(HDC dc, COLORREF color) = 0;
  virtual COLORREF SetBkColor(HDC dc, COLORREF color) = 0;
};

/// kernel32: the millisecond clock.
class Time {
 public:
  virtual ~Time() = default;
  virtual DWORD GetTickCount() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
};

/// One Windows, as seen by the library: a set of families.
struct Platform {
  Files* files;
  Process* process;
  Windows* windows;
  Time* time;
  Services* services;
  Resources* resources;
  PortInstructions* ports;
  Modules* modules;
  Registry* registry;
  Spooler* spooler;
  Graphics* graphics = nullptr;
};

/// The platform the library talks to. Windows builds start with the real one; the host build
/// has none until a test installs the simulated PC.
const Platform& Installed();

/// Installs a platform for the lifetime of this object and restores the previous one after.
class ScopedInstall {
 public:
  explicit ScopedInstall(const Platform& platform);
  ~ScopedInstall();
  ScopedInstall(const ScopedInstall&) = delete;
  ScopedInstall& operator=(const ScopedInstall&) = delete;

 private:
  const Platform* previous_;
};

}  // namespace platform

namespace win {

inline HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE template_file) {
  return platform::Installed().files->CreateFileA(name, access, share, security, disposition, flags,
                                                  template_file);
}
inline BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) {
  return platform::Installed().files->WriteFile(file, buffer, count, written, overlapped);
}
inline BOOL CloseHandle(HANDLE object) { return platform::Installed().files->CloseHandle(object); }
inline BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                            LPDWORD returned, LPOVERLAPPED overlapped) {
  return platform::Installed().files->DeviceIoControl(device, code, in, in_size, out, out_size, returned,
                                                      overlapped);
}
inline HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state, LPCSTR name) {
  return platform::Installed().files->CreateEventA(security, manual_reset, initial_state, name);
}

inline BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) {
  return platform::Installed().files->ReadFile(file, buffer, count, read, overlapped);
}
inline DWORD GetFileSize(HANDLE file, LPDWORD size_high) {
  return platform::Installed().files->GetFileSize(file, size_high);
}
inline BOOL DeleteFileA(LPCSTR name) { return platform::Installed().files->DeleteFileA(name); }
inline UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  return platform::Installed().files->GetSystemDirectoryA(buffer, size);
}
inline DWORD GetTempPathA(DWORD size, LPSTR buffer) { return platform::Installed().files->GetTempPathA(size, buffer); }
inline BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                                 PSECURITY_DESCRIPTOR* descriptor, PULONG size) {
  return platform::Installed().files->ConvertStringSecurityDescriptorToSecurityDescriptorA(text, revision, descriptor,
                                                                                          size);
}
inline HLOCAL LocalFree(HLOCAL memory) { return platform::Installed().files->LocalFree(memory); }

inline BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
  return platform::Installed().files->GetOverlappedResult(file, overlapped, transferred, wait);
}
inline DWORD GetFileType(HANDLE file) { return platform::Installed().files->GetFileType(file); }
inline SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
  return platform::Installed().services->OpenSCManagerA(machine, database, access);
}
inline SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR display_name, DWORD access, DWORD service_type,
                                DWORD start_type, DWORD error_control, LPCSTR binary_path, LPCSTR load_order_group,
                                LPDWORD tag, LPCSTR dependencies, LPCSTR account, LPCSTR password) {
  return platform::Installed().services->CreateServiceA(manager, name, display_name, access, service_type,
                                                        start_type, error_control, binary_path, load_order_group,
                                                        tag, dependencies, account, password);
}
inline SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
  return platform::Installed().services->OpenServiceA(manager, name, access);
}
inline BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) {
  return platform::Installed().services->StartServiceA(service, argc, argv);
}
inline BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  return platform::Installed().services->ControlService(service, control, status);
}
inline BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  return platform::Installed().services->QueryServiceStatus(service, status);
}
inline BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD size, LPDWORD needed) {
  return platform::Installed().services->QueryServiceConfigA(service, config, size, needed);
}
inline BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD service_type, DWORD start_type, DWORD error_control,
                                 LPCSTR binary_path, LPCSTR load_order_group, LPDWORD tag, LPCSTR dependencies,
                                 LPCSTR account, LPCSTR password, LPCSTR display_name) {
  return platform::Installed().services->ChangeServiceConfigA(service, service_type, start_type, error_control,
                                                              binary_path, load_order_group, tag, dependencies,
                                                              account, password, display_name);
}
inline BOOL DeleteService(SC_HANDLE service) { return platform::Installed().services->DeleteService(service); }
inline BOOL CloseServiceHandle(SC_HANDLE handle) {
  return platform::Installed().services->CloseServiceHandle(handle);
}
/// The current process's pseudo handle: the constant (HANDLE)-1 that kernel32 returns.
inline HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
inline BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  return platform::Installed().services->OpenProcessToken(process, access, token);
}
inline BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
  return platform::Installed().services->LookupPrivilegeValueA(system, name, luid);
}
inline BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state, DWORD length,
                                  PTOKEN_PRIVILEGES previous_state, LPDWORD return_length) {
  return platform::Installed().services->AdjustTokenPrivileges(token, disable_all, new_state, length, previous_state,
                                                               return_length);
}

inline HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  return platform::Installed().resources->FindResourceA(module, name, type);
}
inline HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  return platform::Installed().resources->LoadResource(module, resource);
}
inline LPVOID LockResource(HGLOBAL data) { return platform::Installed().resources->LockResource(data); }
inline DWORD SizeofResource(HMODULE module, HRSRC resource) {
  return platform::Installed().resources->SizeofResource(module, resource);
}

inline int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_count, LPSTR multi_byte,
                               int multi_byte_size, LPCSTR default_char, LPBOOL used_default) {
  return platform::Installed().process->WideCharToMultiByte(code_page, flags, wide, wide_count, multi_byte,
                                                            multi_byte_size, default_char, used_default);
}

inline BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
  return platform::Installed().process->SetConsoleCtrlHandler(handler, add);
}

inline HMODULE LoadLibraryA(LPCSTR name) { return platform::Installed().modules->LoadLibraryA(name); }
inline FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  return platform::Installed().modules->GetProcAddress(module, name);
}
inline BOOL FreeLibrary(HMODULE module) { return platform::Installed().modules->FreeLibrary(module); }

inline LONG RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM access, PHKEY result) {
  return platform::Installed().registry->RegOpenKeyExA(key, sub_key, options, access, result);
}
inline LONG RegQueryValueExA(HKEY key, LPCSTR value_name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD size) {
  return platform::Installed().registry->RegQueryValueExA(key, value_name, reserved, type, data, size);
}
inline LONG RegCloseKey(HKEY key) { return platform::Installed().registry->RegCloseKey(key); }

inline BOOL EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD returned) {
  return platform::Installed().spooler->EnumPortsA(server, level, ports, size, needed, returned);
}

inline BYTE InByte(WORD port) { return platform::Installed().ports->InByte(port); }
inline void OutByte(WORD port, BYTE value) { platform::Installed().ports->OutByte(port, value); }

inline DWORD GetLastError() { return platform::Installed().process->GetLastError(); }
inline void SetLastError(DWORD error) { platform::Installed().process->SetLastError(error); }
inline DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                            DWORD size, va_list* arguments) {
  return platform::Installed().process->FormatMessageA(flags, source, message_id, language_id, buffer, size,
                                                       arguments);
}
inline BOOL GetVersionExA(LPOSVERSIONINFOA info) { return platform::Installed().process->GetVersionExA(info); }
inline BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
  return platform::Installed().process->IsWow64Process(process, wow64);
}
inline HMODULE GetModuleHandleA(LPCSTR name) { return platform::Installed().modules->GetModuleHandleA(name); }
inline DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  return platform::Installed().modules->GetModuleFileNameA(module, buffer, size);
}

inline int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  return platform::Installed().windows->MessageBoxA(owner, text, caption, type);
}
inline HWND GetForegroundWindow() { return platform::Installed().windows->GetForegroundWindow(); }
inline LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return platform::Installed().windows->SendMessageA(window, message, wparam, lparam);
}
inline HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  return platform::Installed().windows->CreateWindowExA(ex_style, class_name, window_name, style, x, y, width,
                                                        height, parent, menu, instance, param);
}
inline BOOL DestroyWindow(HWND window) { return platform::Installed().windows->DestroyWindow(window); }
inline BOOL IsWindow(HWND window) { return platform::Installed().windows->IsWindow(window); }
inline LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  return platform::Installed().windows->GetWindowLongPtrA(window, index);
}
inline LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  return platform::Installed().windows->SetWindowLongPtrA(window, index, value);
}
inline LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return platform::Installed().windows->CallWindowProcA(procedure, window, message, wparam, lparam);
}
inline LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return platform::Installed().windows->DefWindowProcA(window, message, wparam, lparam);
}
inline ATOM RegisterClassA(const WNDCLASSA* window_class) {
  return platform::Installed().windows->RegisterClassA(window_class);
}
inline HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  return platform::Installed().windows->LoadCursorA(instance, name);
}
inline HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  return platform::Installed().windows->LoadIconA(instance, name);
}
inline BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return platform::Installed().windows->PostMessageA(window, message, wparam, lparam);
}
inline BOOL GetMessageA(LPMSG message, HWND window, UINT first, UINT last) {
  return platform::Installed().windows->GetMessageA(message, window, first, last);
}
inline BOOL PeekMessageA(LPMSG message, HWND window, UINT first, UINT last, UINT remove) {
  return platform::Installed().windows->PeekMessageA(message, window, first, last, remove);
}
inline BOOL TranslateMessage(const MSG* message) { return platform::Installed().windows->TranslateMessage(message); }
inline LRESULT DispatchMessageA(const MSG* message) {
  return platform::Installed().windows->DispatchMessageA(message);
}
inline BOOL IsDialogMessageA(HWND dialog, LPMSG message) {
  return platform::Installed().windows->IsDialogMessageA(dialog, message);
}
inline HWND GetAncestor(HWND window, UINT flags) { return platform::Installed().windows->GetAncestor(window, flags); }
inline void PostQuitMessage(int exit_code) { platform::Installed().windows->PostQuitMessage(exit_code); }
inline BOOL ShowWindow(HWND window, int command) { return platform::Installed().windows->ShowWindow(window, command); }
inline BOOL EnableWindow(HWND window, BOOL enable) {
  return platform::Installed().windows->EnableWindow(window, enable);
}
inline BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags) {
  return platform::Installed().windows->SetWindowPos(window, insert_after, x, y, width, height, flags);
}
inline BOOL GetClientRect(HWND window, LPRECT rect) { return platform::Installed().windows->GetClientRect(window, rect); }
inline BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  return platform::Installed().windows->InvalidateRect(window, rect, erase);
}
inline int GetSystemMetrics(int index) { return platform::Installed().windows->GetSystemMetrics(index); }
inline HDC GetDC(HWND window) { return platform::Installed().windows->GetDC(window); }
inline int ReleaseDC(HWND window, HDC dc) { return platform::Installed().windows->ReleaseDC(window, dc); }
inline int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  return platform::Installed().windows->FillRect(dc, rect, brush);
}
inline DWORD GetSysColor(int index) { return platform::Installed().windows->GetSysColor(index); }
inline HBRUSH GetSysColorBrush(int index) { return platform::Installed().windows->GetSysColorBrush(index); }

/// The gdi32 family, which a platform may lack (a simulated PC put together without it):
/// calling it then stops the program with a message rather than following a null pointer.
inline platform::Graphics& InstalledGraphics() {
  platform::Graphics* graphics = platform::Installed().graphics;
  if (!graphics) {
    std::fputs("pinscope: the installed platform has no gdi32 (Platform::graphics)\n", stderr);
    std::abort();
  }
  return *graphics;
}

inline HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                         DWORD quality, DWORD pitch_and_family, LPCSTR face) {
  return InstalledGraphics().CreateFontA(height, width, escapement, orientation, weight, italic, underline,
                                         strike_out, charset, out_precision, clip_precision, quality,
                                         pitch_and_family, face);
}
inline HBRUSH CreateSolidBrush(COLORREF color) { return InstalledGraphics().CreateSolidBrush(color); }
inline BOOL DeleteObject(HGDIOBJ object) { return InstalledGraphics().DeleteObject(object); }
inline int GetDeviceCaps(HDC dc, int index) { return InstalledGraphics().GetDeviceCaps(dc, index); }
inline COLORREF SetTextColor(HDC dc, COLORREF color) { return InstalledGraphics().SetTextColor(dc, color); }
inline COLORREF SetBkColor(HDC dc, COLORREF color) { return InstalledGraphics().SetBkColor(dc, color); }

inline DWORD GetTickCount() { return platform::Installed().time->GetTickCount(); }
inline void Sleep(DWORD milliseconds) { platform::Installed().time->Sleep(milliseconds); }

}  // namespace win

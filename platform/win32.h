// The one seam between the library and Windows. Each family below is a small interface
// whose operations carry the Win32 calls' own names and arguments. Windows builds install
// a forwarder to the real API by default; the simulated PC (sim/) implements the same
// interfaces for tests. Library code calls the free functions of namespace win, which go
// to whatever platform is installed.
#pragma once

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
};

/// kernel32: the thread's last error, system message texts, the version.
class Process {
 public:
  virtual ~Process() = default;
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD error) = 0;
  virtual DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                               LPSTR buffer, DWORD size, va_list* arguments) = 0;
  virtual BOOL GetVersionExA(LPOSVERSIONINFOA info) = 0;
  virtual HMODULE GetModuleHandleA(LPCSTR name) = 0;
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

inline DWORD GetLastError() { return platform::Installed().process->GetLastError(); }
inline void SetLastError(DWORD error) { platform::Installed().process->SetLastError(error); }
inline DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, LPSTR buffer,
                            DWORD size, va_list* arguments) {
  return platform::Installed().process->FormatMessageA(flags, source, message_id, language_id, buffer, size,
                                                       arguments);
}
inline BOOL GetVersionExA(LPOSVERSIONINFOA info) { return platform::Installed().process->GetVersionExA(info); }
inline HMODULE GetModuleHandleA(LPCSTR name) { return platform::Installed().process->GetModuleHandleA(name); }

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

inline DWORD GetTickCount() { return platform::Installed().time->GetTickCount(); }
inline void Sleep(DWORD milliseconds) { platform::Installed().time->Sleep(milliseconds); }

}  // namespace win

// The real Windows behind the seam: every call forwards to the system's own.
#include "platform/win32.h"

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
  HMODULE GetModuleHandleA(LPCSTR name) override { return ::GetModuleHandleA(name); }
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
};

class RealTime final : public Time {
 public:
  DWORD GetTickCount() override { return ::GetTickCount(); }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

const Platform& RealWindows() {
  static RealFiles files;
  static RealProcess process;
  static RealWindowsFamily windows;
  static RealTime time;
  static const Platform real{&files, &process, &windows, &time};
  return real;
}

}  // namespace platform

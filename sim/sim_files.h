// kernel32's files, devices, events and handles, on the simulated PC.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/device.h"
#include "sim/devices.h"
#include "sim/event.h"

namespace sim {

class SimFiles final : public platform::Files {
 public:
  explicit SimFiles(Core& core);

  HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flags, HANDLE template_file) override;
  BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped) override;
  BOOL CloseHandle(HANDLE object) override;
  BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                       LPDWORD returned, LPOVERLAPPED overlapped) override;
  HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual_reset, BOOL initial_state, LPCSTR name) override;

  /// Plugs in a device under `name` ("\\\\.\\vlio"); a later device of the same name replaces it.
  void AddDevice(std::string_view name, std::shared_ptr<Device> device) { devices_.Add(name, std::move(device)); }
  void RemoveDevice(std::string_view name) { devices_.Remove(name); }
  /// Adds a further name space (the disk) that CreateFileA asks after the devices.
  void Mount(NameSpace& space) { spaces_.push_back(&space); }

  /// The event behind `handle`, or null.
  const Event* EventOf(HANDLE handle) const { return core_.handles.FindAs<Event>(handle); }

 private:
  // Completes a request at once, as a driver may even on an overlapped handle.
  void Complete(LPOVERLAPPED overlapped, DWORD error, DWORD bytes);

  Core& core_;
  Devices devices_;
  std::vector<NameSpace*> spaces_;
};

}  // namespace sim

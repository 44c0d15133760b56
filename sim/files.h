// kernel32's files, devices, events and handles, on the simulated PC.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/core.h"
#include "sim/device.h"
#include "sim/devices.h"
#include "sim/disk.h"
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
  BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped) override;
  DWORD GetFileSize(HANDLE file, LPDWORD size_high) override;
  BOOL DeleteFileA(LPCSTR name) override;
  /// Files on the disk only, and only with MOVEFILE_REPLACE_EXISTING.
  BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) override;
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override;
  /// Requests complete at once here, so the record already holds the outcome.
  BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) override;
  DWORD GetFileType(HANDLE file) override;
  DWORD GetTempPathA(DWORD size, LPSTR buffer) override;
  BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                            PSECURITY_DESCRIPTOR* descriptor, PULONG size) override;
  HLOCAL LocalFree(HLOCAL memory) override;

  /// Plugs in a device under `name` ("\\\\.\\vlio"); a later device of the same name replaces it.
  void AddDevice(std::string_view name, std::shared_ptr<Device> device) { devices_.Add(name, std::move(device)); }
  /// Adds a further name space that CreateFileA asks after the devices.
  void Mount(NameSpace& space) { spaces_.push_back(&space); }
  /// Adds a name space asked before the devices, whose names shadow theirs (the kernel's links).
  void MountAhead(NameSpace& space) { spaces_.insert(spaces_.begin(), &space); }
  /// Mounts the disk, which also answers GetSystemDirectoryA.
  void MountDisk(Disk& disk) {
    Mount(disk);
    disk_ = &disk;
  }

  /// The event behind `handle`, or null.
  const Event* EventOf(HANDLE handle) const { return core_.handles.FindAs<Event>(handle); }

 private:
  // Completes a request at once, as a driver may even on an overlapped handle.
  void Complete(LPOVERLAPPED overlapped, DWORD error, DWORD bytes);

  // The space that owns `name`, or null.
  NameSpace* SpaceOf(std::string_view name) const;

  Core& core_;
  Devices devices_;
  std::vector<NameSpace*> spaces_;
  Disk* disk_ = nullptr;
  // Descriptors made from text and not yet freed, each its own text.
  std::map<const void*, std::unique_ptr<std::string>> descriptors_;
};

}  // namespace sim

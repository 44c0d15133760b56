// The library's routines over Windows calls: the driver image (written from the program's
// resource, held while it loads, found from a service's binary path), the platform family,
// system message texts, overlapped writes, SetupAPI's device list and registry key paths.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/win32.h"

/// Writes the program's RCDATA resource `resource_name` to a new file `file_name`, made with
/// `security`; a file already there fails it (ERROR_FILE_EXISTS), so that nothing is ever
/// written into a file somebody else made. True when the whole resource was written; a file
/// written only in part is deleted again, keeping the error.
bool SaveResourceToFile(const std::string& resource_name, const std::string& file_name,
                        LPSECURITY_ATTRIBUTES security = nullptr);

/// Opens `file_name` for reading, sharing reading only: while the handle is held nobody can
/// write, truncate, rename or delete the file, and the kernel's image loader, which opens for
/// reading and shares reading, can still load it. The handle comes back only when the file
/// holds exactly the program's RCDATA resource `resource_name` (any bytes when the name is
/// empty); otherwise it is empty, and the last error is that of the resource, the open or the
/// read, or ERROR_INVALID_DATA for other bytes.
platform::UniqueFile OpenPinnedImage(const std::string& resource_name, const std::string& file_name);

/// The file that a driver service's binary path names, as the kernel's loader reads it: a
/// `\??\` prefix dropped, `\SystemRoot\` and a path without a drive taken from
/// `windows_directory`.
std::string DriverImageFile(std::string_view binary_path, std::string_view windows_directory);

/// Whether two paths are the same, letter case aside, as the file system compares names.
bool SamePath(std::string_view a, std::string_view b);

/// The operating system's platform id: 1 for the 9x family, 2 for the NT family.
DWORD Win32Platform();

/// Wine's version ("8.0"), which Wine's ntdll tells; nothing on Windows, whose ntdll has no
/// such export.
std::optional<std::string> WineVersion();

/// A key opened for reading its values; empty when it does not open.
platform::UniqueRegistryKey OpenRegistryKey(HKEY root, const std::string& path);
/// A registry value of at most `size` bytes: the bytes the call returned, or nothing.
std::optional<std::vector<uint8_t>> QueryRegistryValue(HKEY key, const char* name, DWORD size);

/// One port of the spooler's list (EnumPortsA, level 2).
struct SpoolerPort {
  std::string name;  // "LPT1:", "USB001"
  std::string description;
};
/// The local spooler's ports; none when the spooler does not answer. Only what lies inside
/// the spooler's answer is taken, whatever counts it gives.
std::vector<SpoolerPort> SpoolerPorts();

/// The system's message text for `error`, at most 255 characters, without its trailing
/// blanks, line ends and full stops.
std::string SystemErrorText(DWORD error);

/// The device setup class of serial and parallel ports (GUID_DEVCLASS_PORTS).
inline constexpr GUID kPortsClass{0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

/// What one device of a device information set tells about itself.
struct DeviceInfo {
  std::string service, description, friendly_name, key_path;
};

/// SetupAPI, loaded by name on first use with all five entry points or none, and freed with
/// this object. A machine without it simply has no devices to list.
class SetupApi {
  using DestroyDeviceInfoList = BOOL(WINAPI*)(HDEVINFO);
  struct ListDestroyer {
    DestroyDeviceInfoList destroy;
    void operator()(HDEVINFO set) const { destroy(set); }
  };

 public:
  SetupApi() = default;
  SetupApi(const SetupApi&) = delete;
  SetupApi& operator=(const SetupApi&) = delete;

  /// A device information set, destroyed with its owner (empty: none), which must not outlive
  /// the SetupApi that made it.
  using DeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, ListDestroyer>;

  bool Load();
  /// The present devices of a setup class; empty when there are none or SetupAPI is missing.
  DeviceList GetClassDevices(const GUID& class_guid);
  /// False when no device stands at `index`.
  bool GetDeviceInfo(HDEVINFO set, int index, DeviceInfo& info);

 private:
  using GetClassDevsA = HDEVINFO(WINAPI*)(const GUID*, LPCSTR, HWND, DWORD);
  using EnumDeviceInfo = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
  using GetDeviceRegistryPropertyA = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, LPDWORD, PBYTE, DWORD, LPDWORD);
  using OpenDevRegKey = HKEY(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);

  std::string Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property);

  platform::UniqueModule module_;
  GetClassDevsA get_class_devs_ = nullptr;
  DestroyDeviceInfoList destroy_device_info_list_ = nullptr;
  EnumDeviceInfo enum_device_info_ = nullptr;
  GetDeviceRegistryPropertyA get_device_registry_property_ = nullptr;
  OpenDevRegKey open_dev_reg_key_ = nullptr;
};

/// The path of an open registry key, found through ntdll's ZwQueryKey: relative to the root
/// it stores in `root` (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, the user's SID dropped),
/// or the full kernel name with root 0. Empty when the key or ntdll is missing.
std::string GetKeyPath(HKEY key, HKEY* root = nullptr);

/// The text before the last backslash of `path`; empty when it has none.
std::string ExtractParentPath(std::string_view path);

// SetupAPI on the simulated PC: the device database of Plug and Play devices, listed by setup
// class, each with its properties in its instance key and its hardware key below
// HKLM\SYSTEM\CurrentControlSet\Enum. The program reaches the entry points through
// LoadLibraryA("SetupAPI.dll") and GetProcAddress (sim/modules.h); tests arrange the devices
// here and odd cases through the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "sim/core.h"
#include "sim/registry.h"

namespace sim {

/// GUID_DEVCLASS_PORTS: serial and parallel ports.
inline constexpr GUID kPortsClassGuid{0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class SimSetupApi {
 public:
  static constexpr std::string_view kEnumKey = "SYSTEM\\CurrentControlSet\\Enum";

  SimSetupApi(Core& core, SimRegistry& registry);
  SimSetupApi(const SimSetupApi&) = delete;
  SimSetupApi& operator=(const SimSetupApi&) = delete;

  // The entry points, with SetupAPI's behaviour; they journal themselves and may be made to
  // fail (core.faults) like seam calls. Device information sets are no kernel handles.
  HDEVINFO SetupDiGetClassDevsA(const GUID* class_guid, LPCSTR enumerator, HWND parent, DWORD flags);
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
  BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device);
  /// Reads the property's value of the device's instance key, as stored: a missing one fails
  /// with ERROR_INVALID_DATA, too small a buffer with ERROR_INSUFFICIENT_BUFFER.
  BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, LPDWORD type,
                                         PBYTE buffer, DWORD size, LPDWORD required);
  /// The hardware key (DIREG_DEV, DICS_FLAG_GLOBAL) as an open registry key the caller
  /// closes; INVALID_HANDLE_VALUE when it is missing (ERROR_KEY_DOES_NOT_EXIST) or denied.
  HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile, DWORD key_type,
                            REGSAM access);

  /// A device as a test describes it. Properties left empty are missing from the instance key.
  struct NewDevice {
    GUID class_guid = kPortsClassGuid;
    /// Below HKLM, e.g. "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0401\\1".
    std::string instance_key;
    /// Below HKLM; empty: the instance key's "Device Parameters".
    std::string hardware_key;
    bool present = true;
    std::optional<std::string> service, description, friendly_name;
  };
  struct Device {
    GUID class_guid;
    std::string instance_key;
    std::string hardware_key;
    bool present;
  };

  /// Adds a device in enumeration order after those already there: its instance key with
  /// Service, DeviceDesc and FriendlyName, and its hardware key (both made, empty otherwise).
  /// Returns its index, for Devices() and SetPresent.
  std::size_t AddDevice(const NewDevice& wanted);
  /// An ECP printer port as Windows XP sets one up from ACPI's PNP0401, service "Parport":
  /// PortName `port_name` in the hardware key, a LogConf\BootConfig giving it eight I/O
  /// ports from `base`.
  std::size_t AddParallelPort(std::string_view port_name, WORD base);
  /// A communications port (PNP0501, service "Serial") likewise.
  std::size_t AddSerialPort(std::string_view port_name, WORD base);
  /// A device that was unplugged stays in the database, but is no longer listed as present.
  void SetPresent(std::size_t index, bool present) { devices_.at(index).present = present; }
  const std::vector<Device>& Devices() const { return devices_; }

  /// A CM_RESOURCE_LIST (REG_RESOURCE_LIST) of one full descriptor (Isa, bus 0) whose one
  /// partial descriptor is the I/O port range [base, base + length).
  static std::vector<BYTE> PortResourceList(std::uint64_t base, DWORD length = 8);

  /// Sets from SetupDiGetClassDevsA not destroyed: leaks, at the end of a test.
  std::size_t OpenSetCount() const { return sets_.size(); }

 private:
  struct Set {
    std::vector<std::size_t> devices;  // indices into devices_
  };
  // The device `data` stands for in `set`, or null with the last error set.
  const Device* Locate(HDEVINFO set, PSP_DEVINFO_DATA data);
  std::size_t AddPort(std::string_view enumerator_id, std::string_view port_name, WORD base, std::string_view service,
                      std::string_view description);

  Core& core_;
  SimRegistry& registry_;
  std::vector<Device> devices_;
  std::map<ULONG_PTR, Set> sets_;
  ULONG_PTR next_set_ = 0x005E0000;
  std::map<std::string, unsigned> instances_;  // next instance number per enumerator id
};

}  // namespace sim

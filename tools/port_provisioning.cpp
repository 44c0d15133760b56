// Parallel ports in a machine's device database, made the way a port driver leaves them: a
// present Ports-class device with the service "Parport", "PortName" in its hardware key and
// the boot resources in its instance key's LogConf. Used by the provisioning tool and by the
// tests that enumerate ports under Wine.
#include "tools/port_provisioning.h"

#include <windows.h>
#include <setupapi.h>

namespace {

const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

/// A resource list with one I/O port range of 8 bytes at `base`, as the firmware reports an
/// ECP-less parallel port.
std::string BootConfig(unsigned base) {
  unsigned char list[40] = {};
  list[0] = 1;   // one full descriptor
  list[4] = 1;   // Isa
  list[12] = 1;  // version 1
  list[14] = 1;  // revision 1
  list[16] = 1;  // one partial descriptor
  list[20] = 1;  // CmResourceTypePort
  list[21] = 1;  // CmResourceShareDeviceExclusive
  list[22] = 0x11;
  list[24] = base & 0xFF;
  list[25] = (base >> 8) & 0xFF;
  list[32] = 8;
  return std::string(reinterpret_cast<char*>(list), sizeof list);
}

}  // namespace

bool ParallelPortExists(const std::string& name) {
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, 0);
  if (set == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) continue;
    char value[128] = "";
    DWORD size = sizeof value - 1;
    found = RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            name == value;
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

bool AddParallelPort(const std::string& name, unsigned base) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kPortsClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  const std::string description = "Printer Port (" + name + ")";
  bool ok = SetupDiCreateDeviceInfoA(set, "PORTS", &kPortsClass, description.c_str(), nullptr, DICD_GENERATE_ID,
                                     &device) &&
            SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
            SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE, reinterpret_cast<const BYTE*>("Parport"),
                                              8) &&
            SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME,
                                              reinterpret_cast<const BYTE*>(description.c_str()),
                                              static_cast<DWORD>(description.size() + 1));
  if (ok) {
    HKEY key = SetupDiCreateDevRegKeyA(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    ok = key != INVALID_HANDLE_VALUE &&
         RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                        static_cast<DWORD>(name.size() + 1)) == ERROR_SUCCESS;
    if (key != INVALID_HANDLE_VALUE) RegCloseKey(key);
  }
  char instance[200] = "";
  if (ok) ok = SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance, nullptr);
  if (ok) {
    const std::string conf = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + instance + "\\LogConf";
    HKEY key = nullptr;
    const std::string boot = BootConfig(base);
    ok = RegCreateKeyExA(HKEY_LOCAL_MACHINE, conf.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
             ERROR_SUCCESS &&
         RegSetValueExA(key, "BootConfig", 0, REG_RESOURCE_LIST, reinterpret_cast<const BYTE*>(boot.data()),
                        static_cast<DWORD>(boot.size())) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}


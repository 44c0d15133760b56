#include "sim/setup_api.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/win32_types.h"
#include "sim/format.h"

namespace sim {

using format::Dec;
using format::Hex;
using format::Ptr;
using format::Str;

namespace {

std::string GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::string GuidArgument(const GUID* guid) { return guid ? GuidText(*guid) : "null"; }

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The instance key's value behind each property that SetupAPI keeps in the registry.
const char* PropertyValueName(DWORD property) {
  switch (property) {
    case SPDRP_DEVICEDESC: return "DeviceDesc";
    case SPDRP_SERVICE: return "Service";
    case SPDRP_FRIENDLYNAME: return "FriendlyName";
    default: return nullptr;
  }
}

void PutLittleEndian(std::vector<BYTE>& bytes, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<BYTE>(value >> (8 * i)));
}

}  // namespace

SimSetupApi::SimSetupApi(Core& core, SimRegistry& registry) : core_(core), registry_(registry) {
  for (const char* name : {"SetupDiGetClassDevsA", "SetupDiDestroyDeviceInfoList", "SetupDiEnumDeviceInfo",
                           "SetupDiGetDeviceRegistryPropertyA", "SetupDiOpenDevRegKey"}) {
    core_.faults.Allow(name);
  }
}

HDEVINFO SimSetupApi::SetupDiGetClassDevsA(const GUID* class_guid, LPCSTR enumerator, HWND parent, DWORD flags) {
  core_.Record("SetupDiGetClassDevsA", {GuidArgument(class_guid), Str(enumerator), format::Handle(parent), Hex(flags)});
  if (core_.Failing("SetupDiGetClassDevsA")) return INVALID_HANDLE_VALUE;
  if (enumerator) throw NotSimulated("SetupDiGetClassDevsA with an enumerator");
  // The present devices of one class is all a program here asks for.
  if (flags != DIGCF_PRESENT) throw NotSimulated("SetupDiGetClassDevsA with flags " + Hex(flags));
  if (!class_guid) return core_.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  Set set;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    const Device& device = devices_[i];
    if (!SameGuid(device.class_guid, *class_guid) || !device.present) continue;
    set.devices.push_back(i);
  }
  const ULONG_PTR value = next_set_;
  next_set_ += 0x10;
  sets_.emplace(value, std::move(set));
  return reinterpret_cast<HDEVINFO>(value);
}

BOOL SimSetupApi::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  core_.Record("SetupDiDestroyDeviceInfoList", {format::Handle(set)});
  if (core_.Failing("SetupDiDestroyDeviceInfoList")) return FALSE;
  if (!sets_.erase(reinterpret_cast<ULONG_PTR>(set))) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}

BOOL SimSetupApi::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
  core_.Record("SetupDiEnumDeviceInfo", {format::Handle(set), Dec(index), Ptr(device)});
  if (core_.Failing("SetupDiEnumDeviceInfo")) return FALSE;
  auto it = sets_.find(reinterpret_cast<ULONG_PTR>(set));
  if (it == sets_.end()) return core_.Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!device) return core_.Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return core_.Fail(ERROR_INVALID_USER_BUFFER, FALSE);
  if (index >= it->second.devices.size()) return core_.Fail(ERROR_NO_MORE_ITEMS, FALSE);
  const std::size_t found = it->second.devices[index];
  device->ClassGuid = devices_[found].class_guid;
  device->DevInst = static_cast<DWORD>(found + 1);
  device->Reserved = found + 1;
  return TRUE;
}

const SimSetupApi::Device* SimSetupApi::Locate(HDEVINFO set, PSP_DEVINFO_DATA data) {
  auto it = sets_.find(reinterpret_cast<ULONG_PTR>(set));
  if (it == sets_.end()) return core_.Fail(ERROR_INVALID_HANDLE, nullptr);
  if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA) || !data->Reserved) {
    return core_.Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  const std::vector<std::size_t>& members = it->second.devices;
  const std::size_t index = data->Reserved - 1;
  if (std::find(members.begin(), members.end(), index) == members.end()) {
    return core_.Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  return &devices_[index];
}

BOOL SimSetupApi::SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                    LPDWORD type, PBYTE buffer, DWORD size, LPDWORD required) {
  core_.Record("SetupDiGetDeviceRegistryPropertyA",
               {format::Handle(set), Ptr(device), Hex(property), Ptr(type), Ptr(buffer), Dec(size), Ptr(required)});
  if (core_.Failing("SetupDiGetDeviceRegistryPropertyA")) return FALSE;
  const Device* found = Locate(set, device);
  if (!found) return FALSE;
  if (size && !buffer) return core_.Fail(ERROR_INVALID_DATA, FALSE);
  const char* value_name = PropertyValueName(property);
  if (!value_name) throw NotSimulated("SetupDiGetDeviceRegistryPropertyA of property " + Hex(property));
  DWORD value_type = 0;
  std::vector<BYTE> bytes;
  if (registry_.Read(HKEY_LOCAL_MACHINE, found->instance_key, value_name, value_type, bytes)) {
    return core_.Fail(ERROR_INVALID_DATA, FALSE);
  }
  const auto value_size = static_cast<DWORD>(bytes.size());
  if (type) *type = value_type;
  if (required) *required = value_size;
  if (!size || size < value_size) return core_.Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  std::memcpy(buffer, bytes.data(), value_size);
  return TRUE;
}

HKEY SimSetupApi::SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile,
                                       DWORD key_type, REGSAM access) {
  core_.Record("SetupDiOpenDevRegKey",
               {format::Handle(set), Ptr(device), Hex(scope), Dec(profile), Hex(key_type), Hex(access)});
  const auto invalid = static_cast<HKEY>(INVALID_HANDLE_VALUE);
  if (core_.Failing("SetupDiOpenDevRegKey")) return invalid;
  const Device* found = Locate(set, device);
  if (!found) return invalid;
  if (scope != DICS_FLAG_GLOBAL || key_type != DIREG_DEV) {
    throw NotSimulated("SetupDiOpenDevRegKey of another than the device's global key");
  }
  HKEY key = nullptr;
  const LONG error = registry_.Open(HKEY_LOCAL_MACHINE, found->hardware_key, key);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_BAD_PATHNAME) return core_.Fail(ERROR_KEY_DOES_NOT_EXIST, invalid);
  if (error) return core_.Fail(static_cast<DWORD>(error), invalid);
  return key;
}

// --- The database ----------------------------------------------------------------------------

std::size_t SimSetupApi::AddDevice(const NewDevice& wanted) {
  if (wanted.instance_key.empty()) throw std::invalid_argument("sim: a device needs an instance key");
  Device device{wanted.class_guid, wanted.instance_key,
                wanted.hardware_key.empty() ? wanted.instance_key + "\\Device Parameters" : wanted.hardware_key,
                wanted.present};
  registry_.CreateKey(HKEY_LOCAL_MACHINE, device.instance_key);
  registry_.SetString(HKEY_LOCAL_MACHINE, device.instance_key, "ClassGUID", GuidText(wanted.class_guid));
  if (wanted.service) registry_.SetString(HKEY_LOCAL_MACHINE, device.instance_key, "Service", *wanted.service);
  if (wanted.description) registry_.SetString(HKEY_LOCAL_MACHINE, device.instance_key, "DeviceDesc", *wanted.description);
  if (wanted.friendly_name) {
    registry_.SetString(HKEY_LOCAL_MACHINE, device.instance_key, "FriendlyName", *wanted.friendly_name);
  }
  registry_.CreateKey(HKEY_LOCAL_MACHINE, device.hardware_key);
  devices_.push_back(std::move(device));
  return devices_.size() - 1;
}

std::size_t SimSetupApi::AddPort(std::string_view enumerator_id, std::string_view port_name, WORD base,
                                 std::string_view service, std::string_view description) {
  const unsigned number = ++instances_[std::string(enumerator_id)];
  NewDevice port;
  port.instance_key = std::string(kEnumKey) + "\\ACPI\\" + std::string(enumerator_id) + "\\" + std::to_string(number);
  port.service = std::string(service);
  port.description = std::string(description);
  port.friendly_name = std::string(description) + " (" + std::string(port_name) + ")";
  const std::size_t index = AddDevice(port);
  const Device& device = devices_[index];
  registry_.SetString(HKEY_LOCAL_MACHINE, device.instance_key, "Class", "Ports");
  registry_.SetString(HKEY_LOCAL_MACHINE, device.instance_key, "Mfg", "(Standard port types)");
  std::string ids = "ACPI\\" + std::string(enumerator_id) + '\0' + "*" + std::string(enumerator_id) + '\0' + '\0';
  registry_.SetValue(HKEY_LOCAL_MACHINE, device.instance_key, "HardwareID", REG_MULTI_SZ,
                     std::vector<BYTE>(ids.begin(), ids.end()));
  registry_.SetString(HKEY_LOCAL_MACHINE, device.hardware_key, "PortName", port_name);
  registry_.SetValue(HKEY_LOCAL_MACHINE, device.instance_key + "\\LogConf", "BootConfig", REG_RESOURCE_LIST,
                     PortResourceList(base));
  return index;
}

std::size_t SimSetupApi::AddParallelPort(std::string_view port_name, WORD base) {
  return AddPort("PNP0401", port_name, base, "Parport", "ECP Printer Port");
}

std::size_t SimSetupApi::AddSerialPort(std::string_view port_name, WORD base) {
  return AddPort("PNP0501", port_name, base, "Serial", "Communications Port");
}

std::vector<BYTE> SimSetupApi::PortResourceList(std::uint64_t base, DWORD length) {
  constexpr int kIsa = 1, kPortType = 1, kShared = 1, kPortIo16BitDecode = 0x11;
  std::vector<BYTE> bytes;
  PutLittleEndian(bytes, 1, 4);  // full descriptors
  PutLittleEndian(bytes, kIsa, 4);
  PutLittleEndian(bytes, 0, 4);  // bus number
  PutLittleEndian(bytes, 1, 2);  // version
  PutLittleEndian(bytes, 1, 2);  // revision
  PutLittleEndian(bytes, 1, 4);  // partial descriptors
  PutLittleEndian(bytes, kPortType, 1);
  PutLittleEndian(bytes, kShared, 1);
  PutLittleEndian(bytes, kPortIo16BitDecode, 2);
  PutLittleEndian(bytes, base, 8);
  PutLittleEndian(bytes, length, 4);
  return bytes;
}

}  // namespace sim

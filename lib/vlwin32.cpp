#include "lib/vlwin32.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "framework/resources.h"
#include "framework/startup_stamps.h"
#include "platform/nt_names.h"
#include "platform/system_library.h"
#include "platform/unique_handle.h"

bool SaveResourceToFile(const std::string& resource_name, const std::string& file_name,
                        LPSECURITY_ATTRIBUTES security) {
  const std::span<const uint8_t> image = fw::ReadProgramResource(resource_name.c_str()).bytes;
  if (image.data() == nullptr) return false;
  platform::UniqueFile file(
      win::CreateFileA(file_name.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok = win::WriteFile(file.get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr);
  if (written == image.size()) return true;
  // Half a driver image must never be there for a later start to load.
  const DWORD error = ok ? ERROR_HANDLE_DISK_FULL : win::GetLastError();
  file.reset();
  win::DeleteFileA(file_name.c_str());
  win::SetLastError(error);
  return false;
}

platform::UniqueFile OpenPinnedImage(const std::string& resource_name, const std::string& file_name) {
  std::span<const uint8_t> image;
  if (!resource_name.empty()) {
    image = fw::ReadProgramResource(resource_name.c_str()).bytes;
    if (image.data() == nullptr) return {};
  }
  platform::UniqueFile file(
      win::CreateFileA(file_name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file || resource_name.empty()) return file;
  DWORD size_high = 0;
  if (win::GetFileSize(file.get(), &size_high) == image.size() && size_high == 0) {
    std::vector<uint8_t> bytes(image.size());
    DWORD read = 0;
    if (!win::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return {};
    if (read == image.size() && std::memcmp(bytes.data(), image.data(), image.size()) == 0) return file;
  }
  win::SetLastError(ERROR_INVALID_DATA);
  return {};
}

DWORD Win32Platform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return win::GetVersionExA(&info) ? info.dwPlatformId : VER_PLATFORM_WIN32_NT;
}

std::optional<std::string> WineVersion() {
  using GetVersionProc = const char* (*)();
  const HMODULE ntdll = win::GetModuleHandleA("ntdll.dll");
  const FARPROC entry = ntdll ? win::GetProcAddress(ntdll, "wine_get_version") : nullptr;
  if (!entry) return {};
  const char* version = reinterpret_cast<GetVersionProc>(reinterpret_cast<void (*)()>(entry))();
  return std::string(version ? version : "");
}

platform::UniqueRegistryKey OpenRegistryKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (win::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  return platform::UniqueRegistryKey(key);
}

std::optional<std::vector<uint8_t>> QueryRegistryValue(HKEY key, const char* name, DWORD size) {
  std::vector<uint8_t> data(size, 0);
  DWORD returned = size;
  if (win::RegQueryValueExA(key, name, nullptr, nullptr, data.data(), &returned) != ERROR_SUCCESS) return {};
  data.resize(std::min<DWORD>(returned, size));
  return data;
}

std::vector<SpoolerPort> SpoolerPorts() {
  DWORD needed = 0, count = 0;
  if (win::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count) || win::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return {};
  std::vector<uint8_t> buffer(needed);
  if (!win::EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &count)) return {};
  // Never more entries than the buffer holds, and never a text that is not inside it with its
  // terminating zero, whatever the spooler says.
  const auto* begin = reinterpret_cast<const char*>(buffer.data());
  const auto* end = begin + buffer.size();
  count = std::min<DWORD>(count, static_cast<DWORD>(buffer.size() / sizeof(PORT_INFO_2A)));
  // An entry's texts lie past the entry itself.
  auto text = [&](const char* at, const char* strings) -> std::optional<std::string> {
    if (!at || std::less<const char*>()(at, strings) || !std::less<const char*>()(at, end)) return {};
    const char* stop = std::find(at, end, '\0');
    if (stop == end) return {};
    return std::string(at, stop);
  };
  std::vector<SpoolerPort> ports;
  for (DWORD i = 0; i < count; ++i) {
    PORT_INFO_2A entry;
    std::memcpy(&entry, buffer.data() + i * sizeof entry, sizeof entry);
    const char* strings = begin + (i + 1) * sizeof entry;
    const std::optional<std::string> name = text(entry.pPortName, strings);
    if (!name) continue;
    ports.push_back({*name, text(entry.pDescription, strings).value_or("")});
  }
  return ports;
}

std::string SystemErrorText(DWORD error) {
  char buffer[256];
  const DWORD length = win::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                           0, buffer, sizeof buffer - 1, nullptr);
  std::string text(buffer, length < sizeof buffer ? length : 0);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) < 33 || text.back() == '.')) text.pop_back();
  return text;
}

// --- Device setup ----------------------------------------------------------------------------

bool SetupApi::Load() {
  if (module_) return true;
  module_ = platform::LoadSystemLibrary("SetupAPI.dll");
  if (!module_) return false;
  auto resolve = [this](auto& entry, const char* name) {
    entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
        reinterpret_cast<void*>(win::GetProcAddress(module_.get(), name)));
    return entry != nullptr;
  };
  if (resolve(get_class_devs_, "SetupDiGetClassDevsA") &&
      resolve(destroy_device_info_list_, "SetupDiDestroyDeviceInfoList") &&
      resolve(enum_device_info_, "SetupDiEnumDeviceInfo") &&
      resolve(get_device_registry_property_, "SetupDiGetDeviceRegistryPropertyA") &&
      resolve(open_dev_reg_key_, "SetupDiOpenDevRegKey")) {
    PINSCOPE_STAMP_STARTUP(kSetupLoaded);
    return true;
  }
  module_.reset();
  return false;
}

SetupApi::DeviceList SetupApi::GetClassDevices(const GUID& class_guid) {
  if (!Load()) return DeviceList(nullptr, ListDestroyer{nullptr});
  const HDEVINFO set = get_class_devs_(&class_guid, nullptr, nullptr, DIGCF_PRESENT);
  // The failure value is INVALID_HANDLE_VALUE, which is nothing to destroy.
  return DeviceList(set == INVALID_HANDLE_VALUE ? nullptr : set, ListDestroyer{destroy_device_info_list_});
}

std::string SetupApi::Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  BYTE buffer[256] = {};
  DWORD required = sizeof buffer;
  if (!get_device_registry_property_(set, &device, property, nullptr, buffer, sizeof buffer, &required)) return {};
  // The text ends at the size the call reports or at its terminating zero, whichever is first,
  // and never past the buffer.
  const auto* text = reinterpret_cast<const char*>(buffer);
  const size_t limit = std::min<size_t>(required, sizeof buffer);
  return std::string(text, std::find(text, text + limit, '\0'));
}

bool SetupApi::GetDeviceInfo(HDEVINFO set, int index, DeviceInfo& info) {
  if (!Load()) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  if (!enum_device_info_(set, static_cast<DWORD>(index), &device)) return false;
  info.service = Property(set, device, SPDRP_SERVICE);
  info.description = Property(set, device, SPDRP_DEVICEDESC);
  info.friendly_name = Property(set, device, SPDRP_FRIENDLYNAME);
  const HKEY key = open_dev_reg_key_(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
  // The failure value is INVALID_HANDLE_VALUE, which is nothing to close.
  const platform::UniqueRegistryKey owned_key(key == INVALID_HANDLE_VALUE ? nullptr : key);
  HKEY root = nullptr;  // asked for so that the path comes relative to its hive; every device key is HKLM's
  info.key_path = GetKeyPath(key, &root);
  return true;
}

// --- Registry key paths ----------------------------------------------------------------------

namespace {

using ZwQueryKeyProc = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

/// True when `path` continues at `at` with `prefix`, in any letter case: registry names
/// are not case-sensitive, and Wine spells the hive "\REGISTRY\Machine\".
bool HasPrefixAt(std::string_view path, size_t at, std::string_view prefix) {
  if (path.size() < at + prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(path[at + i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

std::string KernelName(HKEY key, ZwQueryKeyProc query) {
  ULONG needed = 0;
  query(key, nt::kKeyNameInformation, nullptr, 0, &needed);
  // A kernel name is a counted string of at most 65535 bytes after its 4-byte length; a
  // larger claim is no name at all, and not worth gigabytes of memory.
  constexpr ULONG kLongestKeyNameInformation = 4 + 0xFFFF;
  if (needed > kLongestKeyNameInformation) return {};
  // Two spare zero bytes end the name, which the system does not end.
  std::vector<uint8_t> buffer(static_cast<size_t>(needed) + 2, 0);
  ULONG length = 0;
  if (query(key, nt::kKeyNameInformation, buffer.data(), needed, &length) < 0 || buffer.size() < 4) return {};
  uint32_t name_bytes = 0;
  std::memcpy(&name_bytes, buffer.data(), sizeof name_bytes);
  // Whatever the length field claims, the name ends within what was allocated.
  const size_t chars = std::min<size_t>(name_bytes, buffer.size() - 4) / 2;
  std::vector<wchar_t> name(chars);
  for (size_t i = 0; i < chars; ++i) {
    uint16_t unit;
    std::memcpy(&unit, buffer.data() + 4 + 2 * i, sizeof unit);
    name[i] = static_cast<wchar_t>(unit);
  }
  const auto end = std::find(name.begin(), name.end(), L'\0');
  const int count = static_cast<int>(end - name.begin());
  if (count == 0) return {};
  const int size = win::WideCharToMultiByte(CP_ACP, 0, name.data(), count, nullptr, 0, nullptr, nullptr);
  std::string path(static_cast<size_t>(std::max(size, 0)), '\0');
  win::WideCharToMultiByte(CP_ACP, 0, name.data(), count, path.data(), size, nullptr, nullptr);
  return path;
}

}  // namespace

std::string GetKeyPath(HKEY key, HKEY* root) {
  if (key == INVALID_HANDLE_VALUE) return {};
  const platform::UniqueModule ntdll(win::LoadLibraryA("ntdll.dll"));
  if (!ntdll) return {};
  std::string path;
  if (auto query = reinterpret_cast<ZwQueryKeyProc>(reinterpret_cast<void*>(win::GetProcAddress(ntdll.get(), "ZwQueryKey")))) {
    path = KernelName(key, query);
    if (root) {
      constexpr std::string_view kMachine = "\\MACHINE\\", kUser = "\\USER\\";
      // The kernel's names start "\REGISTRY", nine characters, then the hive.
      if (HasPrefixAt(path, 9, kMachine)) {
        *root = HKEY_LOCAL_MACHINE;
        path.erase(0, 9 + kMachine.size());
      } else if (HasPrefixAt(path, 9, kUser)) {
        *root = HKEY_CURRENT_USER;
        path.erase(0, 9 + kUser.size());
        // What follows the user's SID.
        if (const size_t slash = path.find('\\'); slash != std::string::npos) path.erase(0, slash + 1);
      } else {
        *root = nullptr;
      }
    }
  }
  return path;
}

// --- Paths ------------------------------------------------------------------------------------

std::string DriverImageFile(std::string_view path, std::string_view windows_directory) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
  if (HasPrefixAt(path, 0, "\\??\\")) return std::string(path.substr(4));
  constexpr std::string_view kSystemRoot = "\\SystemRoot";  // the backslash after it stays
  if (HasPrefixAt(path, 0, "\\SystemRoot\\")) {
    return std::string(windows_directory) + std::string(path.substr(kSystemRoot.size()));
  }
  const bool drive = path.size() >= 2 && path[1] == ':';
  if (drive || path.starts_with('\\')) return std::string(path);
  return std::string(windows_directory) + "\\" + std::string(path);
}

bool SamePath(std::string_view a, std::string_view b) { return a.size() == b.size() && HasPrefixAt(a, 0, b); }

std::string ExtractParentPath(std::string_view path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

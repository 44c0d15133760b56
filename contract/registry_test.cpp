// The registry as the port enumeration reads it, ntdll's ZwQueryKey reached through
// LoadLibraryA and GetProcAddress, and SetupAPI's device database of parallel ports.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "contract/pc_under_test.h"
#include "platform/nt_names.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using platform::UniqueModule;
using platform::UniqueRegistryKey;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

template <class Pc>
class Registry : public OnPc<Pc> {
 protected:
  UniqueRegistryKey Open(const std::string& path) {
    HKEY key = nullptr;
    const LONG status = win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
    return UniqueRegistryKey(status == ERROR_SUCCESS ? key : nullptr);
  }
  /// The kernel's name of an open key, as ntdll's ZwQueryKey gives KeyNameInformation.
  std::string KernelName(HKEY key) {
    using ZwQueryKey = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    const UniqueModule ntdll(win::LoadLibraryA("ntdll.dll"));
    if (!ntdll) return "no ntdll";
    const auto query =
        reinterpret_cast<ZwQueryKey>(reinterpret_cast<void*>(win::GetProcAddress(ntdll.get(), "ZwQueryKey")));
    if (!query) return "no ZwQueryKey";
    ULONG needed = 0;
    const LONG sizing = query(key, nt::kKeyNameInformation, nullptr, 0, &needed);
    EXPECT_EQ(sizing, nt::kStatusBufferTooSmall);
    std::vector<BYTE> buffer(needed, 0xCC);
    ULONG length = 0;
    if (query(key, nt::kKeyNameInformation, buffer.data(), needed, &length) != 0) return "ZwQueryKey failed";
    EXPECT_EQ(length, needed);
    ULONG name_bytes = 0;
    std::memcpy(&name_bytes, buffer.data(), sizeof name_bytes);
    EXPECT_EQ(name_bytes + 4, needed) << "the name has no terminator";
    std::string name;
    for (ULONG i = 0; i + 1 < name_bytes && 4 + i + 1 < buffer.size(); i += 2) name += static_cast<char>(buffer[4 + i]);
    return name;
  }
};
TYPED_TEST_SUITE(Registry, PcsUnderTest, PcName);

TYPED_TEST(Registry, ValuesReadAsStoredAndTooSmallABufferTellsTheSizeItNeeds) {
  const std::string key = this->pc.NewKey();
  this->pc.SetValue(key, "PortName", REG_SZ, std::string_view("LPT7", 5));
  this->pc.SetValue(key, "Unended", REG_SZ, "LPT8");
  this->pc.SetValue(key, "BootConfig", REG_RESOURCE_LIST, std::string(40, '\x11'));
  UniqueRegistryKey opened = this->Open(key);
  ASSERT_TRUE(opened);

  BYTE data[128];
  DWORD size = sizeof data, type = 0;
  ASSERT_EQ(win::RegQueryValueExA(opened.get(), "PortName", nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), std::string("LPT7", 5));
  size = sizeof data;
  ASSERT_EQ(win::RegQueryValueExA(opened.get(), "BootConfig", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 40u);

  // A string stored without its terminator: the product reads only up to the size returned.
  std::memset(data, 'x', sizeof data);
  size = sizeof data;
  ASSERT_EQ(win::RegQueryValueExA(opened.get(), "Unended", nullptr, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_GE(size, 4u);
  EXPECT_LE(size, 5u) << "at most the terminator the call may add";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4), "LPT8");

  size = 10;
  EXPECT_EQ(win::RegQueryValueExA(opened.get(), "BootConfig", nullptr, nullptr, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 40u);
  size = 0xdeadbeef;
  EXPECT_EQ(win::RegQueryValueExA(opened.get(), "Missing", nullptr, nullptr, data, &size), ERROR_FILE_NOT_FOUND);
}

TYPED_TEST(Registry, MissingKeysAreNotFoundAndLeaveNoKey) {
  const std::string key = this->pc.NewKey();
  HKEY opened = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xdeadbeef));
  EXPECT_EQ(win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (key + "\\Missing\\LogConf").c_str(), 0, KEY_QUERY_VALUE, &opened),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(opened, nullptr) << "the result is cleared";
}

TYPED_TEST(Registry, TheKernelNamesAKeyBelowTheMachineHive) {
  const std::string key = this->pc.NewKey();
  UniqueRegistryKey opened = this->Open(key);
  ASSERT_TRUE(opened);
  // Windows spells the hive "\REGISTRY\MACHINE", Wine "\REGISTRY\Machine"; names keep their
  // case, and registry names ignore it.
  EXPECT_EQ(Upper(this->KernelName(opened.get())), Upper("\\REGISTRY\\MACHINE\\" + key));
}

const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, LPCSTR, HWND, DWORD);
using DestroyDeviceInfoList = BOOL(WINAPI*)(HDEVINFO);
using EnumDeviceInfo = BOOL(WINAPI*)(HDEVINFO, DWORD, SP_DEVINFO_DATA*);
using GetDeviceRegistryProperty = BOOL(WINAPI*)(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD, DWORD*);
using OpenDevRegKey = HKEY(WINAPI*)(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD, DWORD, REGSAM);

template <class Entry>
Entry Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(win::GetProcAddress(module, name)));
}

// What the port enumeration finds for each parallel port: service "Parport", "PortName" in the
// hardware key, and the boot resources in LogConf beside it, whose first port is the base.
TYPED_TEST(Registry, TheDeviceDatabaseListsParallelPortsWithNameAndBase) {
  this->pc.ProvisionParallelPort("LPT1", 0x378);
  this->pc.ProvisionParallelPort("LPT2", 0x278);
  const UniqueModule setupapi(win::LoadLibraryA("SetupAPI.dll"));
  ASSERT_TRUE(setupapi) << win::GetLastError();
  const auto get_class_devs = Resolve<GetClassDevs>(setupapi.get(), "SetupDiGetClassDevsA");
  const auto destroy = Resolve<DestroyDeviceInfoList>(setupapi.get(), "SetupDiDestroyDeviceInfoList");
  const auto enum_device = Resolve<EnumDeviceInfo>(setupapi.get(), "SetupDiEnumDeviceInfo");
  const auto property = Resolve<GetDeviceRegistryProperty>(setupapi.get(), "SetupDiGetDeviceRegistryPropertyA");
  const auto open_key = Resolve<OpenDevRegKey>(setupapi.get(), "SetupDiOpenDevRegKey");
  ASSERT_TRUE(get_class_devs && destroy && enum_device && property && open_key);

  const HDEVINFO set = get_class_devs(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  ASSERT_NE(set, INVALID_HANDLE_VALUE) << win::GetLastError();
  std::vector<std::pair<std::string, unsigned>> ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  DWORD index = 0;
  for (; enum_device(set, index, &device); ++index) {
    BYTE service[256] = {};
    DWORD required = 0;
    if (!property(set, &device, SPDRP_SERVICE, nullptr, service, sizeof service, &required)) continue;
    if (std::string(reinterpret_cast<char*>(service)) != "Parport") continue;
    EXPECT_FALSE(property(set, &device, SPDRP_SERVICE, nullptr, service, 2, &required));
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(required, 8u) << "\"Parport\" and its terminator";

    const HKEY hardware = open_key(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    ASSERT_NE(hardware, INVALID_HANDLE_VALUE) << win::GetLastError();
    const UniqueRegistryKey owned(hardware);
    char name[128] = {};
    DWORD size = sizeof name - 1;
    ASSERT_EQ(win::RegQueryValueExA(hardware, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
              ERROR_SUCCESS);
    const std::string path = this->KernelName(hardware);
    const std::string machine = "\\REGISTRY\\MACHINE\\";
    ASSERT_EQ(Upper(path.substr(0, machine.size())), machine) << path;
    const std::string instance = path.substr(machine.size(), path.rfind('\\') - machine.size());
    EXPECT_EQ(Upper(instance).rfind("SYSTEM\\CURRENTCONTROLSET\\ENUM\\", 0), 0u) << path;
    UniqueRegistryKey conf = this->Open(instance + "\\LogConf");
    BYTE boot[2048] = {};
    DWORD boot_size = sizeof boot;
    ASSERT_TRUE(conf);
    ASSERT_EQ(win::RegQueryValueExA(conf.get(), "BootConfig", nullptr, nullptr, boot, &boot_size), ERROR_SUCCESS);
    ASSERT_GT(boot_size, 25u);
    ports.emplace_back(name, boot[24] | (boot[25] << 8));
  }
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_MORE_ITEMS}) << "after " << index << " devices";
  EXPECT_TRUE(destroy(set));
  EXPECT_NE(std::find(ports.begin(), ports.end(), std::pair<std::string, unsigned>{"LPT1", 0x378}), ports.end());
  EXPECT_NE(std::find(ports.begin(), ports.end(), std::pair<std::string, unsigned>{"LPT2", 0x278}), ports.end());
}

}  // namespace
}  // namespace contract

// The device database through SetupAPI's entry points.
#include "sim/setup_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"

namespace sim {
namespace {

constexpr GUID kMouseClass{0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const HKEY kInvalidKey = static_cast<HKEY>(INVALID_HANDLE_VALUE);

class SetupApiTest : public ::testing::Test {
 protected:
  SetupApiTest() {
    setup.AddParallelPort("LPT1", 0x378);
    setup.AddSerialPort("COM1", 0x3F8);
    SimSetupApi::NewDevice mouse;
    mouse.class_guid = kMouseClass;
    mouse.instance_key = std::string(SimSetupApi::kEnumKey) + "\\ACPI\\PNP0F13\\1";
    setup.AddDevice(mouse);
    setup.SetPresent(setup.AddParallelPort("LPT3", 0x3BC), false);
    setup.AddParallelPort("LPT2", 0x278);
    set = setup.SetupDiGetClassDevsA(&kPortsClassGuid, nullptr, nullptr, DIGCF_PRESENT);
  }

  SP_DEVINFO_DATA Device(DWORD index, HDEVINFO in = nullptr) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    EXPECT_TRUE(setup.SetupDiEnumDeviceInfo(in ? in : set, index, &device)) << "index " << index;
    return device;
  }

  std::string Property(SP_DEVINFO_DATA& device, DWORD property, HDEVINFO in = nullptr) {
    char text[256] = {};
    EXPECT_TRUE(setup.SetupDiGetDeviceRegistryPropertyA(in ? in : set, &device, property, nullptr,
                                                        reinterpret_cast<BYTE*>(text), sizeof text, nullptr))
        << "property " << property << ": " << win::GetLastError();
    return text;
  }

  InstalledPc pc;
  SimSetupApi& setup = pc.setup_api;
  HDEVINFO set = nullptr;
};

TEST_F(SetupApiTest, ListsTheClassesPresentDevicesInOrder) {
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  for (DWORD index = 0; index < 3; ++index) {
    SP_DEVINFO_DATA device = Device(index);
    EXPECT_EQ(std::memcmp(&device.ClassGuid, &kPortsClassGuid, sizeof(GUID)), 0) << "index " << index;
    names.push_back(Property(device, SPDRP_FRIENDLYNAME));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"ECP Printer Port (LPT1)", "Communications Port (COM1)",
                                             "ECP Printer Port (LPT2)"}));

  SP_DEVINFO_DATA past{};
  past.cbSize = sizeof past;
  past.DevInst = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(setup.SetupDiEnumDeviceInfo(set, 3, &past));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NO_MORE_ITEMS});
  EXPECT_EQ(past.DevInst, 0xdeadbeefu);
  past.cbSize += 4;
  EXPECT_FALSE(setup.SetupDiEnumDeviceInfo(set, 0, &past));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_USER_BUFFER});

  HDEVINFO all = setup.SetupDiGetClassDevsA(&kPortsClassGuid, nullptr, nullptr, DIGCF_PRESENT);
  EXPECT_EQ(setup.OpenSetCount(), 2u);
  EXPECT_TRUE(setup.SetupDiDestroyDeviceInfoList(all));
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(setup.SetupDiDestroyDeviceInfoList(all));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_EQ(setup.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(SetupApiTest, PropertiesFollowTheBufferRules) {
  SP_DEVINFO_DATA device = Device(0);
  EXPECT_EQ(Property(device, SPDRP_SERVICE), "Parport");
  EXPECT_EQ(Property(device, SPDRP_DEVICEDESC), "ECP Printer Port");

  const std::string name = "ECP Printer Port (LPT1)";
  const auto fits = static_cast<DWORD>(name.size() + 1);
  DWORD required = 0xdeadbeef, type = 0xdeadbeef;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(setup.SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &type, nullptr, 0, &required));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(required, fits) << "the terminator counts";
  EXPECT_EQ(type, DWORD{REG_SZ});

  std::vector<BYTE> buffer(fits + 1, 0xcc);
  EXPECT_FALSE(
      setup.SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr, buffer.data(), fits - 1, &required));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(buffer[0], 0xcc) << "too small a buffer is not written";
  EXPECT_TRUE(
      setup.SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr, buffer.data(), fits, &required));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), name);
  EXPECT_EQ(buffer[fits], 0xcc);

  // A device without a friendly name has no such property at all.
  pc.registry.RemoveValue(HKEY_LOCAL_MACHINE, setup.Devices()[0].instance_key, "FriendlyName");
  required = 0xdeadbeef;
  EXPECT_FALSE(
      setup.SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr, buffer.data(), fits, &required));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_DATA});
  EXPECT_EQ(required, 0xdeadbeefu);

  SP_DEVINFO_DATA forged = device;
  forged.Reserved = 0;
  EXPECT_FALSE(setup.SetupDiGetDeviceRegistryPropertyA(set, &forged, SPDRP_SERVICE, nullptr, buffer.data(), fits, nullptr));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << "device data that no enumeration filled in";
}

TEST_F(SetupApiTest, DeviceKeysAreTheHardwareKeysBelowTheInstance) {
  SP_DEVINFO_DATA device = Device(0);
  HKEY key = setup.SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
  ASSERT_NE(key, kInvalidKey);
  EXPECT_EQ(pc.registry.KernelName(key),
            "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0401\\1\\Device Parameters");
  char name[8] = {};
  DWORD size = sizeof name;
  EXPECT_EQ(win::RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
            LONG{ERROR_SUCCESS});
  EXPECT_STREQ(name, "LPT1");
  EXPECT_EQ(pc.registry.OpenKeyCount(), 1u) << "the caller owns the key";
  win::RegCloseKey(key);

  // The resources the port booted with: one I/O range, its start at bytes 24 and 25.
  const auto boot = pc.registry.Value(HKEY_LOCAL_MACHINE, setup.Devices()[0].instance_key + "\\LogConf", "BootConfig");
  ASSERT_TRUE(boot && boot->size() == 36u);
  EXPECT_EQ((*boot)[24] | (*boot)[25] << 8, 0x378);

  pc.registry.Deny(HKEY_LOCAL_MACHINE, setup.Devices()[0].hardware_key);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(setup.SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE), kInvalidKey);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  SP_DEVINFO_DATA serial = Device(1);
  pc.registry.RemoveKey(HKEY_LOCAL_MACHINE, setup.Devices()[1].hardware_key);
  EXPECT_EQ(setup.SetupDiOpenDevRegKey(set, &serial, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE), kInvalidKey);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_KEY_DOES_NOT_EXIST});
  EXPECT_EQ(pc.registry.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace sim

// Modules loaded by name, and the entry points they hand out.
#include "sim/modules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/nt_names.h"
#include "sim/pc.h"

namespace sim {
namespace {

using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, LPCSTR, HWND, DWORD);
using EnumDeviceInfo = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
using OpenDevRegKey = HKEY(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);
using QueryKey = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(win::GetProcAddress(module, name)));
}

class ModulesTest : public ::testing::Test {
 protected:
  InstalledPc pc;
  SimModules& modules = pc.modules;
};

TEST_F(ModulesTest, LoadsByNameAndCountsReferences) {
  HMODULE setupapi = win::LoadLibraryA("SetupAPI.dll");
  ASSERT_NE(setupapi, nullptr);
  EXPECT_EQ(win::LoadLibraryA("setupapi"), setupapi);
  EXPECT_EQ(win::LoadLibraryA("C:\\WINDOWS\\system32\\SETUPAPI.DLL"), setupapi);
  EXPECT_EQ(win::GetModuleHandleA("setupapi.dll"), setupapi) << "the process sees what was loaded";
  EXPECT_EQ(modules.References("SetupAPI.dll"), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(win::FreeLibrary(setupapi)) << "free " << i;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::FreeLibrary(setupapi)) << "freed once too often";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});

  // ntdll is in every process from its start: loading it counts, freeing it never unloads it.
  HMODULE ntdll = win::LoadLibraryA("ntdll.dll");
  EXPECT_EQ(ntdll, win::GetModuleHandleA("NTDLL"));
  EXPECT_EQ(modules.References("ntdll.dll"), 1);
  EXPECT_TRUE(win::FreeLibrary(ntdll));
  EXPECT_TRUE(win::FreeLibrary(ntdll));
  EXPECT_NE(win::GetProcAddress(ntdll, "ZwQueryKey"), nullptr);
  EXPECT_EQ(modules.References("ntdll.dll"), 0);

  EXPECT_EQ(win::LoadLibraryA("nothere.dll"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
  pc.core.faults.Fail("LoadLibraryA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(win::LoadLibraryA("ntdll.dll"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
}

TEST_F(ModulesTest, EntryPointsRunThePcsPiecesAndJournalAsTheirOwn) {
  pc.setup_api.AddParallelPort("LPT1", 0x378);
  HMODULE setupapi = win::LoadLibraryA("SetupAPI.dll");
  HMODULE ntdll = win::LoadLibraryA("ntdll.dll");
  auto get_class_devs = Resolve<GetClassDevs>(setupapi, "SetupDiGetClassDevsA");
  auto enum_device_info = Resolve<EnumDeviceInfo>(setupapi, "SetupDiEnumDeviceInfo");
  auto open_dev_reg_key = Resolve<OpenDevRegKey>(setupapi, "SetupDiOpenDevRegKey");
  auto query = Resolve<QueryKey>(ntdll, "ZwQueryKey");
  ASSERT_TRUE(get_class_devs && enum_device_info && open_dev_reg_key && query);

  pc.core.journal.Clear();
  HDEVINFO set = get_class_devs(&kPortsClassGuid, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(enum_device_info(set, 0, &device));
  HKEY key = open_dev_reg_key(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
  ULONG needed = 0;
  EXPECT_EQ(query(key, nt::kKeyNameInformation, nullptr, 0, &needed), nt::kStatusBufferTooSmall);
  EXPECT_EQ(needed, 4 + 2 * pc.registry.KernelName(key).size());

  EXPECT_EQ(pc.core.journal.Lines().front(),
            "SetupDiGetClassDevsA({4D36E978-E325-11CE-BFC1-08002BE10318}, null, null, 2)");
  EXPECT_EQ(pc.core.journal.Count("ZwQueryKey"), 1u);
  EXPECT_EQ(pc.core.journal.Count("RegOpenKeyExA"), 0u) << "SetupAPI's own registry work is not the program's";
  win::RegCloseKey(key);
  pc.setup_api.SetupDiDestroyDeviceInfoList(set);

  // Code left running in a module after its last FreeLibrary crashes.
  win::FreeLibrary(setupapi);
  EXPECT_THROW(get_class_devs(&kPortsClassGuid, nullptr, nullptr, DIGCF_PRESENT), AccessViolation);
  win::FreeLibrary(ntdll);
}

TEST_F(ModulesTest, MissingModulesAndEntriesFailAsOnAnOlderSystem) {
  modules.RemoveEntry("SetupAPI.dll", "SetupDiOpenDevRegKey");
  HMODULE setupapi = win::LoadLibraryA("SetupAPI.dll");
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::GetProcAddress(setupapi, "SetupDiOpenDevRegKey"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::GetProcAddress(setupapi, "setupdigetclassdevsa"), nullptr) << "export names have case";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
  EXPECT_THROW(win::GetProcAddress(setupapi, "SetupDiGetClassDevsW"), NotSimulated);
  win::FreeLibrary(setupapi);

  modules.Remove("setupapi");
  EXPECT_EQ(win::LoadLibraryA("SetupAPI.dll"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

// The program's own image and the system DLLs, by name and by handle.
class ModuleNamesTest : public ::testing::Test {
 protected:
  InstalledPc pc;
};

TEST_F(ModuleNamesTest, ModulesAreFoundByFileName) {
  EXPECT_EQ(win::GetModuleHandleA(nullptr), SimModules::ExeModule());
  HMODULE kernel32 = win::GetModuleHandleA("kernel32.dll");
  EXPECT_NE(kernel32, nullptr);
  EXPECT_EQ(win::GetModuleHandleA("C:\\WINDOWS\\system32\\KERNEL32"), kernel32);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::GetModuleHandleA("pinbridge32.dll"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

TEST_F(ModuleNamesTest, ModuleFileNamesAreTruncatedButTerminatedInASmallBuffer) {
  const std::string exe = "C:\\Program Files\\Pinscope\\Pinscope.exe";
  char buffer[MAX_PATH];
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::GetModuleFileNameA(nullptr, buffer, sizeof buffer), exe.size());
  EXPECT_EQ(buffer, exe);
  EXPECT_EQ(win::GetLastError(), 0xdeadbeefu);
  EXPECT_EQ(win::GetModuleFileNameA(SimModules::ExeModule(), buffer, sizeof buffer), exe.size());

  for (const DWORD size : {static_cast<DWORD>(exe.size()), DWORD{4}}) {
    std::memset(buffer, 'x', sizeof buffer);
    win::SetLastError(0xdeadbeef);
    EXPECT_EQ(win::GetModuleFileNameA(nullptr, buffer, size), size);
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER}) << size;
    EXPECT_EQ(buffer, exe.substr(0, size - 1)) << "what fits, terminated";
  }

  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1234), buffer, sizeof buffer), 0u);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

}  // namespace
}  // namespace sim

// Registry keys and values through the advapi32 seam, and key names through ntdll's ZwQueryKey.
#include "sim/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/nt_names.h"
#include "sim/pc.h"

namespace sim {
namespace {

using ZwQueryKeyProc = LONG(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

constexpr const char* kParameters = "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0401\\1\\Device Parameters";
const HKEY kSentinelKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xdeadbeef));
const HKEY kNoKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() {
    registry.SetString(HKEY_LOCAL_MACHINE, kParameters, "PortName", "LPT1");
    HMODULE ntdll = win::LoadLibraryA("ntdll.dll");
    query = reinterpret_cast<ZwQueryKeyProc>(reinterpret_cast<void (*)()>(win::GetProcAddress(ntdll, "ZwQueryKey")));
    win::FreeLibrary(ntdll);
  }

  HKEY Open(HKEY root, const char* path) {
    HKEY key = kSentinelKey;
    EXPECT_EQ(win::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key), LONG{ERROR_SUCCESS}) << path;
    return key;
  }

  LONG Query(HKEY key, const char* name, BYTE* data, DWORD& size) {
    return win::RegQueryValueExA(key, name, nullptr, nullptr, data, &size);
  }

  // The key's name as the library asks for it: its size first, then the name.
  std::string KeyName(HKEY key) {
    ULONG needed = 0;
    EXPECT_EQ(query(key, nt::kKeyNameInformation, nullptr, 0, &needed), nt::kStatusBufferTooSmall);
    std::vector<BYTE> buffer(needed);
    ULONG length = 0xdeadbeef;
    EXPECT_EQ(query(key, nt::kKeyNameInformation, buffer.data(), needed, &length), nt::kStatusSuccess);
    EXPECT_EQ(length, needed);
    ULONG name_bytes = 0;
    std::memcpy(&name_bytes, buffer.data(), sizeof name_bytes);
    std::string name;
    for (ULONG i = 0; i < name_bytes / 2; ++i) name += static_cast<char>(buffer[4 + 2 * i]);
    return name;
  }

  InstalledPc pc;
  SimRegistry& registry = pc.registry;
  ZwQueryKeyProc query = nullptr;
};

TEST_F(RegistryTest, OpensPathsInAnyCaseUnderTheNamesTheyWereMadeWith) {
  win::SetLastError(0xdeadbeef);
  HKEY key = Open(HKEY_LOCAL_MACHINE, "system\\CURRENTCONTROLSET\\enum\\acpi\\pnp0401\\1\\device parameters");
  EXPECT_EQ(registry.KernelName(key), std::string("\\REGISTRY\\MACHINE\\") + kParameters);
  EXPECT_EQ(win::GetLastError(), 0xdeadbeefu) << "registry calls answer through their result only";

  // Relative to an open key; runs of backslashes and a trailing one part names as one.
  HKEY instance = Open(Open(HKEY_LOCAL_MACHINE, "SYSTEM"), "CurrentControlSet\\\\Enum\\ACPI\\PNP0401\\1\\");
  EXPECT_EQ(registry.KernelName(instance), "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0401\\1");
  // No sub-key, or an empty one, opens the same key again under a handle of its own.
  HKEY again = Open(instance, nullptr);
  EXPECT_NE(again, instance);
  EXPECT_EQ(registry.KernelName(again), registry.KernelName(instance));
  EXPECT_EQ(registry.KernelName(Open(HKEY_LOCAL_MACHINE, "")), "\\REGISTRY\\MACHINE");

  registry.Deny(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum");
  struct Case {
    HKEY root;
    const char* path;
    LONG error;
  } const cases[] = {{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501", ERROR_FILE_NOT_FOUND},
                     {HKEY_LOCAL_MACHINE, "\\LogConf", ERROR_BAD_PATHNAME},
                     {HKEY_CURRENT_USER, "SYSTEM", ERROR_FILE_NOT_FOUND},
                     {HKEY_LOCAL_MACHINE, "system\\currentcontrolset\\enum", ERROR_ACCESS_DENIED},
                     {kNoKey, "SYSTEM", ERROR_INVALID_HANDLE}};
  for (const Case& c : cases) {
    HKEY result = kSentinelKey;
    EXPECT_EQ(win::RegOpenKeyExA(c.root, c.path, 0, KEY_QUERY_VALUE, &result), c.error) << c.path;
    EXPECT_EQ(result, nullptr) << c.path << ": a failed open leaves no key";
  }
  EXPECT_NE(Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\ACPI"), nullptr)
      << "a denied parent does not bar its sub-keys";
}

TEST_F(RegistryTest, ValuesComeBackAsStoredThroughTheSizingProtocol) {
  registry.SetString(HKEY_LOCAL_MACHINE, kParameters, "Bare", "LPT2", false);
  registry.SetString(HKEY_LOCAL_MACHINE, kParameters, "Long", std::string(128, 'L'), false);
  HKEY key = Open(HKEY_LOCAL_MACHINE, kParameters);

  DWORD type = 0xdeadbeef, size = 0xdeadbeef;
  EXPECT_EQ(win::RegQueryValueExA(key, "portname", nullptr, &type, nullptr, &size), LONG{ERROR_SUCCESS});
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_EQ(size, 5u) << "the terminator counts";

  BYTE buffer[130];
  std::memset(buffer, 0xcc, sizeof buffer);
  size = 4;
  EXPECT_EQ(Query(key, "PortName", buffer, size), LONG{ERROR_MORE_DATA});
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(buffer[0], 0xcc) << "too small a buffer is not written";
  size = sizeof buffer;
  EXPECT_EQ(Query(key, "PortName", buffer, size), LONG{ERROR_SUCCESS});
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "LPT1");

  std::memset(buffer, 0xcc, sizeof buffer);
  size = sizeof buffer;
  EXPECT_EQ(Query(key, "Bare", buffer, size), LONG{ERROR_SUCCESS});
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(buffer[4], 0xcc) << "no terminator is added";
  size = 128;
  EXPECT_EQ(Query(key, "Long", buffer, size), LONG{ERROR_SUCCESS});
  EXPECT_EQ(buffer[128], 0xcc);

  size = 0xdeadbeef;
  EXPECT_EQ(Query(key, "PortNames", buffer, size), LONG{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(size, 0xdeadbeefu);
  EXPECT_EQ(win::RegQueryValueExA(key, "PortName", nullptr, nullptr, buffer, nullptr), LONG{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(Query(kNoKey, "PortName", buffer, size), LONG{ERROR_INVALID_HANDLE});
}

TEST_F(RegistryTest, KeyHandlesAreCheckedAndCounted) {
  HKEY key = Open(HKEY_LOCAL_MACHINE, kParameters);
  EXPECT_EQ(registry.OpenKeyCount(), 1u);
  EXPECT_EQ(win::RegCloseKey(key), LONG{ERROR_SUCCESS});
  EXPECT_EQ(win::RegCloseKey(key), LONG{ERROR_INVALID_HANDLE}) << "closed twice";
  EXPECT_EQ(win::RegCloseKey(HKEY_LOCAL_MACHINE), LONG{ERROR_SUCCESS}) << "the roots close without effect";
  HANDLE event = win::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(win::RegCloseKey(static_cast<HKEY>(event)), LONG{ERROR_INVALID_HANDLE});
  EXPECT_TRUE(win::CloseHandle(event)) << "RegCloseKey left the event alone";
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

TEST_F(RegistryTest, ZwQueryKeyNamesKeysTheWayTheKernelDoes) {
  HKEY key = Open(HKEY_LOCAL_MACHINE, kParameters);
  const std::string expected = std::string("\\REGISTRY\\MACHINE\\") + kParameters;
  EXPECT_EQ(KeyName(key), expected);

  // Room for the length field and part of the name: what fits, the whole length, no more.
  const auto needed = static_cast<ULONG>(4 + 2 * expected.size());
  std::vector<BYTE> buffer(needed + 8, 0xcc);
  ULONG length = 0;
  EXPECT_EQ(query(key, nt::kKeyNameInformation, buffer.data(), 10, &length), nt::kStatusBufferOverflow);
  EXPECT_EQ(length, needed);
  ULONG name_bytes = 0;
  std::memcpy(&name_bytes, buffer.data(), sizeof name_bytes);
  EXPECT_EQ(name_bytes, needed - 4);
  EXPECT_EQ(buffer[10], 0xcc) << "written past the length given";
  buffer.assign(needed + 8, 0xcc);
  EXPECT_EQ(query(key, nt::kKeyNameInformation, buffer.data(), needed + 8, &length), nt::kStatusSuccess);
  EXPECT_EQ(buffer[needed], 0xcc) << "the name has no terminator";

  EXPECT_EQ(query(HKEY_LOCAL_MACHINE, nt::kKeyNameInformation, nullptr, 0, &length), nt::kStatusInvalidHandle)
      << "the roots are advapi32's, not the kernel's";
  win::RegCloseKey(key);
  EXPECT_EQ(query(key, nt::kKeyNameInformation, nullptr, 0, &length), nt::kStatusInvalidHandle);

  registry.SetHiveNames("\\REGISTRY\\Machine", "\\REGISTRY\\User");
  registry.CreateKey(HKEY_CURRENT_USER, "Software\\Pinscope");
  EXPECT_EQ(KeyName(Open(HKEY_LOCAL_MACHINE, "system")), "\\REGISTRY\\Machine\\SYSTEM");
  EXPECT_EQ(KeyName(Open(HKEY_CURRENT_USER, "software\\pinscope")),
            "\\REGISTRY\\User\\S-1-5-21-1004336348-1177238915-682003330-1000\\Software\\Pinscope");
}

TEST_F(RegistryTest, ScriptedKeyNamesAreCutToTheCallersLength) {
  HKEY key = Open(HKEY_LOCAL_MACHINE, "SYSTEM");
  registry.ScriptKeyName({nt::kStatusSuccess, 12, SimRegistry::KeyNameInformation("\\REGISTRY\\MACHINE", 4000)});
  std::vector<BYTE> buffer(16, 0xcc);
  ULONG length = 0;
  EXPECT_EQ(query(key, nt::kKeyNameInformation, buffer.data(), 12, &length), nt::kStatusSuccess);
  ULONG claimed = 0;
  std::memcpy(&claimed, buffer.data(), sizeof claimed);
  EXPECT_EQ(claimed, 4000u);
  EXPECT_EQ(buffer[12], 0xcc);
  EXPECT_EQ(KeyName(key), "\\REGISTRY\\MACHINE\\SYSTEM") << "the script ran out: the truth again";
}

}  // namespace
}  // namespace sim

// The program's own resources through the kernel32 seam.
#include "sim/resources.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"

namespace sim {
namespace {

using Bytes = std::vector<BYTE>;

class SimResourcesTest : public ::testing::Test {
 protected:
  SimResourcesTest() {
    pc.resources.Add(RT_RCDATA, "VLIOBIN", {'M', 'Z', 0x90, 0x00});
    pc.resources.Add("PORTS", MAKEINTRESOURCEA(7), {0x78, 0x03});
  }

  // The bytes a program gets by the usual four calls, or nothing when any of them fails.
  static std::optional<Bytes> Load(LPCSTR name, LPCSTR type, HMODULE module = nullptr) {
    HRSRC found = win::FindResourceA(module, name, type);
    if (!found) return std::nullopt;
    HGLOBAL loaded = win::LoadResource(module, found);
    if (!loaded) return std::nullopt;
    const auto* data = static_cast<const BYTE*>(win::LockResource(loaded));
    if (!data) return std::nullopt;
    return Bytes(data, data + win::SizeofResource(module, found));
  }

  InstalledPc pc;
};

TEST_F(SimResourcesTest, NamesAreFoundInAnyCaseAndNumbersAsNumbersOrHashStrings) {
  const Bytes image = {'M', 'Z', 0x90, 0x00};
  EXPECT_EQ(Load("VLIOBIN", RT_RCDATA), image);
  EXPECT_EQ(Load("vlioBin", RT_RCDATA, SimModules::ExeModule()), image);
  EXPECT_EQ(Load("VLIOBIN", "#10"), image) << "#10 is the type number 10";
  EXPECT_EQ(Load(MAKEINTRESOURCEA(7), "ports"), (Bytes{0x78, 0x03}));
  EXPECT_EQ(Load("#7", "PORTS"), (Bytes{0x78, 0x03}));
  EXPECT_NE(win::FindResourceA(nullptr, "VLIOBIN", RT_RCDATA), win::FindResourceA(nullptr, "#7", "PORTS"));

  pc.resources.Add(RT_RCDATA, "vliobin", {1});
  EXPECT_EQ(Load("VLIOBIN", RT_RCDATA), Bytes{1}) << "the same name in another case replaces it";
}

TEST_F(SimResourcesTest, AMissingTypeAndAMissingNameFailDifferently) {
  struct Case {
    LPCSTR name;
    LPCSTR type;
    DWORD error;
  } const cases[] = {{"VLIOBIN", MAKEINTRESOURCEA(6), ERROR_RESOURCE_TYPE_NOT_FOUND},
                     {"VLIOBIN", "RCDATA", ERROR_RESOURCE_TYPE_NOT_FOUND},
                     {"PORTGATE", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND},
                     {MAKEINTRESOURCEA(8), "PORTS", ERROR_RESOURCE_NAME_NOT_FOUND}};
  for (const Case& c : cases) {
    win::SetLastError(0xdeadbeef);
    EXPECT_EQ(win::FindResourceA(nullptr, c.name, c.type), nullptr) << c.error;
    EXPECT_EQ(win::GetLastError(), c.error);
  }
  EXPECT_THROW(win::FindResourceA(win::GetModuleHandleA("kernel32"), "VLIOBIN", RT_RCDATA), NotSimulated);
}

TEST_F(SimResourcesTest, LoadingAndLockingCanBeMadeToFail) {
  for (const char* call : {"LoadResource", "LockResource"}) {
    pc.core.faults.Fail(call, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Load("VLIOBIN", RT_RCDATA), std::nullopt) << call;
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY}) << call;
  }
  EXPECT_TRUE(Load("VLIOBIN", RT_RCDATA)) << "each failed once";
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::LoadResource(nullptr, nullptr), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

}  // namespace
}  // namespace sim

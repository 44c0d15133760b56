// The core's journal, fault injection and handle table, seen through the seam as library code
// sees them.
#include "sim/core.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/win32_types.h"
#include "sim/pc.h"

namespace sim {
namespace {

class CoreTest : public ::testing::Test {
 protected:
  InstalledPc pc;
};

TEST_F(CoreTest, JournalWritesEachCallAsItWouldBeWritten) {
  pc.files.AddDevice("\\\\.\\vlio", std::make_shared<Device>());
  HANDLE device = win::CreateFileA("\\\\.\\vlio", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  BYTE in[2] = {0x37, 0x80};
  DWORD returned = 0;
  win::DeviceIoControl(device, 0x222004, in, sizeof in, nullptr, 0, &returned, nullptr);
  win::CloseHandle(device);
  win::CloseHandle(INVALID_HANDLE_VALUE);
  win::MessageBoxA(nullptr, "line 1\r\nline 2", nullptr, MB_OK | MB_ICONERROR);

  const std::vector<std::string> expected = {
      R"(CreateFileA("\\.\vlio", 0xc0000000, 0, null, 3, 0x80, null))",
      "DeviceIoControl(0x100, 0x222004, [37 80], 2, null, 0, ptr, null)",
      "CloseHandle(0x100)",
      "CloseHandle(-1)",
      R"(MessageBoxA(null, "line 1\r\nline 2", null, 0x10))",
  };
  EXPECT_EQ(pc.core.journal.Lines(), expected);
  EXPECT_EQ(pc.core.journal.Count("CloseHandle"), 2u);

  pc.core.journal.Clear();
  EXPECT_TRUE(pc.core.journal.Lines().empty());
}

TEST_F(CoreTest, AFaultFailsTheNextCallsAsWindowsWould) {
  pc.core.faults.Fail("CreateEventA", ERROR_NOT_ENOUGH_MEMORY, 2);
  for (int call = 0; call < 2; ++call) {
    win::SetLastError(0xdeadbeef);
    EXPECT_EQ(win::CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr) << "call " << call;
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY}) << "call " << call;
  }
  HANDLE event = win::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(event, nullptr);
  EXPECT_EQ(pc.core.journal.Count("CreateEventA"), 3u) << "failed calls are journalled too";
  win::CloseHandle(event);
}

TEST_F(CoreTest, AFaultForEverFailsEveryCallAndMisnamedFaultsAreRefused) {
  pc.core.faults.Fail("CloseHandle", ERROR_INVALID_HANDLE, 0);
  HANDLE event = win::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  for (int call = 0; call < 3; ++call) EXPECT_FALSE(win::CloseHandle(event)) << "call " << call;
  EXPECT_EQ(pc.core.handles.OpenCount(), 1u) << "a failed close leaves the handle open";
  EXPECT_THROW(pc.core.faults.Fail("CreateFile", ERROR_ACCESS_DENIED), std::invalid_argument) << "misspelt";
  EXPECT_THROW(pc.core.faults.Fail("GetTickCount", ERROR_ACCESS_DENIED), std::invalid_argument) << "cannot fail";
}

struct Probe final : KernelObject {
  explicit Probe(int* alive) : alive(alive) { ++*alive; }
  ~Probe() override { --*alive; }
  std::string_view Kind() const override { return "Probe"; }
  int* alive;
};

TEST(HandleTable, HandsOutWindowsLikeValuesNeverAgainAndSharesObjects) {
  HandleTable table;
  int alive = 0;
  HANDLE first = table.Add(std::make_shared<Probe>(&alive));
  HANDLE second = table.Add(std::make_shared<Probe>(&alive));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(first), 0x100u);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(second), 0x104u);
  EXPECT_TRUE(table.Close(first));
  EXPECT_EQ(alive, 1);
  EXPECT_FALSE(table.Close(first)) << "closed twice";
  EXPECT_EQ(table.Find(first), nullptr);
  HANDLE third = table.Add(std::make_shared<Probe>(&alive));
  EXPECT_NE(third, first) << "a stale handle must not reach a new object";
  EXPECT_FALSE(table.Close(INVALID_HANDLE_VALUE));

  HANDLE shared = table.Add(table.Share(third));
  EXPECT_EQ(table.Find(shared), table.Find(third));
  table.Close(third);
  EXPECT_EQ(alive, 2) << "an object lives until its last handle closes";
  table.Close(shared);
  EXPECT_EQ(table.OpenCount("Probe"), 1u);
}

}  // namespace
}  // namespace sim

// The last error, system message texts, the version and modules through the kernel32 seam.
#include "sim/process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"

namespace sim {
namespace {

class SimProcessTest : public ::testing::Test {
 protected:
  // FormatMessageA as library code calls it for a system error.
  static DWORD Format(DWORD id, char* buffer, DWORD size, DWORD language = 0) {
    return win::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, id, language,
                               buffer, size, nullptr);
  }

  InstalledPc pc;
};

TEST_F(SimProcessTest, SystemMessagesAreWindowsOwnTexts) {
  struct Case {
    DWORD id;
    const char* text;
  } const cases[] = {
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
      {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
      {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process.\r\n"},
      {1060, "The specified service does not exist as an installed service.\r\n"},
      {1275, "This driver has been blocked from loading\r\n"},
  };
  for (const Case& c : cases) {
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    win::SetLastError(0xdeadbeef);
    const DWORD length = Format(c.id, buffer, sizeof buffer);
    EXPECT_EQ(length, std::strlen(c.text)) << "id " << c.id;
    EXPECT_STREQ(buffer, c.text) << "id " << c.id;
    EXPECT_EQ(win::GetLastError(), 0xdeadbeefu) << "id " << c.id << ": success leaves the last error";
  }
}

TEST_F(SimProcessTest, EveryKnownTextEndsInALineBreak) {
  int found = 0;
  for (DWORD id = 0; id < 2000; ++id) {
    char buffer[512];
    const DWORD length = Format(id, buffer, sizeof buffer);
    if (!length) {
      EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MR_MID_NOT_FOUND}) << "id " << id;
      continue;
    }
    ++found;
    const std::string text(buffer, length);
    EXPECT_TRUE(text.ends_with("\r\n")) << "id " << id << ": " << text;
    EXPECT_EQ(text.find("\r\n"), length - 2) << "id " << id << ": one line";
  }
  EXPECT_GE(found, 20);
}

TEST_F(SimProcessTest, ABufferMustHoldTheTextAndItsTerminator) {
  const std::string text = "Access is denied.\r\n";
  const auto fits = static_cast<DWORD>(text.size() + 1);
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(Format(ERROR_ACCESS_DENIED, buffer, fits - 1), 0u);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(buffer[0], 'x') << "nothing written";
  EXPECT_EQ(Format(ERROR_ACCESS_DENIED, buffer, 0), 0u);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(Format(ERROR_ACCESS_DENIED, buffer, fits), text.size());
  EXPECT_EQ(buffer, text);
  EXPECT_THROW(Format(ERROR_ACCESS_DENIED, nullptr, 64), AccessViolation);
}

TEST_F(SimProcessTest, UnknownIdsAndLanguagesAreNotFound) {
  char buffer[64];
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(Format(0x20000001, buffer, sizeof buffer), 0u);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MR_MID_NOT_FOUND});
  EXPECT_EQ(Format(ERROR_ACCESS_DENIED, buffer, sizeof buffer, 0x0407), 0u) << "German";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_RESOURCE_LANG_NOT_FOUND});
  EXPECT_NE(Format(ERROR_ACCESS_DENIED, buffer, sizeof buffer, 0x0409), 0u) << "US English";
  EXPECT_NE(Format(ERROR_ACCESS_DENIED, buffer, sizeof buffer, 0x0400), 0u) << "user default";

  EXPECT_THROW(win::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 5, 0, buffer,
                                   0, nullptr),
               NotSimulated);
}

TEST_F(SimProcessTest, VersionFollowsThePlatformFamily) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(win::GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId * 100 + info.dwMajorVersion * 10 + info.dwMinorVersion, 251u) << "NT 5.1";
  pc.process.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
  ASSERT_TRUE(win::GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId * 1000 + info.dwMajorVersion * 100 + info.dwMinorVersion, 1410u) << "9x 4.10";
  EXPECT_THROW(pc.process.SetPlatformId(3), std::invalid_argument);

  info.dwOSVersionInfoSize = sizeof info - 1;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::GetVersionExA(&info));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
}

TEST_F(SimProcessTest, Wow64IsWhatTheTestSays) {
  BOOL wow64 = 7;
  EXPECT_TRUE(win::IsWow64Process(win::GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, FALSE);
  pc.process.SetWow64(true);
  EXPECT_TRUE(win::IsWow64Process(win::GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, TRUE);
}

// Console control handlers as Windows runs them: the one added last first, until one answers.
std::vector<int> ctrl_calls;
BOOL WINAPI DeclinesCtrl(DWORD event) {
  ctrl_calls.push_back(10 + static_cast<int>(event));
  return FALSE;
}
BOOL WINAPI TakesCtrl(DWORD event) {
  ctrl_calls.push_back(20 + static_cast<int>(event));
  return TRUE;
}

TEST_F(SimProcessTest, ConsoleControlRunsTheLatestHandlerFirstUntilOneTakesIt) {
  ctrl_calls.clear();
  EXPECT_FALSE(pc.process.RaiseConsoleCtrl(CTRL_C_EVENT)) << "no handler: the process would end";
  ASSERT_TRUE(win::SetConsoleCtrlHandler(&TakesCtrl, TRUE));
  ASSERT_TRUE(win::SetConsoleCtrlHandler(&DeclinesCtrl, TRUE));
  EXPECT_TRUE(pc.process.RaiseConsoleCtrl(CTRL_BREAK_EVENT));
  EXPECT_EQ(ctrl_calls, (std::vector<int>{11, 21}));

  EXPECT_TRUE(win::SetConsoleCtrlHandler(&TakesCtrl, FALSE));
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::SetConsoleCtrlHandler(&TakesCtrl, FALSE));
  EXPECT_EQ(win::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(pc.process.RaiseConsoleCtrl(CTRL_C_EVENT));
  EXPECT_TRUE(win::SetConsoleCtrlHandler(&DeclinesCtrl, FALSE));
  EXPECT_EQ(pc.process.ConsoleCtrlHandlers(), 0u);
}

}  // namespace
}  // namespace sim

// The process family: the thread's last error, system message texts, the version, WOW64, the
// program's module, text conversion, and modules loaded by name.
#include <algorithm>
#include <iterator>
#include <string>

#include "contract/pc_under_test.h"
#include "platform/nt_names.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

template <class Pc>
class Process : public OnPc<Pc> {
 protected:
  /// FormatMessageA as the error reports call it; the returned count and the text.
  std::pair<DWORD, std::string> SystemText(DWORD error, DWORD size) {
    char buffer[256];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    const DWORD length = win::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                             error, 0, buffer, size, nullptr);
    return {length, std::string(buffer, length < sizeof buffer ? length : 0)};
  }
};
TYPED_TEST_SUITE(Process, PcsUnderTest, PcName);

TYPED_TEST(Process, TheLastErrorIsWhatWasSetLast) {
  for (const DWORD error : {DWORD{0}, DWORD{ERROR_ACCESS_DENIED}, DWORD{0xdeadbeef}}) {
    win::SetLastError(error);
    EXPECT_EQ(win::GetLastError(), error);
  }
}

TYPED_TEST(Process, SystemMessagesEndInALineBreakAndUnknownOnesAreNone) {
  for (const DWORD error : {DWORD{ERROR_SUCCESS}, DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED}}) {
    const auto [length, text] = this->SystemText(error, 255);
    ASSERT_GT(length, 2u) << "error " << error;
    EXPECT_EQ(length, text.size()) << "the count leaves out the terminating zero";
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "error " << error;
  }
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(this->SystemText(0x2000FFFF, 255).first, 0u);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MR_MID_NOT_FOUND}) << "got " << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(this->SystemText(ERROR_ACCESS_DENIED, 5).first, 0u) << "too small a buffer";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER}) << "got " << win::GetLastError();
}

// The causes the program shows under its error messages, in Windows' words.
TYPED_TEST(Process, SystemMessagesAreWindowsOwnWords) {
  if (this->pc.OnWine()) GTEST_SKIP() << "Wine words its system messages differently (\"Access denied.\")";
  struct Case {
    DWORD error;
    const char* text;
  };
  const Case cases[] = {
      {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
      {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
      {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(this->SystemText(c.error, 255).second, c.text) << "error " << c.error;
}

TYPED_TEST(Process, TheProgramRunsOnTheNtFamilyAndNotUnderWow64) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(win::GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, DWORD{VER_PLATFORM_WIN32_NT});
  BOOL wow64 = TRUE;
  ASSERT_TRUE(win::IsWow64Process(win::GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, FALSE) << "a 64-bit program, and the simulated PC's, is no WOW64 process";

  char name[MAX_PATH] = {};
  const DWORD length = win::GetModuleFileNameA(win::GetModuleHandleA(nullptr), name, MAX_PATH);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::string(name).size(), length);
  EXPECT_EQ(name[1], ':') << name;
}

TYPED_TEST(Process, WideTextBecomesTheSameAsciiAndTellsTheSizeFirst) {
  const wchar_t wide[] = L"\\REGISTRY\\MACHINE\\SYSTEM";
  const int count = static_cast<int>(std::wstring(wide).size());
  const int size = win::WideCharToMultiByte(CP_ACP, 0, wide, count, nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(size, count);
  std::string text(static_cast<size_t>(size), '\0');
  EXPECT_EQ(win::WideCharToMultiByte(CP_ACP, 0, wide, count, text.data(), size, nullptr, nullptr), size);
  EXPECT_EQ(text, "\\REGISTRY\\MACHINE\\SYSTEM");

  // Greek is in no Western or ASCII code page: the default character stands in, and says so.
  const wchar_t omega[] = L"\u03A9x";
  BOOL used_default = FALSE;
  char converted[8] = {};
  EXPECT_EQ(win::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, omega, 2, converted, sizeof converted, nullptr,
                                     &used_default),
            2);
  EXPECT_TRUE(used_default);
  EXPECT_EQ(converted[1], 'x');
}

TYPED_TEST(Process, ModulesLoadByNameAndMissingOnesOrEntriesAreNotFound) {
  for (const char* name : {"ntdll.dll", "SetupAPI.dll"}) {
    platform::UniqueModule module(win::LoadLibraryA(name));
    EXPECT_TRUE(module) << name << ": " << win::GetLastError();
  }
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(platform::UniqueModule(win::LoadLibraryA("pscontract-none.dll")));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_MOD_NOT_FOUND}) << "got " << win::GetLastError();

  const platform::UniqueModule ntdll(win::LoadLibraryA("ntdll.dll"));
  ASSERT_TRUE(ntdll);
  EXPECT_NE(win::GetProcAddress(ntdll.get(), "ZwQueryKey"), nullptr);
  // Export names are case-sensitive.
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::GetProcAddress(ntdll.get(), "zwquerykey"), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_PROC_NOT_FOUND}) << "got " << win::GetLastError();
}

// Code integrity as the check asks for it, the layout's size in its first field. Wine answers
// as Windows does, with integrity checks on, though it checks no driver.
TYPED_TEST(Process, CodeIntegrityIsToldInTheLayoutTheCallerNames) {
  const HMODULE ntdll = win::GetModuleHandleA("ntdll.dll");
  ASSERT_NE(ntdll, nullptr);
  const auto query = reinterpret_cast<nt::QuerySystemInformation>(
      reinterpret_cast<void (*)()>(win::GetProcAddress(ntdll, "NtQuerySystemInformation")));
  ASSERT_NE(query, nullptr);
  nt::CodeIntegrityInformation answer{sizeof answer, 0xEEEEEEEE};
  ULONG returned = 0;
  const LONG status = query(nt::kSystemCodeIntegrityInformation, &answer, sizeof answer, &returned);
  ASSERT_EQ(status, nt::kStatusSuccess);
  EXPECT_EQ(returned, ULONG{sizeof answer});
  EXPECT_NE(answer.CodeIntegrityOptions & nt::kCodeIntegrityEnabled, 0u) << "on since Vista";
}

}  // namespace
}  // namespace contract

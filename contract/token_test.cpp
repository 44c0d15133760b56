// The process's access token, whose load-driver privilege the driver client enables only
// while it opens the driver's device, and then puts back as it was.
#include "contract/pc_under_test.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

template <class Pc>
class Token : public OnPc<Pc> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(win::LookupPrivilegeValueA(nullptr, SE_LOAD_DRIVER_NAME, &load_driver)) << win::GetLastError();
    HANDLE opened = nullptr;
    ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened));
    token.reset(opened);
    // Disabled, as a token of an elevated program starts.
    ASSERT_TRUE(Adjust(token.get(), false, nullptr)) << win::GetLastError();
  }
  /// Enables or disables the privilege; the state before goes to `previous` when given.
  BOOL Adjust(HANDLE with, bool enable, TOKEN_PRIVILEGES* previous, DWORD* length = nullptr) {
    TOKEN_PRIVILEGES state{};
    state.PrivilegeCount = 1;
    state.Privileges[0] = {load_driver, enable ? DWORD{SE_PRIVILEGE_ENABLED} : DWORD{0}};
    DWORD returned = 0;
    return win::AdjustTokenPrivileges(with, FALSE, &state, previous ? sizeof *previous : 0, previous,
                                      previous ? (length ? length : &returned) : nullptr);
  }

  LUID load_driver{};
  platform::UniqueHandle token;
};
TYPED_TEST_SUITE(Token, PcsUnderTest, PcName);

TYPED_TEST(Token, EnablingTellsWhatChangedSoThatItCanBePutBack) {
  EXPECT_EQ(this->load_driver.LowPart, 10u) << "SE_LOAD_DRIVER_PRIVILEGE";
  EXPECT_EQ(this->load_driver.HighPart, 0);

  TOKEN_PRIVILEGES previous{};
  previous.PrivilegeCount = 0xdead;
  DWORD length = 0;
  win::SetLastError(0xdeadbeef);
  ASSERT_TRUE(this->Adjust(this->token.get(), true, &previous, &length));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_SUCCESS}) << "the privilege is held: all assigned";
  EXPECT_EQ(length, DWORD{sizeof previous});
  ASSERT_EQ(previous.PrivilegeCount, 1u);
  EXPECT_EQ(previous.Privileges[0].Luid.LowPart, 10u);
  EXPECT_EQ(previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED, 0u) << "it was disabled";

  // Putting back what the first call reported disables it again.
  ASSERT_TRUE(win::AdjustTokenPrivileges(this->token.get(), FALSE, &previous, 0, nullptr, nullptr));
  TOKEN_PRIVILEGES again{};
  ASSERT_TRUE(this->Adjust(this->token.get(), true, &again));
  EXPECT_EQ(again.PrivilegeCount, 1u) << "it was disabled by putting back";
  this->Adjust(this->token.get(), false, nullptr);
}

// A caller that had it enabled already: the client then has nothing to put back.
TYPED_TEST(Token, EnablingAnEnabledPrivilegeChangesNothingAndReportsNothing) {
  if (this->pc.OnWine()) GTEST_SKIP() << "Wine reports every privilege named as changed, changed or not";
  ASSERT_TRUE(this->Adjust(this->token.get(), true, nullptr));
  TOKEN_PRIVILEGES unchanged{};
  unchanged.PrivilegeCount = 0xdead;
  ASSERT_TRUE(this->Adjust(this->token.get(), true, &unchanged));
  EXPECT_EQ(unchanged.PrivilegeCount, 0u);
  this->Adjust(this->token.get(), false, nullptr);
}

TYPED_TEST(Token, ThePreviousStateIsOnlyForATokenOpenedToQuery) {
  HANDLE opened = nullptr;
  ASSERT_TRUE(win::OpenProcessToken(win::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &opened));
  const platform::UniqueHandle adjust_only(opened);
  TOKEN_PRIVILEGES previous{};
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(this->Adjust(adjust_only.get(), true, &previous));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED}) << "got " << win::GetLastError();
  EXPECT_TRUE(this->Adjust(adjust_only.get(), false, nullptr)) << "without it, adjusting is allowed";
}

// The check reads elevation from the token, and asks for exactly the answer's size.
TYPED_TEST(Token, ElevationIsToldInADwordAndASmallBufferIsRefusedWithTheSize) {
  TOKEN_ELEVATION elevation{0xEE};
  DWORD returned = 0;
  ASSERT_TRUE(win::GetTokenInformation(this->token.get(), TokenElevation, &elevation, sizeof elevation, &returned))
      << win::GetLastError();
  EXPECT_EQ(returned, DWORD{sizeof elevation});
  EXPECT_EQ(elevation.TokenIsElevated, 1u) << "the tests run elevated";
  returned = 0;
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::GetTokenInformation(this->token.get(), TokenElevation, &elevation, 2, &returned));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(returned, DWORD{sizeof elevation});
}

}  // namespace
}  // namespace contract

// The millisecond clock that the status wait times out by.
#include "contract/pc_under_test.h"

namespace contract {
namespace {

template <class Pc>
class Time : public OnPc<Pc> {};
TYPED_TEST_SUITE(Time, PcsUnderTest, PcName);

TYPED_TEST(Time, SleepingLetsTheTickCountAdvanceAtLeastThatLong) {
  const DWORD start = win::GetTickCount();
  win::Sleep(0);
  win::Sleep(50);
  const DWORD passed = win::GetTickCount() - start;
  // The tick count moves in steps of the system timer's period, up to about 16 ms.
  EXPECT_GE(passed, 50u - 16u);
  EXPECT_LT(passed, 5000u);
}

}  // namespace
}  // namespace contract

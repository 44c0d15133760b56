// The virtual clock: exact, instant waits, wrap-around, and peripherals that act at set times.
#include "sim/time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/pc.h"

namespace sim {
namespace {

class SimTimeTest : public ::testing::Test {
 protected:
  InstalledPc pc;
};

TEST_F(SimTimeTest, TheTickCountWrapsAt32Bits) {
  pc.time.SetTickCount(0xFFFFFFF0);
  const DWORD start = win::GetTickCount();
  EXPECT_EQ(start, 0xFFFFFFF0u);
  win::Sleep(0x20);
  EXPECT_EQ(win::GetTickCount(), 0x10u);
  EXPECT_EQ(win::GetTickCount() - start, 0x20u) << "unsigned differences survive the wrap";
  EXPECT_EQ(pc.time.Now(), 0x20u) << "time since start does not wrap";
}

TEST_F(SimTimeTest, HooksRunInTimeOrderAndMayWaitThemselves) {
  std::vector<std::string> seen;
  auto note = [&](std::string what) { seen.push_back(what + " at " + std::to_string(pc.time.Now())); };
  pc.time.At(30, [&] { note("30"); });
  pc.time.At(10, [&] {
    note("10");
    pc.time.After(5, [&] { note("10+5"); });
    win::Sleep(10);  // a hook that waits moves the clock along
    note("10 done");
  });
  pc.time.At(10, [&] { note("second 10"); });
  win::Sleep(5);
  EXPECT_TRUE(seen.empty());
  win::Sleep(100);
  EXPECT_EQ(seen, (std::vector<std::string>{"10 at 10", "second 10 at 10", "10+5 at 15", "10 done at 20", "30 at 30"}));
  EXPECT_EQ(pc.time.Now(), 105u);

  pc.time.At(50, [&] { note("overdue"); });
  win::Sleep(0);
  EXPECT_EQ(seen.back(), "overdue at 105");
  EXPECT_EQ(pc.core.clock.PendingHooks(), 0u);
}

TEST_F(SimTimeTest, APollingLoopSeesAStatusChangeOnTime) {
  bool ready = false;
  pc.time.After(37, [&] { ready = true; });
  const DWORD start = win::GetTickCount();
  while (!ready && win::GetTickCount() - start < 1000) win::Sleep(1);
  EXPECT_TRUE(ready);
  EXPECT_EQ(win::GetTickCount() - start, 37u);
  EXPECT_EQ(pc.core.journal.Entries().back().at, 37u) << "journal entries carry their time";
}

}  // namespace
}  // namespace sim

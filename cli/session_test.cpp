// The end of the session: the console's close, log-off and shut-down events and the hidden
// window's WM_ENDSESSION stop the command and hold the end back until the port is closed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cli/session_window.h"
#include "cli/stop_request.h"
#include "sim/pc.h"

namespace cli {
namespace {

TEST(Session, EndingTheSessionStopsTheCommandAndWaitsUntilItIsDone) {
  sim::InstalledPc pc;
  const HWND window = CreateSessionWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(win::GetAncestor(window, GA_ROOT), window) << "top-level: a message-only window is not asked";

  StopRequest stop;
  EXPECT_EQ(win::SendMessageA(window, WM_QUERYENDSESSION, 0, 0), TRUE) << "the end is never refused";
  win::SendMessageA(window, WM_ENDSESSION, FALSE, 0);
  EXPECT_FALSE(stop.Requested()) << "an end called off leaves the command running";

  stop.Done();  // as the program does once the port is closed
  win::SendMessageA(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(stop.Requested());
  win::DestroyWindow(window);
}

TEST(Session, TheWaitForTheCommandIsBounded) {
  sim::InstalledPc pc;
  StopRequest stop;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(StopRequest::StopAndWait(50)) << "nothing said Done";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_TRUE(stop.Requested());

  std::thread done([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop.Done();
  });
  EXPECT_TRUE(StopRequest::StopAndWait(10000)) << "Done ends the wait";
  done.join();
}

}  // namespace
}  // namespace cli

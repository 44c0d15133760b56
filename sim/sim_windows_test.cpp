// Message boxes, the foreground window and the window manager through the user32 seam.
#include "sim/sim_windows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/messages.h"
#include "sim/pc.h"
#include "sim/win32_more.h"

namespace sim {
namespace {

using Log = std::vector<std::string>;

// A class whose windows write each message to the Log passed as CreateWindowExA's last
// argument, and fail creation when their text asks them to.
LRESULT CALLBACK LoggingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  char text[32] = "";
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    win::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    std::snprintf(text, sizeof text, "%s", create->lpszName);
  } else {
    win::DefWindowProcA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  }
  auto* log = reinterpret_cast<Log*>(win::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (log && message != WM_GETTEXT) log->push_back(std::string(text) + " " + MessageName(message));
  if (message == WM_CREATE && std::string(text) == "refuse") return -1;
  return win::DefWindowProcA(window, message, wparam, lparam);
}

class SimWindowsTest : public ::testing::Test {
 protected:
  SimWindowsTest() { pc.windows.AddClass("Logging", LoggingProcedure); }

  HWND Create(LPCSTR name, HWND parent = nullptr) {
    return win::CreateWindowExA(0, "Logging", name, parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0, 100, 20, parent,
                                nullptr, nullptr, &log);
  }

  InstalledPc pc;
  Log log;
};

TEST_F(SimWindowsTest, MessageBoxesAreRecordedAndAnswered) {
  EXPECT_EQ(win::MessageBoxA(nullptr, "Port not found", "Pinscope", MB_OK | MB_ICONERROR), IDOK);
  pc.windows.AnswerNext(IDCANCEL);
  EXPECT_EQ(win::MessageBoxA(nullptr, "Retry?", nullptr, MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(win::MessageBoxA(nullptr, "Sure?", "", MB_YESNO | 0x100 /* MB_DEFBUTTON2 */), IDNO)
      << "an unanswered box takes its default button";

  ASSERT_EQ(pc.windows.Boxes().size(), 3u);
  EXPECT_EQ(pc.windows.Boxes()[0].text, "Port not found");
  EXPECT_EQ(pc.windows.Boxes()[0].caption, "Pinscope");
  EXPECT_EQ(pc.windows.Boxes()[0].type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(pc.windows.Boxes()[1].caption, "Error") << "Windows' caption for a null one";

  pc.windows.AnswerNext(IDYES);
  EXPECT_THROW(win::MessageBoxA(nullptr, "Done", "", MB_OK), std::invalid_argument) << "no such button";
}

TEST_F(SimWindowsTest, AMessageBoxNeedsARealOwner) {
  HWND window = Create("main");
  win::DestroyWindow(window);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::MessageBoxA(window, "text", "caption", MB_OK), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
  EXPECT_TRUE(pc.windows.Boxes().empty());
  EXPECT_EQ(win::MessageBoxA(win::GetForegroundWindow(), "text", "caption", MB_OK), IDOK);

  pc.core.faults.Fail("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(win::MessageBoxA(nullptr, "text", "caption", MB_OK), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
}

TEST_F(SimWindowsTest, TheForegroundWindowBelongsToAnotherProgram) {
  HWND foreground = win::GetForegroundWindow();
  EXPECT_TRUE(win::IsWindow(foreground));
  EXPECT_EQ(win::SendMessageA(foreground, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_FALSE(win::DestroyWindow(foreground));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_ACCESS_DENIED});

  HWND ours = Create("main");
  pc.windows.SetForeground(ours);
  EXPECT_EQ(win::GetForegroundWindow(), ours);
  win::DestroyWindow(ours);
  EXPECT_EQ(win::GetForegroundWindow(), foreground);
}

TEST_F(SimWindowsTest, CreationNeedsAKnownClassAndAParentForAChild) {
  struct Case {
    LPCSTR class_name;
    DWORD style;
    HWND parent;
    DWORD error;
  } const cases[] = {
      {"RICHEDIT", 0, nullptr, ERROR_CANNOT_FIND_WND_CLASS},
      {MAKEINTRESOURCEA(0xC001), 0, nullptr, ERROR_CANNOT_FIND_WND_CLASS},
      {"EDIT", WS_CHILD, nullptr, ERROR_TLW_WITH_WSCHILD},
      {"EDIT", WS_CHILD, reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234)), ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const Case& c : cases) {
    win::SetLastError(0xdeadbeef);
    EXPECT_EQ(win::CreateWindowExA(0, c.class_name, "", c.style, 0, 0, 10, 10, c.parent, nullptr, nullptr, nullptr),
              nullptr)
        << "expected error " << c.error;
    EXPECT_EQ(win::GetLastError(), c.error);
  }
  EXPECT_EQ(pc.windows.WindowCount(), 0u);

  HWND main = Create("main");
  HWND edit = win::CreateWindowExA(0, "edit", "text", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, main,
                                   reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(101)), nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(pc.windows.TextOf(edit), "text");
  EXPECT_EQ(win::GetWindowLongPtrA(edit, GWLP_ID), 101);
  EXPECT_EQ(pc.windows.ChildrenOf(main), std::vector<HWND>{edit});
  EXPECT_EQ(log, (Log{"main WM_NCCREATE", "main WM_CREATE"}));
}

TEST_F(SimWindowsTest, AWindowThatRefusesCreationIsDestroyedAgain) {
  EXPECT_EQ(Create("refuse"), nullptr);
  EXPECT_EQ(log, (Log{"refuse WM_NCCREATE", "refuse WM_CREATE", "refuse WM_DESTROY", "refuse WM_NCDESTROY"}));
  EXPECT_EQ(pc.windows.WindowCount(), 0u);
}

TEST_F(SimWindowsTest, DestroyingGoesDownTheTreeThenBackUp) {
  HWND main = Create("main");
  HWND panel = Create("panel", main);
  Create("button", panel);
  Create("status", main);
  log.clear();

  EXPECT_TRUE(win::DestroyWindow(main));
  EXPECT_EQ(log, (Log{"main WM_DESTROY", "panel WM_DESTROY", "button WM_DESTROY", "status WM_DESTROY",
                      "button WM_NCDESTROY", "panel WM_NCDESTROY", "status WM_NCDESTROY", "main WM_NCDESTROY"}));
  EXPECT_EQ(pc.windows.WindowCount(), 0u);
  EXPECT_FALSE(win::IsWindow(panel));
  win::SetLastError(0xdeadbeef);
  EXPECT_FALSE(win::DestroyWindow(main));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

TEST_F(SimWindowsTest, MessagesToNoWindowGoNowhere) {
  HWND main = Create("main");
  win::DestroyWindow(main);
  log.clear();
  pc.core.journal.Clear();
  for (HWND nowhere : {main, HWND{nullptr}}) {
    win::SetLastError(0xdeadbeef);
    EXPECT_EQ(win::SendMessageA(nowhere, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("lost")), 0);
    EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
  }
  EXPECT_TRUE(log.empty());
  Log sent;
  for (const Journal::Entry& entry : pc.core.journal.Entries()) {
    if (entry.name == "SendMessageA") sent.push_back(entry.line);
  }
  EXPECT_EQ(sent,
            (Log{"SendMessageA(0x100010, WM_SETTEXT, 0, \"lost\")", "SendMessageA(null, WM_SETTEXT, 0, \"lost\")"}));
}

TEST_F(SimWindowsTest, WindowLongsReturnTheirPreviousValue) {
  HWND edit = win::CreateWindowExA(0, "EDIT", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::SetWindowLongPtrA(edit, GWLP_USERDATA, 42), 0);
  EXPECT_EQ(win::GetLastError(), 0xdeadbeefu) << "success leaves the last error alone";
  EXPECT_EQ(win::SetWindowLongPtrA(edit, GWLP_USERDATA, -7), 42);
  EXPECT_EQ(win::GetWindowLongPtrA(edit, GWLP_USERDATA), -7);

  EXPECT_EQ(win::GetWindowLongPtrA(edit, 12345), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_INDEX});
  win::DestroyWindow(edit);
  EXPECT_EQ(win::GetWindowLongPtrA(edit, GWLP_USERDATA), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

}  // namespace
}  // namespace sim

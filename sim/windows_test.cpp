// Message boxes, the foreground window and the window manager through the user32 seam.
#include "sim/windows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/messages.h"
#include "sim/pc.h"

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

TEST_F(SimWindowsTest, MessageBoxesAreRecordedAndAcknowledged) {
  EXPECT_EQ(win::MessageBoxA(nullptr, "Port not found", "Pinscope", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(win::MessageBoxA(nullptr, "Done", nullptr, MB_OK), IDOK);

  ASSERT_EQ(pc.windows.Boxes().size(), 2u);
  EXPECT_EQ(pc.windows.Boxes()[0].text, "Port not found");
  EXPECT_EQ(pc.windows.Boxes()[0].caption, "Pinscope");
  EXPECT_EQ(pc.windows.Boxes()[0].type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(pc.windows.Boxes()[1].caption, "Error") << "Windows' caption for a null one";
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
  win::ShowWindow(ours, SW_SHOWNORMAL);
  EXPECT_EQ(win::GetForegroundWindow(), ours) << "shown, it comes to the front";
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

  EXPECT_THROW(win::GetWindowLongPtrA(edit, 12345), NotSimulated) << "no other index is modelled";
  win::DestroyWindow(edit);
  EXPECT_EQ(win::GetWindowLongPtrA(edit, GWLP_USERDATA), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

}  // namespace
}  // namespace sim

namespace sim {
namespace {

class QueueTest : public SimWindowsTest {
 protected:
  MSG Take() {
    MSG message{};
    EXPECT_TRUE(win::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    return message;
  }
};

TEST_F(QueueTest, PostedMessagesComeOutInOrderAndTheQuitLast) {
  HWND main = Create("main");
  win::PostQuitMessage(3);
  win::PostMessageA(main, WM_USER + 1, 1, 2);
  win::PostMessageA(nullptr, WM_USER + 2, 0, 0);  // a message to the thread, not a window
  MSG message{};
  EXPECT_TRUE(win::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(pc.windows.Queued(), 2u) << "a peek that does not remove leaves it";
  EXPECT_EQ(win::GetMessageA(&message, nullptr, 0, 0), TRUE);
  EXPECT_EQ((std::vector<ULONG_PTR>{reinterpret_cast<ULONG_PTR>(message.hwnd), message.message, message.wParam}),
            (std::vector<ULONG_PTR>{reinterpret_cast<ULONG_PTR>(main), WM_USER + 1, 1}));
  EXPECT_EQ(Take().message, UINT{WM_USER + 2});
  EXPECT_EQ(win::GetMessageA(&message, nullptr, 0, 0), FALSE);
  EXPECT_EQ(message.message, UINT{WM_QUIT});
  EXPECT_EQ(message.wParam, 3u);
  EXPECT_FALSE(pc.windows.QuitPosted()) << "the quit is taken once";
  EXPECT_THROW(win::GetMessageA(&message, nullptr, 0, 0), NotSimulated) << "nothing would ever come";
}

TEST_F(QueueTest, DispatchDeliversAndWhatWasPostedToADeadWindowIsGone) {
  HWND main = Create("main");
  HWND other = Create("other");
  win::PostMessageA(main, WM_USER, 0, 0);
  win::PostMessageA(other, WM_USER, 0, 0);
  win::DestroyWindow(main);
  log.clear();
  EXPECT_EQ(pc.windows.Queued(), 1u);
  MSG message = Take();
  win::DispatchMessageA(&message);
  EXPECT_EQ(log, Log{"other WM_USER+0"});

  win::SetLastError(0);
  EXPECT_FALSE(win::PostMessageA(main, WM_USER, 0, 0));
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
  EXPECT_TRUE(win::PostMessageA(SimWindows::ForeignWindow(), WM_CLOSE, 0, 0)) << "another program's queue";
  EXPECT_EQ(pc.windows.Queued(), 0u);

  const MSG key{other, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
  EXPECT_TRUE(win::TranslateMessage(&key));
  EXPECT_EQ(Take().wParam, WPARAM{'a'});
  const MSG shift{other, WM_KEYDOWN, 0x10, 0, 0, {0, 0}};
  EXPECT_TRUE(win::TranslateMessage(&shift));
  EXPECT_EQ(pc.windows.Queued(), 0u) << "a key without a character";
}

TEST_F(QueueTest, ShowingEnablingAndOrderingWindows) {
  HWND main = Create("main");
  HWND a = Create("a", main), b = Create("b", main), c = Create("c", main);
  log.clear();
  EXPECT_FALSE(win::ShowWindow(main, SW_SHOW));
  EXPECT_TRUE(win::ShowWindow(main, SW_SHOW)) << "it was visible";
  EXPECT_EQ(log, Log{"main WM_SHOWWINDOW"}) << "sent only on a change";
  EXPECT_EQ(win::GetForegroundWindow(), main);
  EXPECT_FALSE(pc.windows.IsShown(a)) << "a child without WS_VISIBLE";

  EXPECT_FALSE(win::EnableWindow(main, FALSE));
  EXPECT_TRUE(win::EnableWindow(main, FALSE)) << "it was disabled";
  EXPECT_FALSE(pc.windows.IsEnabled(b)) << "a disabled parent disables its children";

  EXPECT_TRUE(win::SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  EXPECT_TRUE(win::SetWindowPos(a, b, 5, 6, 7, 8, 0));
  EXPECT_EQ(pc.windows.ChildrenOf(main), (std::vector<HWND>{c, b, a}));
  EXPECT_EQ(pc.windows.Find(a)->x + pc.windows.Find(a)->height, 13);
  win::SetLastError(0);
  EXPECT_FALSE(win::SetWindowPos(a, main, 0, 0, 0, 0, SWP_NOMOVE)) << "not a sibling";
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(QueueTest, AProgramsClassIsRegisteredOnce) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = LoggingProcedure;
  window_class.lpszClassName = "PinscopeTest";
  EXPECT_NE(win::RegisterClassA(&window_class), 0);
  EXPECT_EQ(win::RegisterClassA(&window_class), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_CLASS_ALREADY_EXISTS});
  HWND window = win::CreateWindowExA(0, "pinscopetest", "mine", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, &log);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(log, (Log{"mine WM_NCCREATE", "mine WM_CREATE"}));
}

TEST_F(QueueTest, FontsBrushesAndDeviceContexts) {
  HFONT font = win::CreateFontA(-11, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "Courier");
  ASSERT_NE(pc.graphics.FindFont(font), nullptr);
  EXPECT_EQ(pc.graphics.FindFont(font)->weight, FW_BOLD);
  HBRUSH face = win::GetSysColorBrush(COLOR_BTNFACE);
  EXPECT_EQ(pc.graphics.LiveObjects(), 1u) << "a system colour's brush is not the program's";
  EXPECT_TRUE(win::DeleteObject(font));
  EXPECT_FALSE(win::DeleteObject(font)) << "deleted once only";
  EXPECT_TRUE(win::DeleteObject(face));
  EXPECT_EQ(win::GetSysColorBrush(COLOR_BTNFACE), face) << "and stays";

  pc.graphics.SetScreenDpi(120);
  HWND main = Create("main");
  HWND child = Create("child", main);
  HDC dc = win::GetDC(nullptr);
  EXPECT_EQ(win::GetDeviceCaps(dc, LOGPIXELSY), 120);
  EXPECT_EQ(win::SetTextColor(dc, RGB(0, 128, 0)), RGB(0, 0, 0));
  EXPECT_EQ(win::SetTextColor(dc, RGB(1, 1, 1)), RGB(0, 128, 0));
  EXPECT_EQ(win::ReleaseDC(main, dc), 0) << "released by another window";
  EXPECT_EQ(win::ReleaseDC(nullptr, dc), 1);
  EXPECT_EQ(win::GetDeviceCaps(dc, LOGPIXELSY), 0) << "a released context";

  // DefWindowProc's answers to the controls' colour questions: a face for labels, the
  // window colour for text fields.
  HWND label = win::CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 9, 9, main, nullptr, nullptr, nullptr);
  HWND field = win::CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 9, 9, main, nullptr, nullptr, nullptr);
  const SimWindows::Painted on_face = pc.windows.Paint(label);
  EXPECT_EQ(on_face.back, win::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(on_face.brush, face);
  EXPECT_EQ(on_face.text, win::GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(pc.windows.Paint(field).back, win::GetSysColor(COLOR_WINDOW));
  EXPECT_THROW(pc.windows.Paint(main), NotSimulated) << "a top-level window asks nobody";
  EXPECT_THROW(pc.windows.Paint(child), NotSimulated) << "a class whose painting is not modelled";
  EXPECT_EQ(pc.graphics.OpenDcs(), 0u);
}

}  // namespace
}  // namespace sim

// The EDIT class as code drives it through the seam: subclassing, the caret, typing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/messages.h"
#include "sim/pc.h"
#include "sim/window_classes.h"

namespace sim {
namespace {

// What a subclassing procedure keeps, reached through GWLP_USERDATA as real code does.
struct Subclass {
  WNDPROC previous = nullptr;
  std::vector<std::string> seen;  // each message with the text the edit held at that moment
  char swallow = 0;               // a character the subclass keeps from the edit
};

LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* subclass = reinterpret_cast<Subclass*>(win::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_CHAR) {
    subclass->seen.push_back(MessageName(message) + " '" + static_cast<char>(wparam) + "' over \"" +
                             SimWindows::Current().TextOf(window) + "\"");
    if (static_cast<char>(wparam) == subclass->swallow) return 0;
  }
  return win::CallWindowProcA(subclass->previous, window, message, wparam, lparam);
}

class EditControlTest : public ::testing::Test {
 protected:
  HWND Create(LPCSTR text = "", DWORD style = 0) {
    return win::CreateWindowExA(0, "EDIT", text, WS_CHILD | style, 0, 0, 200, 20, parent, nullptr, nullptr, nullptr);
  }
  static LRESULT Send(HWND edit, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return win::SendMessageA(edit, message, wparam, lparam);
  }
  static void Append(HWND edit, const char* text) { Send(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text)); }

  InstalledPc pc;
  HWND parent = win::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
};

TEST_F(EditControlTest, ASubclassSeesMessagesFirstAndTheEditActsAfter) {
  HWND edit = Create();
  const LONG_PTR original = win::GetWindowLongPtrA(edit, GWLP_WNDPROC);
  EXPECT_EQ(original, reinterpret_cast<LONG_PTR>(EditProcedure));

  Subclass subclass;
  subclass.swallow = '!';
  win::SetWindowLongPtrA(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&subclass));
  subclass.previous = reinterpret_cast<WNDPROC>(
      win::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProcedure)));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(subclass.previous), original);

  for (char typed : std::string("ab!c")) Send(edit, WM_CHAR, static_cast<unsigned char>(typed));
  EXPECT_EQ(subclass.seen, (std::vector<std::string>{"WM_CHAR 'a' over \"\"", "WM_CHAR 'b' over \"a\"",
                                                     "WM_CHAR '!' over \"ab\"", "WM_CHAR 'c' over \"ab\""}));
  EXPECT_EQ(pc.windows.TextOf(edit), "abc");
  EXPECT_EQ(pc.core.journal.Count("CallWindowProcA"), 3u);

  win::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass.previous));
  Send(edit, WM_CHAR, '!');
  EXPECT_EQ(pc.windows.TextOf(edit), "abc!");
  EXPECT_EQ(subclass.seen.size(), 4u) << "unsubclassed";
}

TEST_F(EditControlTest, ReplaceSelReadsUpToTheTerminatorAndLeavesTheCaretAfter) {
  HWND edit = Create();
  const char buffer[] = {'o', 'n', 'e', '\0', 'x', 'x', '\0'};
  Append(edit, buffer);
  Append(edit, "\r\ntwo");
  Send(edit, WM_CHAR, '!');
  EXPECT_EQ(pc.windows.TextOf(edit), "one\r\ntwo!") << "the caret is after what was added";
  EXPECT_THROW(Send(edit, EM_REPLACESEL, 0, 0), AccessViolation);
}

TEST_F(EditControlTest, NewTextPutsTheCaretAtTheStart) {
  HWND created = Create("log");
  Append(created, ">");
  EXPECT_EQ(pc.windows.TextOf(created), ">log");
  Send(created, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("fresh"));
  Append(created, "a ");
  EXPECT_EQ(pc.windows.TextOf(created), "a fresh");
}

TEST_F(EditControlTest, GetTextFillsWhatTheBufferHolds) {
  HWND edit = Create("Pinscope");
  char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(Send(edit, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 4);
  EXPECT_STREQ(buffer, "Pins");
  buffer[0] = 'x';
  EXPECT_EQ(Send(edit, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(Send(edit, WM_GETTEXTLENGTH), 8);
}

TEST_F(EditControlTest, TypingFollowsTheStyle) {
  HWND single = Create();
  HWND multi = Create("", ES_MULTILINE);
  for (HWND edit : {single, multi}) {
    for (char typed : std::string("ab\bc\rd\x03")) Send(edit, WM_CHAR, static_cast<unsigned char>(typed));
  }
  EXPECT_EQ(pc.windows.TextOf(single), "acd");
  EXPECT_EQ(pc.windows.TextOf(multi), "ac\r\nd");
}

}  // namespace
}  // namespace sim

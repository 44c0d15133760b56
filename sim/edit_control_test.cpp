// The EDIT class as code drives it through the seam: subclassing, the selection and caret,
// the text limit, typing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/messages.h"
#include "sim/pc.h"
#include "sim/win32_more.h"
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
  static std::pair<DWORD, DWORD> Selection(HWND edit) {
    DWORD start = 0xdeadbeef, end = 0xdeadbeef;
    Send(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }

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
  EXPECT_EQ(pc.windows.TextOf(edit), "one\r\ntwo");
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{8}, DWORD{8}));
  EXPECT_THROW(Send(edit, EM_REPLACESEL, 0, 0), AccessViolation);
}

TEST_F(EditControlTest, NewTextPutsTheCaretAtTheStart) {
  HWND created = Create("log");
  EXPECT_EQ(Selection(created), std::make_pair(DWORD{0}, DWORD{0}));
  Append(created, ">");
  EXPECT_EQ(pc.windows.TextOf(created), ">log") << "code that appends must move the caret first";

  Send(created, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("fresh"));
  EXPECT_EQ(Selection(created), std::make_pair(DWORD{0}, DWORD{0}));
  const auto length = static_cast<WPARAM>(Send(created, WM_GETTEXTLENGTH));
  Send(created, EM_SETSEL, length, static_cast<LPARAM>(length));
  Append(created, " line");
  EXPECT_EQ(pc.windows.TextOf(created), "fresh line");
}

TEST_F(EditControlTest, SelectionsAreOrderedClampedAndPacked) {
  HWND edit = Create();
  Append(edit, "0123456789");
  struct Case {
    WPARAM start;
    LPARAM end;
    DWORD low, high;
  } const cases[] = {
      {2, 5, 2, 5},
      {7, 3, 3, 7},                          // backwards: the caret at 3
      {0, -1, 0, 10},                        // all
      {static_cast<WPARAM>(-1), 0, 10, 10},  // deselect: the caret (10) stays
      {4, 400, 4, 10},
  };
  for (const Case& c : cases) {
    Send(edit, EM_SETSEL, c.start, c.end);
    EXPECT_EQ(Selection(edit), std::make_pair(c.low, c.high)) << c.start << ", " << c.end;
    EXPECT_EQ(Send(edit, EM_GETSEL), static_cast<LRESULT>(c.low | (c.high << 16)));
  }
  Send(edit, EM_SETSEL, 2, 8);
  Append(edit, "-");
  EXPECT_EQ(pc.windows.TextOf(edit), "01-89");
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{3}, DWORD{3}));
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

TEST_F(EditControlTest, TheTextLimitHoldsTypingAndReplaceSelButNotSetText) {
  HWND edit = Create();
  EXPECT_EQ(Send(edit, EM_GETLIMITTEXT), 32767);
  Send(edit, EM_LIMITTEXT, 5);
  Append(edit, "abc");
  Append(edit, "defgh");
  EXPECT_EQ(pc.windows.TextOf(edit), "abcde") << "EM_REPLACESEL adds what fits";
  Send(edit, WM_CHAR, 'z');
  EXPECT_EQ(pc.windows.TextOf(edit), "abcde") << "a keystroke that does not fit is refused";
  Send(edit, EM_SETSEL, 0, 1);
  Send(edit, WM_CHAR, 'A');
  EXPECT_EQ(pc.windows.TextOf(edit), "Abcde") << "replacing a selection makes room";

  Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("longer than five"));
  EXPECT_EQ(pc.windows.TextOf(edit), "longer than five");
  Send(edit, EM_LIMITTEXT, 0);
  EXPECT_EQ(Send(edit, EM_GETLIMITTEXT), 0x7FFFFFFE);
}

TEST_F(EditControlTest, TypingFollowsTheStyle) {
  HWND single = Create();
  HWND multi = Create("", ES_MULTILINE);
  HWND read_only = Create("fixed", ES_READONLY);
  for (HWND edit : {single, multi, read_only}) {
    Send(edit, EM_SETSEL, 0, -1);
    Send(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    for (char typed : std::string("ab\bc\rd\x03")) Send(edit, WM_CHAR, static_cast<unsigned char>(typed));
  }
  EXPECT_EQ(pc.windows.TextOf(single), "acd");
  EXPECT_EQ(pc.windows.TextOf(multi), "ac\r\nd");
  EXPECT_EQ(pc.windows.TextOf(read_only), "fixed");
  Append(read_only, "!");
  EXPECT_EQ(pc.windows.TextOf(read_only), "fixed!") << "read-only stops the user, not the program";
}

}  // namespace
}  // namespace sim

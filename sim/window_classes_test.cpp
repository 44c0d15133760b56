// The BUTTON and COMBOBOX classes: what they keep, and what they tell their parent.
#include "sim/window_classes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/pc.h"
#include "sim/win32_more.h"

namespace sim {
namespace {

// A parent that keeps the notifications its children send it.
std::vector<std::pair<WORD, WORD>>* notes = nullptr;  // (control id, code)

LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && notes) notes->emplace_back(LOWORD(wparam), HIWORD(wparam));
  return win::DefWindowProcA(window, message, wparam, lparam);
}

class WindowClasses : public testing::Test {
 protected:
  WindowClasses() {
    notes = &seen;
    pc.windows.AddClass("Parent", ParentProcedure);
    parent = win::CreateWindowExA(0, "Parent", "", WS_VISIBLE, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
  }
  ~WindowClasses() override { notes = nullptr; }

  HWND Make(const char* class_name, DWORD style, WORD id = 7) {
    return win::CreateWindowExA(0, class_name, "", WS_CHILD | WS_VISIBLE | style, 0, 0, 50, 20, parent,
                                reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(id)), nullptr, nullptr);
  }
  static LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return win::SendMessageA(window, message, wparam, lparam);
  }

  InstalledPc pc;
  std::vector<std::pair<WORD, WORD>> seen;
  HWND parent;
};

TEST_F(WindowClasses, ButtonsKeepTheStateTheirTypeCanShow) {
  HWND push = Make("BUTTON", BS_PUSHBUTTON);
  HWND two = Make("BUTTON", BS_CHECKBOX);
  HWND three = Make("BUTTON", BS_3STATE);
  Send(push, BM_SETCHECK, BST_CHECKED);
  Send(two, BM_SETCHECK, BST_INDETERMINATE);
  Send(three, BM_SETCHECK, BST_INDETERMINATE);
  EXPECT_EQ(Send(push, BM_GETCHECK), 0);
  EXPECT_EQ(Send(two, BM_GETCHECK), LRESULT{BST_CHECKED}) << "grayed needs a three-state button";
  EXPECT_EQ(Send(three, BM_GETCHECK), LRESULT{BST_INDETERMINATE});
  Send(two, BM_SETSTYLE, BS_3STATE);
  Send(two, BM_SETCHECK, BST_INDETERMINATE);
  EXPECT_EQ(Send(two, BM_GETCHECK), LRESULT{BST_INDETERMINATE});
}

TEST_F(WindowClasses, AClickTellsTheParentAndOnlyAutoButtonsMoveThemselves) {
  HWND manual = Make("BUTTON", BS_CHECKBOX, 11);
  HWND automatic = Make("BUTTON", BS_AUTO3STATE, 12);
  HWND group = Make("BUTTON", BS_GROUPBOX, 13);
  pc.windows.Click(manual);
  Send(automatic, BM_CLICK);
  pc.windows.Click(automatic);
  pc.windows.Click(group);
  EXPECT_EQ(seen, (std::vector<std::pair<WORD, WORD>>{{11, BN_CLICKED}, {12, BN_CLICKED}, {12, BN_CLICKED}}));
  EXPECT_EQ(Send(manual, BM_GETCHECK), LRESULT{BST_UNCHECKED});
  EXPECT_EQ(Send(automatic, BM_GETCHECK), LRESULT{BST_INDETERMINATE});

  Send(automatic, WM_LBUTTONUP);  // a release without a press is no click
  win::ShowWindow(parent, SW_HIDE);
  pc.windows.Click(manual);
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(WindowClasses, AComboBoxKeepsEntriesWithDataAndASelection) {
  HWND combo = Make("COMBOBOX", CBS_DROPDOWNLIST);
  for (const char* text : {"LPT1", "LPT3"}) Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(Send(combo, CB_SETCURSEL, 1), 1);
  EXPECT_EQ(Send(combo, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("LPT2")), 1);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 2) << "the selection moves with its entry";
  EXPECT_EQ(pc.windows.TextOf(combo), "LPT3");
  EXPECT_EQ(Send(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("LPT9")), CB_ERR) << "a list has no text of its own";
  EXPECT_EQ(Send(combo, CB_SETITEMDATA, 0, 0x378), TRUE);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 0), 0x378);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 3), CB_ERR);
  EXPECT_EQ(Send(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("lpt2")), 1);
  EXPECT_EQ(Send(combo, CB_FINDSTRINGEXACT, 1, reinterpret_cast<LPARAM>("LPT2")), 1) << "wraps around";

  EXPECT_EQ(Send(combo, CB_DELETESTRING, 2), 2);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR) << "its entry is gone";
  EXPECT_EQ(Send(combo, CB_SETCURSEL, 5), CB_ERR);
  EXPECT_EQ(Send(combo, CB_GETLBTEXTLEN, 1), 4);

  HWND sorted = Make("COMBOBOX", CBS_DROPDOWN | CBS_SORT);
  for (const char* text : {"b", "C", "a"}) Send(sorted, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  char text[8] = "";
  Send(sorted, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "C");
  EXPECT_TRUE(seen.empty()) << "the program's changes are not told to the parent";
}

TEST_F(WindowClasses, TheUsersChoiceIsToldToTheParent) {
  HWND combo = Make("COMBOBOX", CBS_DROPDOWNLIST, 21);
  for (const char* text : {"LPT1", "LPT2"}) Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  pc.windows.Choose(combo, 1);
  pc.windows.Choose(combo, 1);
  EXPECT_EQ(seen, (std::vector<std::pair<WORD, WORD>>{{21, CBN_SELCHANGE}}));
  EXPECT_EQ(Send(combo, CB_GETCURSEL), 1);
  EXPECT_THROW(pc.windows.Choose(combo, 2), std::invalid_argument);
  EXPECT_THROW(pc.windows.Choose(parent, 0), std::invalid_argument);
}

}  // namespace
}  // namespace sim

// The BUTTON and COMBOBOX classes: what they keep, and what they tell their parent.
#include "sim/window_classes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "sim/pc.h"

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

TEST_F(WindowClasses, AClickTellsTheParentAndLeavesTheCheckToTheProgram) {
  HWND manual = Make("BUTTON", BS_CHECKBOX, 11);
  HWND three = Make("BUTTON", BS_3STATE, 12);
  HWND group = Make("BUTTON", BS_GROUPBOX, 13);
  pc.windows.Click(manual);
  Send(three, BM_CLICK);
  pc.windows.Click(three);
  pc.windows.Click(group);
  EXPECT_EQ(seen, (std::vector<std::pair<WORD, WORD>>{{11, BN_CLICKED}, {12, BN_CLICKED}, {12, BN_CLICKED}}));
  EXPECT_EQ(Send(manual, BM_GETCHECK), LRESULT{BST_UNCHECKED});
  EXPECT_EQ(Send(three, BM_GETCHECK), LRESULT{BST_UNCHECKED});

  Send(three, WM_LBUTTONUP);  // a release without a press is no click
  win::ShowWindow(parent, SW_HIDE);
  pc.windows.Click(manual);
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(WindowClasses, AComboBoxKeepsEntriesWithDataAndASelection) {
  HWND combo = Make("COMBOBOX", CBS_DROPDOWNLIST);
  for (const char* text : {"LPT1", "LPT2"}) Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("LPT3")), 2);
  EXPECT_EQ(Send(combo, CB_SETCURSEL, 2), 2);
  EXPECT_EQ(pc.windows.TextOf(combo), "LPT3");
  EXPECT_EQ(Send(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("LPT9")), CB_ERR) << "a list has no text of its own";
  EXPECT_EQ(Send(combo, CB_SETITEMDATA, 0, 0x378), TRUE);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 0), 0x378);
  EXPECT_EQ(Send(combo, CB_GETITEMDATA, 3), CB_ERR);

  EXPECT_EQ(Send(combo, CB_DELETESTRING, 2), 2);
  EXPECT_EQ(Send(combo, CB_GETCURSEL), CB_ERR) << "its entry is gone";
  EXPECT_EQ(Send(combo, CB_SETCURSEL, 5), CB_ERR);
  EXPECT_EQ(Send(combo, CB_GETLBTEXTLEN, 1), 4);

  char text[8] = "";
  EXPECT_EQ(Send(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 4);
  EXPECT_STREQ(text, "LPT2");
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

// The standard controls on the simulated PC: what the program and the user do to them, and
// what reaches their windows.
#include "framework/stdctrls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/exception.h"
#include "framework/forms.h"
#include "sim/pc.h"

namespace fw {
namespace {

// Records each OnClick / OnChange with the state the box had then.
struct Events {
  std::vector<TCheckBoxState> clicks;
  int changes = 0;
  void Clicked(TObject* sender) { clicks.push_back(static_cast<TCheckBox*>(sender)->State()); }
  void Changed(TObject*) { ++changes; }
};

class StdControls : public testing::Test {
 protected:
  StdControls() {
    box->SetParent(group);
    group->SetParent(&form);
    box->OnClick = TNotifyEvent::Of<&Events::Clicked>(&events);
  }

  DWORD StyleOf(TWinControl* control) { return pc.windows.Find(control->Handle())->style; }
  LRESULT Check() { return win::SendMessageA(box->Handle(), BM_GETCHECK, 0, 0); }

  sim::InstalledPc pc;
  Events events;
  TForm form{nullptr};
  TGroupBox* group = new TGroupBox(&form);
  TCheckBox* box = new TCheckBox(&form);
};

TEST_F(StdControls, ProgramChangesOfACheckBoxRaiseOnClickOnlyWhenTheStateMoves) {
  box->SetChecked(true);
  box->SetChecked(true);
  box->SetState(cbGrayed);
  EXPECT_EQ(events.clicks, (std::vector<TCheckBoxState>{cbChecked, cbGrayed}));

  form.Handle();  // the same with a window, which follows the state
  EXPECT_EQ(Check(), LRESULT{BST_INDETERMINATE});
  box->SetState(cbGrayed);
  box->SetChecked(false);
  box->SetChecked(false);
  EXPECT_EQ(events.clicks, (std::vector<TCheckBoxState>{cbChecked, cbGrayed, cbUnchecked}));
  EXPECT_EQ(Check(), LRESULT{BST_UNCHECKED});
}

TEST_F(StdControls, TheThemeLibraryIsLoadedOnceAFormOnlyFromTheSystemFolder) {
  (new TCheckBox(&form))->SetParent(group);
  form.Handle();
  std::vector<std::string> loads;
  for (const sim::Journal::Entry& entry : pc.core.journal.Entries())
    if (entry.name == "LoadLibraryA") loads.push_back(entry.line);
  EXPECT_EQ(loads, std::vector<std::string>{"LoadLibraryA(\"C:\\Windows\\System32\\uxtheme.dll\")"});
}

TEST_F(StdControls, UserClicksCycleTheStatesEachWithOneOnClick) {
  HWND window = box->Handle();
  pc.windows.Click(window);
  EXPECT_TRUE(events.clicks.empty()) << "nobody clicks into a form not shown";
  form.Show();
  EXPECT_EQ(StyleOf(box) & BS_TYPEMASK, BS_CHECKBOX) << "the component keeps the state, not the window";
  pc.windows.Click(window);
  pc.windows.Click(window);
  EXPECT_EQ(events.clicks, (std::vector<TCheckBoxState>{cbChecked, cbUnchecked}));

  events.clicks.clear();
  box->SetAllowGrayed(true);
  EXPECT_EQ(StyleOf(box) & BS_TYPEMASK, BS_3STATE);
  for (int i = 0; i < 3; ++i) pc.windows.Click(window);
  EXPECT_EQ(events.clicks, (std::vector<TCheckBoxState>{cbGrayed, cbChecked, cbUnchecked}));

  box->SetState(cbGrayed);
  box->SetAllowGrayed(false);
  events.clicks.clear();
  pc.windows.Click(window);
  EXPECT_EQ(events.clicks, std::vector<TCheckBoxState>{cbChecked}) << "grayed goes to checked";
  EXPECT_EQ(Check(), LRESULT{BST_CHECKED});

  box->SetEnabled(false);
  pc.windows.Click(window);
  EXPECT_TRUE(box->Checked()) << "a disabled box takes no clicks";
}

TEST_F(StdControls, ACheckBoxSetUpBeforeItsWindowHandsItEverything) {
  box->SetAlignment(taLeftJustify);
  box->SetState(cbGrayed);  // grayed without AllowGrayed: the window must be three-state to show it
  box->SetCaption("Pin 1");
  box->Font().SetName("Courier");
  box->Font().SetHeight(-9);
  box->SetBounds(16, 24, 120, 17);

  const sim::Window* window = pc.windows.Find(box->Handle());
  EXPECT_EQ(window->class_name, "BUTTON");
  EXPECT_EQ(window->style & (BS_TYPEMASK | BS_LEFTTEXT), BS_3STATE | BS_LEFTTEXT);
  EXPECT_TRUE(window->style & WS_TABSTOP);
  EXPECT_EQ(window->text, "Pin 1");
  EXPECT_EQ((std::vector<int>{window->x, window->y, window->width, window->height}),
            (std::vector<int>{16, 24, 120, 17}));
  EXPECT_EQ(Check(), LRESULT{BST_INDETERMINATE});
  const sim::SimGraphics::Font* font = pc.graphics.FindFont(window->font);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->face, "Courier");
  EXPECT_EQ(font->height, -9);

  box->SetChecked(true);
  EXPECT_EQ(StyleOf(box) & BS_TYPEMASK, BS_CHECKBOX) << "two states again once it leaves grayed";
  box->SetAlignment(taRightJustify);
  EXPECT_FALSE(StyleOf(box) & BS_LEFTTEXT);
}

TEST_F(StdControls, FontsFollowTheParentUntilAControlHasItsOwn) {
  form.Font().SetName("MS Sans Serif");
  form.Font().SetHeight(-11);
  EXPECT_EQ(box->Font().Name(), "MS Sans Serif");
  box->Font().SetName("Courier");
  EXPECT_FALSE(box->ParentFont());
  form.Font().SetHeight(-13);
  EXPECT_EQ(group->Font().Height(), -13);
  EXPECT_EQ(box->Font().Height(), -11) << "its own font stays";

  HWND window = box->Handle();
  box->Font().SetColor(clGreen);
  EXPECT_EQ(pc.graphics.FindFont(pc.windows.Find(window)->font)->face, "Courier") << "a new font reaches the window";
  box->SetParentFont(true);
  EXPECT_EQ(pc.graphics.FindFont(pc.windows.Find(window)->font)->height, -13);
}

TEST_F(StdControls, TextColoursComeFromTheControlThroughItsParent) {
  box->Font().SetColor(clGreen);
  TMemo* memo = new TMemo(&form);
  memo->SetParent(&form);
  form.Handle();

  const sim::SimWindows::Painted painted = pc.windows.Paint(box->Handle());
  EXPECT_EQ(painted.text, RGB(0, 128, 0));
  EXPECT_EQ(painted.back, win::GetSysColor(COLOR_BTNFACE)) << "the box takes the face colour of the form";
  EXPECT_EQ(painted.brush, win::GetSysColorBrush(COLOR_BTNFACE));

  group->Font().SetColor(clPurple);
  group->SetColor(clWhite);
  EXPECT_EQ(pc.windows.Paint(group->Handle()).text, RGB(128, 0, 128));
  const sim::SimWindows::Painted inside = pc.windows.Paint(box->Handle());
  EXPECT_EQ(inside.back, RGB(255, 255, 255)) << "the box follows its parent's colour";
  EXPECT_EQ(pc.graphics.BrushColor(inside.brush), RGB(255, 255, 255));

  const sim::SimWindows::Painted field = pc.windows.Paint(memo->Handle());
  EXPECT_EQ(field.back, win::GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(field.text, win::GetSysColor(COLOR_WINDOWTEXT));
}

TEST_F(StdControls, ButtonClicksRaiseOnClick) {
  auto* button = new TButton(&form);
  button->SetParent(&form);
  button->OnClick = TNotifyEvent::Of<&Events::Changed>(&events);
  form.Show();
  pc.windows.Click(button->Handle());
  win::SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  button->Click();
  EXPECT_EQ(events.changes, 3);
  pc.windows.Click(group->Handle());  // a group box is no button
  EXPECT_EQ(events.changes, 3);
}

class ComboBoxes : public StdControls {
 protected:
  ComboBoxes() {
    combo->SetParent(&form);
    combo->SetStyle(csDropDownList);
    combo->OnChange = TNotifyEvent::Of<&Events::Changed>(&events);
  }
  LRESULT Send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return win::SendMessageA(combo->Handle(), message, wparam, lparam);
  }

  TComboBox* combo = new TComboBox(&form);
  TObject one, two, three;
};

TEST_F(ComboBoxes, ItemsKeptBeforeTheWindowGoIntoItWhenItIsMade) {
  combo->Items().AddObject("LPT1", &one);
  combo->Items().AddObject("LPT2", &two);
  combo->Items().AddObject("LPT3", &three);
  combo->SetItemIndex(1);
  combo->Items().Delete(0);
  EXPECT_EQ(combo->ItemIndex(), 0) << "the selection moves with its entry";
  EXPECT_EQ(combo->Text(), "LPT2");
  EXPECT_FALSE(combo->HandleAllocated());

  form.Handle();
  ASSERT_TRUE(combo->HandleAllocated());
  EXPECT_EQ(Send(CB_GETCOUNT), 2);
  EXPECT_EQ(Send(CB_GETCURSEL), 0);
  EXPECT_EQ(Send(CB_GETITEMDATA, 1), reinterpret_cast<LRESULT>(&three));
  EXPECT_EQ(combo->Items().Strings(1), "LPT3");
  EXPECT_EQ(combo->Items().Objects(0), &two);
  EXPECT_EQ(combo->Text(), "LPT2");
  EXPECT_EQ(events.changes, 0);
}

TEST_F(ComboBoxes, ItemsAfterTheWindowLiveInItAndOutlastIt) {
  HWND window = combo->Handle();
  combo->Items().AddObject("LPT1", &one);
  combo->Items().AddObject("LPT2", &two);
  char text[16] = "";
  EXPECT_EQ(win::SendMessageA(window, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 4);
  EXPECT_STREQ(text, "LPT2");
  const std::string& first = combo->Items().Strings(0);
  const std::string& second = combo->Items().Strings(1);
  EXPECT_EQ(first + second, "LPT1LPT2") << "texts read one after another stay valid";
  EXPECT_THROW(combo->Items().Strings(2), EListError);
  EXPECT_THROW(combo->Items().Objects(-1), EListError);
  combo->SetItemIndex(1);

  // The form's window goes (closed from outside); the box keeps its entries and selection.
  win::DestroyWindow(form.Handle());
  EXPECT_FALSE(combo->HandleAllocated());
  EXPECT_EQ(combo->Items().Count(), 2);
  EXPECT_EQ(combo->Items().Objects(1), &two);
  EXPECT_EQ(combo->ItemIndex(), 1);
  combo->Handle();
  EXPECT_EQ(Send(CB_GETCOUNT), 2);
  EXPECT_EQ(combo->Text(), "LPT2");

  combo->Items().Clear();
  EXPECT_EQ(Send(CB_GETCOUNT), 0);
  EXPECT_EQ(combo->ItemIndex(), -1);
}

TEST_F(ComboBoxes, OnlyTheUsersChoiceIsAChange) {
  for (const char* name : {"LPT1", "LPT2", "LPT3"}) combo->Items().Add(name);
  HWND window = combo->Handle();
  combo->SetItemIndex(2);
  combo->SetText("LPT1");
  EXPECT_EQ(combo->ItemIndex(), 0) << "a drop-down list's text selects its entry";
  EXPECT_EQ(events.changes, 0);

  form.Show();
  pc.windows.Choose(window, 1);
  EXPECT_EQ(events.changes, 1);
  EXPECT_EQ(combo->ItemIndex(), 1);
  EXPECT_EQ(combo->Text(), "LPT2");
  pc.windows.Choose(window, 1);
  EXPECT_EQ(events.changes, 1) << "choosing the selected entry changes nothing";

  combo->SetItemIndex(7);
  EXPECT_EQ(combo->ItemIndex(), -1) << "an index out of range selects nothing";
}

TEST_F(ComboBoxes, TheWindowIsADropDownListTallEnoughForItsList) {
  combo->SetBounds(8, 8, 145, 21);
  combo->SetItemHeight(13);
  combo->SetDropDownCount(4);
  const sim::Window* window = pc.windows.Find(combo->Handle());
  EXPECT_EQ(window->style & 0x3, CBS_DROPDOWNLIST);
  EXPECT_EQ(window->height, 21 + 4 * 13 + 2);
  EXPECT_EQ(Send(CB_GETITEMHEIGHT), 13);

  combo->Items().Add("LPT1");
  combo->SetItemIndex(0);
  combo->SetStyle(csDropDown);  // a new window, with what the old one held
  EXPECT_EQ(pc.windows.Find(combo->Handle())->style & 0x3, CBS_DROPDOWN);
  EXPECT_EQ(combo->Items().Count(), 1);
  EXPECT_EQ(combo->ItemIndex(), 0);
  EXPECT_EQ(pc.windows.ChildrenOf(form.Handle()).back(), combo->Handle()) << "still last in tab order";
}

}  // namespace
}  // namespace fw

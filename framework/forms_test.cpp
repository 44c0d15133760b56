// Forms on the simulated PC: their own window class, the children made with them in tab
// order, scaling to the screen, closing, and the fonts and brushes they leave behind.
#include "framework/forms.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/stdctrls.h"
#include "sim/pc.h"

namespace fw {
namespace {

// A form that writes down the messages it sees and whether it had its window by then.
class LoggingForm : public TForm {
 public:
  using TForm::TForm;
  std::vector<std::string> log;

 protected:
  void WndProc(TMessage& message) override {
    if (message.Msg == WM_NCCREATE || message.Msg == WM_CREATE) {
      log.push_back(std::string(message.Msg == WM_NCCREATE ? "WM_NCCREATE" : "WM_CREATE") +
                    (HandleAllocated() ? " with window" : " without"));
    }
    TForm::WndProc(message);
  }
};

class Forms : public testing::Test {
 protected:
  std::vector<int> Bounds(HWND window) {
    const sim::Window* found = pc.windows.Find(window);
    return {found->x, found->y, found->width, found->height};
  }

  sim::InstalledPc pc;
};

TEST_F(Forms, AFormsWindowIsOfItsOwnClassAndReachesItFromTheFirstMessage) {
  LoggingForm form(nullptr);
  form.SetCaption("Pinscope");
  form.SetBounds(264, 156, 308, 409);
  HWND window = form.Handle();
  EXPECT_EQ(form.log, (std::vector<std::string>{"WM_NCCREATE with window", "WM_CREATE with window"}));
  const sim::Window* found = pc.windows.Find(window);
  EXPECT_EQ(found->class_name, "TPinscopeForm");
  EXPECT_EQ(found->text, "Pinscope");
  EXPECT_FALSE(found->style & (WS_CHILD | WS_VISIBLE)) << "a form comes up when shown";
  EXPECT_EQ(Bounds(window), (std::vector<int>{264, 156, 308, 409}));

  LoggingForm second(nullptr);
  second.Handle();  // the class is there already: registering it again is no failure
  EXPECT_EQ(pc.core.journal.Count("RegisterClassA"), 2u);

  form.Show();
  EXPECT_TRUE(pc.windows.IsShown(window));
  EXPECT_EQ(win::GetForegroundWindow(), window);
  form.Close();  // not the application's main form: only hidden
  EXPECT_FALSE(pc.windows.IsShown(window));
  EXPECT_TRUE(win::IsWindow(window));
}

// The icon is the program's when its image has one; a program without one still gets its
// window, with Windows' default icon.
TEST_F(Forms, AFormsClassCarriesTheProgramsIconWhenItHasOne) {
  for (const bool has_icon : {false, true}) {
    sim::InstalledPc fresh;
    if (has_icon) fresh.resources.Add(RT_GROUP_ICON, "MainIcon", {0, 0, 1, 0, 0, 0});
    TForm form(nullptr);
    EXPECT_NE(form.Handle(), nullptr);
    const HICON icon = fresh.windows.ClassIcon("TPinscopeForm");
    EXPECT_EQ(icon != nullptr, has_icon) << "with an icon resource: " << has_icon;
    if (has_icon) {
      EXPECT_EQ(icon, win::LoadIconA(win::GetModuleHandleA(nullptr), "MAINICON")) << "one handle per icon";
    }
  }
}

TEST_F(Forms, ChildrenAreMadeWithTheFormInTabOrder) {
  TForm form(nullptr);
  auto* group = new TGroupBox(&form);
  group->SetParent(&form);
  std::vector<TCheckBox*> boxes;
  for (int i = 0; i < 3; ++i) {
    boxes.push_back(new TCheckBox(&form));
    boxes.back()->SetParent(group);
  }
  boxes[2]->SetTabOrder(0);
  EXPECT_EQ(group->Controls(2), boxes[2]) << "controls stay in the order they came";
  EXPECT_EQ(boxes[0]->TabOrder(), 1);

  const size_t before = pc.windows.WindowCount();
  form.Handle();
  EXPECT_EQ(pc.windows.WindowCount(), before + 5);
  for (TCheckBox* box : boxes) EXPECT_TRUE(box->HandleAllocated());
  EXPECT_EQ(pc.windows.ChildrenOf(group->Handle()),
            (std::vector<HWND>{boxes[2]->Handle(), boxes[0]->Handle(), boxes[1]->Handle()}));
  EXPECT_TRUE(pc.windows.Find(group->Handle())->ex_style & WS_EX_CONTROLPARENT) << "Tab goes into the group";

  boxes[0]->SetTabOrder(2);  // windows follow a later change
  EXPECT_EQ(pc.windows.ChildrenOf(group->Handle()),
            (std::vector<HWND>{boxes[2]->Handle(), boxes[1]->Handle(), boxes[0]->Handle()}));

  // A control put into a form that has its window gets one at once.
  auto* late = new TButton(&form);
  late->SetParent(&form);
  EXPECT_TRUE(late->HandleAllocated());
}

TEST_F(Forms, AWindowDestroyedFromOutsideIsForgottenAndMadeAgain) {
  TForm form(nullptr);
  auto* box = new TCheckBox(&form);
  box->SetParent(&form);
  box->SetChecked(true);
  HWND window = form.Handle();
  win::DestroyWindow(window);
  EXPECT_FALSE(form.HandleAllocated());
  EXPECT_FALSE(box->HandleAllocated());
  form.Handle();
  EXPECT_EQ(win::SendMessageA(box->Handle(), BM_GETCHECK, 0, 0), LRESULT{BST_CHECKED});
}

TEST(ScaleSaturated, RoundsHalvesAwayFromZeroAndStopsAtTheLimits) {
  constexpr int kMax = 2147483647;
  struct Case {
    std::int64_t number;
    int numerator, denominator, expected;
  };
  for (const Case& c : std::vector<Case>{
           {-11, 120, 96, -14},
           {5, 3, 2, 8},
           {-5, 3, 2, -8},
           {7, -3, -2, 11},
           {7, 1, 0, 7},  // no scale
           {0x40000000, 4, 1, kMax},
           {std::int64_t{kMax} + kMax, 120, 96, kMax},  // an edge of two ints
           {-std::int64_t{kMax} - 1, 120, 96, -kMax},
           {kMax, -kMax - 1, 1, -kMax},
           {std::int64_t{1} << 40, 1, std::int32_t{1} << 30, 4},  // beyond two ints: taken as 2^32
       }) {
    EXPECT_EQ(ScaleSaturated(c.number, c.numerator, c.denominator), c.expected)
        << c.number << " * " << c.numerator << " / " << c.denominator;
  }
}

TEST_F(Forms, ScalingFromTheStoredResolutionToTheScreens) {
  for (const int dpi : {96, 120}) {
    pc.graphics.SetScreenDpi(dpi);
    TForm form(nullptr);
    form.SetBounds(264, 156, 308, 409);
    form.Font().SetHeight(-11);
    auto* box = new TCheckBox(&form);
    box->SetParent(&form);
    box->SetBounds(16, 24, 97, 17);
    box->Font().SetName("Courier");
    box->Font().SetHeight(-9);
    auto* follower = new TCheckBox(&form);
    follower->SetParent(&form);
    follower->SetBounds(113, 24, 97, 17);  // touching the first

    form.ScaleToScreen();
    EXPECT_EQ(form.PixelsPerInch(), dpi);
    if (dpi == 96) {
      EXPECT_EQ(Bounds(form.Handle()), (std::vector<int>{264, 156, 308, 409}));
      EXPECT_EQ(box->Font().Height(), -9);
      continue;
    }
    EXPECT_EQ(Bounds(form.Handle()), (std::vector<int>{330, 195, 385, 511}));
    EXPECT_EQ(Bounds(box->Handle()), (std::vector<int>{20, 30, 121, 21}));
    EXPECT_EQ(follower->Left(), box->Left() + box->Width()) << "edges that touched still touch";
    EXPECT_EQ(form.Font().Height(), -14);
    EXPECT_EQ(follower->Font().Height(), -14) << "the parent's font, scaled once";
    EXPECT_EQ(box->Font().Height(), -11);
    EXPECT_EQ(pc.graphics.FindFont(pc.windows.Find(box->Handle())->font)->height, -11);

    form.ScaleToScreen();
    EXPECT_EQ(box->Left(), 20) << "scaled once only";
  }
}

TEST_F(Forms, OnCloseMayKeepTheFormOpen) {
  struct Keeper {
    TCloseAction action;
    void Closing(TObject*, TCloseAction& action) { action = this->action; }
  } keeper{caNone};
  TForm form(nullptr);
  form.OnClose = TCloseEvent::Of<&Keeper::Closing>(&keeper);
  form.Show();
  win::SendMessageA(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(form.Visible());
  keeper.action = caHide;
  win::SendMessageA(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(pc.windows.QuitPosted()) << "only the main form ends the application";
}

TEST_F(Forms, ControlsMakeOneWindowsFontPerDescriptionBetweenThem) {
  TForm form(nullptr);
  std::vector<TCheckBox*> boxes;
  for (int i = 0; i < 4; ++i) {
    boxes.push_back(new TCheckBox(&form));
    boxes.back()->SetParent(&form);
  }
  for (TCheckBox* box : {boxes[2], boxes[3]}) box->Font().SetName("Courier");
  auto font_of = [&](TWinControl* control) { return pc.windows.Find(control->Handle())->font; };
  EXPECT_EQ(font_of(boxes[0]), font_of(boxes[1]));
  EXPECT_EQ(font_of(boxes[2]), font_of(boxes[3]));
  EXPECT_NE(font_of(boxes[2]), font_of(boxes[0]));
  EXPECT_EQ(pc.core.journal.Count("CreateFontA"), 2u) << "the form's own window takes the first too";

  boxes[3]->Font().SetHeight(-20);  // a font of its own now; the shared one stays for the other
  EXPECT_EQ(pc.graphics.FindFont(font_of(boxes[2]))->face, "Courier");
  EXPECT_EQ(pc.graphics.FindFont(font_of(boxes[3]))->height, -20);
  delete boxes[2];
  boxes[3]->Font().SetHeight(-11);  // made again: nobody held the first Courier any more
  EXPECT_EQ(pc.core.journal.Count("CreateFontA"), 4u);
}

TEST_F(Forms, FontsAndBrushesGoWithTheirControls) {
  {
    TForm form(nullptr);
    form.SetColor(clWhite);
    auto* box = new TCheckBox(&form);
    box->SetParent(&form);
    box->Font().SetName("Courier");
    box->SetColor(RGB(1, 2, 3));
    form.Show();
    pc.windows.Paint(box->Handle());
    HDC dc = win::GetDC(form.Handle());
    EXPECT_EQ(win::SendMessageA(form.Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    win::ReleaseDC(form.Handle(), dc);
    EXPECT_EQ(pc.core.journal.Count("FillRect"), 1u);
    box->Font().SetHeight(-20);  // the old font goes at once
    EXPECT_GE(pc.graphics.LiveObjects(), 4u);
  }
  EXPECT_EQ(pc.graphics.LiveObjects(), 0u);
  EXPECT_EQ(pc.graphics.OpenDcs(), 0u);
  EXPECT_EQ(pc.windows.WindowCount(), 0u);
}

}  // namespace
}  // namespace fw

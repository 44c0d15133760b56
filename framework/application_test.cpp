// The application's message loop on the simulated PC, driven by messages the test posts the
// way input and other programs would.
#include "framework/application.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/exception.h"
#include "framework/stdctrls.h"
#include "sim/pc.h"

namespace fw {
namespace {

// The pins of a small form: one box whose handler fails, one that works.
class PinForm : public TForm {
 public:
  PinForm(TComponent* owner, int* created) : TForm(owner), created_(created) {
    OnCreate = TNotifyEvent::Of<&PinForm::Created>(this);
    broken->SetParent(this);
    working->SetParent(this);
    broken->OnClick = TNotifyEvent::Of<&PinForm::BrokenClick>(this);
  }
  TCheckBox* broken = new TCheckBox(this);
  TCheckBox* working = new TCheckBox(this);

 private:
  void Created(TObject*) {
    if (created_) ++*created_;
  }
  void BrokenClick(TObject*) { throw Exception("Pin 2 cannot be set"); }
  int* created_;
};

class Loop : public testing::Test {
 protected:
  sim::InstalledPc pc;
  TApplication app;
};

TEST_F(Loop, TheFirstFormMadeIsTheMainFormAndRunEndsWhenItCloses) {
  int created = 0;
  app.Initialize();
  auto* main = app.CreateForm<PinForm>(&created);
  auto* other = app.CreateForm<PinForm>(nullptr);
  EXPECT_EQ(app.MainForm(), main);
  EXPECT_EQ(created, 1) << "OnCreate once the form is made";
  EXPECT_EQ(main->Owner(), &app);

  HWND window = main->Handle();
  win::PostMessageA(main->working->Handle(), BM_CLICK, 0, 0);
  win::PostMessageA(window, WM_CLOSE, 0, 0);
  app.Run();
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(pc.windows.IsShown(window)) << "Run showed the main form, and it stays until freed";
  EXPECT_TRUE(main->working->Checked()) << "what was posted before the close was handled";
  EXPECT_FALSE(other->Visible());
  EXPECT_EQ(pc.windows.Queued(), 0u);
}

TEST_F(Loop, AHandlerThatRaisesIsReportedAndTheLoopGoesOn) {
  auto* form = app.CreateForm<PinForm>(nullptr);
  form->Handle();
  win::PostMessageA(form->broken->Handle(), BM_CLICK, 0, 0);
  win::PostMessageA(form->working->Handle(), BM_CLICK, 0, 0);
  win::PostQuitMessage(0);
  app.Run();
  ASSERT_EQ(pc.windows.Boxes().size(), 1u);
  EXPECT_EQ(pc.windows.Boxes()[0].text, "Pin 2 cannot be set");
  EXPECT_EQ(pc.windows.Boxes()[0].owner, form->Handle()) << "the report belongs to the window in front";
  EXPECT_TRUE(form->broken->Checked()) << "the state moved before its handler failed";
  EXPECT_TRUE(form->working->Checked());
}

TEST_F(Loop, TheMainFormsWindowDestroyedSomeOtherWayEndsTheApplication) {
  auto* form = app.CreateForm<PinForm>(nullptr);
  auto* other = app.CreateForm<PinForm>(nullptr);
  other->Show();
  win::DestroyWindow(other->Handle());
  EXPECT_FALSE(pc.windows.QuitPosted()) << "only the main form's window ends it";
  form->Show();
  win::DestroyWindow(form->Handle());
  EXPECT_TRUE(pc.windows.QuitPosted());
}

TEST_F(Loop, AnExceptionFromOnCreateGoesToOnException) {
  struct Catcher {
    std::string seen;
    void Caught(TObject*, const std::exception& error) { seen += error.what(); }
    void Fails(TObject*) { throw Exception("no port"); }
  } catcher;
  app.OnException = TExceptionEvent::Of<&Catcher::Caught>(&catcher);
  app.CreateForm([&](TComponent* owner) {
    auto* form = new TForm(owner);
    form->OnCreate = TNotifyEvent::Of<&Catcher::Fails>(&catcher);
    return form;
  });
  EXPECT_EQ(catcher.seen, "no port");
  EXPECT_TRUE(pc.windows.Boxes().empty());

  delete app.MainForm();
  EXPECT_EQ(app.MainForm(), nullptr);
  app.Run();  // no main form: nothing to run
  EXPECT_FALSE(app.Terminated());
}

}  // namespace
}  // namespace fw

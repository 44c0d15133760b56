#include "framework/controls.h"

#include <gtest/gtest.h>

#include "framework/exception.h"
#include "testing/framework/raised.h"
#include "sim/pc.h"

namespace fw {
namespace {

class Window : public TWinControl {
 public:
  using TWinControl::TWinControl;

 protected:
  void CreateParams(TCreateParams& params) override { params.class_name = "STATIC"; }
};

// Keeps the characters it sees, raising on a chosen one, and hands the rest on.
struct Interceptor {
  TWinControl* control;
  TWndMethod previous;
  std::string seen;
  void Proc(TMessage& message) {
    if (message.Msg == WM_CHAR) {
      seen += static_cast<char>(message.WParam);
      if (message.WParam == '!') throw Exception("handler failed");
    }
    previous(message);
  }
};

class Controls : public testing::Test {
 protected:
  sim::InstalledPc pc;
  Window form{nullptr};
  TMemo* memo = new TMemo(&form);
  void SetUp() override { memo->SetParent(&form); }
};

TEST_F(Controls, WindowIsMadeLazilyUnderItsParent) {
  EXPECT_FALSE(memo->HandleAllocated());
  const size_t before = pc.windows.WindowCount();
  HWND window = memo->Handle();
  EXPECT_TRUE(memo->HandleAllocated());
  EXPECT_EQ(memo->Handle(), window);
  EXPECT_EQ(pc.windows.WindowCount(), before + 2);  // the parent came first
  EXPECT_EQ(pc.windows.ChildrenOf(form.Handle()), std::vector<HWND>{window});
  EXPECT_EQ(form.ControlCount(), 1);
  EXPECT_EQ(form.Controls(0), memo);
}

TEST_F(Controls, ReplacedWindowProcSeesMessagesFirstAndExceptionsStopAtTheWindow) {
  Interceptor interceptor{memo, memo->WindowProc, ""};
  memo->WindowProc = TWndMethod::Of<&Interceptor::Proc>(&interceptor);
  win::SendMessageA(memo->Handle(), WM_CHAR, 'h', 1);
  win::SendMessageA(memo->Handle(), WM_CHAR, '!', 1);  // raises inside the window procedure
  win::SendMessageA(memo->Handle(), WM_CHAR, 'i', 1);
  EXPECT_EQ(interceptor.seen, "h!i");
  EXPECT_EQ(memo->Text(), "hi");
  ASSERT_EQ(pc.windows.Boxes().size(), 1u);
  EXPECT_EQ(pc.windows.Boxes()[0].text, "handler failed");
  memo->WindowProc = interceptor.previous;
}

TEST_F(Controls, DestroyingAControlDestroysItsWindowAndLeavesItsParent) {
  HWND window = memo->Handle();
  delete memo;
  EXPECT_FALSE(win::IsWindow(window));
  EXPECT_EQ(form.ControlCount(), 0);
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST_F(Controls, ParentTakesItsChildControlsWithIt) {
  auto* panel = new Window(nullptr);
  auto* child = new TMemo(nullptr);
  child->SetParent(panel);
  HWND window = child->Handle();
  delete panel;
  EXPECT_FALSE(win::IsWindow(window));
}

TEST_F(Controls, ChildWithoutParentRaisesWhenItsWindowIsNeeded) {
  TMemo orphan(nullptr);
  orphan.SetName("Memo1");
  EXPECT_EQ(RaisedMessage<EInvalidOperation>([&] { orphan.Handle(); }), "Control 'Memo1' has no parent window");
}

TEST_F(Controls, RefusedWindowRaisesOSError) {
  pc.core.faults.Fail("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_THROW(memo->Handle(), EOSError);
  EXPECT_FALSE(memo->HandleAllocated());
}

}  // namespace
}  // namespace fw

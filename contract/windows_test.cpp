// The window messages the framework relies on: check boxes (their check state, and the
// BN_CLICKED a click sends the parent) and the combo box's list and selection.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "contract/pc_under_test.h"

namespace contract {
namespace {

/// The WM_COMMANDs a parent window was sent: (control id, notification code).
using Commands = std::vector<std::pair<WORD, WORD>>;

/// What a window of the test's class was sent. Its address is the window's creation
/// parameter, kept in GWLP_USERDATA from WM_NCCREATE on, as the framework keeps its controls.
struct Received {
  std::vector<UINT> messages;
  Commands commands;
  std::vector<HWND> senders;
};

LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    win::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* received = reinterpret_cast<Received*>(win::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (received) received->messages.push_back(message);
  if (message == WM_COMMAND && received) {
    received->commands.emplace_back(LOWORD(wparam), HIWORD(wparam));
    received->senders.push_back(reinterpret_cast<HWND>(lparam));
    return 0;
  }
  return win::DefWindowProcA(window, message, wparam, lparam);
}

/// A control's procedure put in front of its class's, as the framework subclasses them: it
/// counts what it is sent and hands it on to the procedure kept in GWLP_USERDATA.
int subclassed_messages = 0;
LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  ++subclassed_messages;
  const auto previous = reinterpret_cast<WNDPROC>(win::GetWindowLongPtrA(window, GWLP_USERDATA));
  return win::CallWindowProcA(previous, window, message, wparam, lparam);
}

template <class Pc>
class Windows : public OnPc<Pc> {
 protected:
  static constexpr WORD kId = 102;

  void SetUp() override {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = &ParentProcedure;
    window_class.hInstance = win::GetModuleHandleA(nullptr);
    window_class.lpszClassName = "PscontractParent";
    // A program's class stays registered until it ends: a second test in the same run finds it.
    ASSERT_TRUE(win::RegisterClassA(&window_class) || win::GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
        << win::GetLastError();
    parent = win::CreateWindowExA(0, "PscontractParent", "Contract", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                  nullptr, nullptr, window_class.hInstance, &received);
    ASSERT_NE(parent, nullptr) << win::GetLastError();
  }
  void TearDown() override {
    if (parent) win::DestroyWindow(parent);
  }

  HWND Child(const char* class_name, DWORD style, const char* text = "") {
    HWND child = win::CreateWindowExA(0, class_name, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 120, 100, parent,
                                      reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(kId)),
                                      win::GetModuleHandleA(nullptr), nullptr);
    return child;
  }
  LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return win::SendMessageA(window, message, wparam, lparam);
  }
  std::string TextOf(HWND window) {
    const auto length = static_cast<size_t>(Send(window, WM_GETTEXTLENGTH));
    std::string text(length + 1, '\0');
    text.resize(static_cast<size_t>(Send(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()))));
    return text;
  }

  HWND parent = nullptr;
  Received received;
};
TYPED_TEST_SUITE(Windows, PcsUnderTest, PcName);

// The framework's check boxes are not of the AUTO styles: the component keeps the state and
// the window shows what it is told.
TYPED_TEST(Windows, ACheckBoxShowsTheStateItIsSetToAndTellsItsParentOfAClickOnly) {
  const HWND box = this->Child("BUTTON", BS_CHECKBOX, "Pin 2");
  ASSERT_NE(box, nullptr) << win::GetLastError();
  EXPECT_EQ(this->Send(box, BM_GETCHECK), BST_UNCHECKED);
  this->Send(box, BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(this->Send(box, BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(this->received.commands, Commands{}) << "setting the state is no click";

  this->pc.Click(box);
  EXPECT_EQ(this->received.commands, (Commands{{TestFixture::kId, BN_CLICKED}}));
  EXPECT_EQ(this->received.senders, std::vector<HWND>{box});
  EXPECT_EQ(this->Send(box, BM_GETCHECK), BST_CHECKED) << "a plain check box does not change by itself";

  // Grayed needs a three-state box: the framework changes the style, then tells the button.
  const auto style = static_cast<DWORD>(win::GetWindowLongPtrA(box, GWL_STYLE));
  win::SetWindowLongPtrA(box, GWL_STYLE, static_cast<LONG>((style & ~BS_TYPEMASK) | BS_3STATE));
  this->Send(box, BM_SETSTYLE, BS_3STATE, TRUE);
  EXPECT_EQ(static_cast<DWORD>(win::GetWindowLongPtrA(box, GWL_STYLE)) & BS_TYPEMASK, DWORD{BS_3STATE});
  this->Send(box, BM_SETCHECK, BST_INDETERMINATE);
  EXPECT_EQ(this->Send(box, BM_GETCHECK), BST_INDETERMINATE);
}

TYPED_TEST(Windows, AComboBoxKeepsItsItemsWithTheirDataInTheOrderAdded) {
  const HWND combo = this->Child("COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL);
  ASSERT_NE(combo, nullptr);
  int data[3];
  const char* names[] = {"LPT2", "LPT1", "LPT10"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(this->Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i])), i) << "unsorted: appended";
    EXPECT_NE(this->Send(combo, CB_SETITEMDATA, i, reinterpret_cast<LPARAM>(&data[i])), CB_ERR);
  }
  EXPECT_EQ(this->Send(combo, CB_GETCOUNT), 3);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(this->Send(combo, CB_GETLBTEXTLEN, i), static_cast<LRESULT>(std::string(names[i]).size()));
    char text[16] = {};
    EXPECT_EQ(this->Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text)),
              static_cast<LRESULT>(std::string(names[i]).size()));
    EXPECT_STREQ(text, names[i]);
    EXPECT_EQ(this->Send(combo, CB_GETITEMDATA, i), reinterpret_cast<LRESULT>(&data[i])) << "the full pointer";
  }
  EXPECT_EQ(this->Send(combo, CB_GETLBTEXTLEN, 3), CB_ERR);
  EXPECT_EQ(this->Send(combo, CB_GETITEMDATA, 3), CB_ERR);

  EXPECT_EQ(this->Send(combo, CB_DELETESTRING, 0), 2) << "the items left";
  char text[16] = {};
  this->Send(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "LPT1");
  EXPECT_EQ(this->Send(combo, CB_DELETESTRING, 5), CB_ERR);
  this->Send(combo, CB_RESETCONTENT);
  EXPECT_EQ(this->Send(combo, CB_GETCOUNT), 0);
}

TYPED_TEST(Windows, AComboBoxSelectionIsItsTextAndIsSetWithoutTellingTheParent) {
  const HWND combo = this->Child("COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL);
  ASSERT_NE(combo, nullptr);
  for (const char* name : {"LPT1", "LPT2"}) this->Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  EXPECT_EQ(this->Send(combo, CB_GETCURSEL), CB_ERR) << "nothing chosen yet";
  EXPECT_EQ(this->TextOf(combo), "");

  EXPECT_EQ(this->Send(combo, CB_SETCURSEL, 1), 1);
  EXPECT_EQ(this->Send(combo, CB_GETCURSEL), 1);
  EXPECT_EQ(this->TextOf(combo), "LPT2");
  EXPECT_EQ(this->received.commands, Commands{}) << "only the user's choice is told";

  this->Send(combo, CB_SETCURSEL, 0);
  EXPECT_EQ(this->Send(combo, CB_SETCURSEL, static_cast<WPARAM>(-1)), CB_ERR);
  EXPECT_EQ(this->Send(combo, CB_GETCURSEL), CB_ERR) << "-1 clears the selection";
  EXPECT_EQ(this->TextOf(combo), "");
  this->Send(combo, CB_SETCURSEL, 1);
  this->Send(combo, CB_RESETCONTENT);
  EXPECT_EQ(this->Send(combo, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(this->TextOf(combo), "");
}

TYPED_TEST(Windows, AComboBoxSelectionOutOfRangeIsCleared) {
  // Wine's list box refuses the index and keeps the selection it had.
  if (this->pc.OnWine()) GTEST_SKIP() << "Wine keeps the selection on CB_SETCURSEL out of range";
  const HWND combo = this->Child("COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL);
  ASSERT_NE(combo, nullptr);
  for (const char* name : {"LPT1", "LPT2"}) this->Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  this->Send(combo, CB_SETCURSEL, 0);
  EXPECT_EQ(this->Send(combo, CB_SETCURSEL, 2), CB_ERR);
  EXPECT_EQ(this->Send(combo, CB_GETCURSEL), CB_ERR);
  EXPECT_EQ(this->TextOf(combo), "");
}

TYPED_TEST(Windows, AnEditableComboBoxHoldsTheTextItIsGiven) {
  const HWND combo = this->Child("COMBOBOX", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL);
  ASSERT_NE(combo, nullptr);
  this->Send(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("LPT1"));
  EXPECT_TRUE(this->Send(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("LPT9")));
  EXPECT_EQ(this->TextOf(combo), "LPT9");
  this->Send(combo, CB_SETCURSEL, 0);
  EXPECT_EQ(this->TextOf(combo), "LPT1");
}

TYPED_TEST(Windows, AClassIsRegisteredOnceAndAWindowOfNoClassIsNotMade) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = &ParentProcedure;
  window_class.hInstance = win::GetModuleHandleA(nullptr);
  window_class.lpszClassName = "PscontractParent";
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(win::RegisterClassA(&window_class), 0);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_CLASS_ALREADY_EXISTS}) << "got " << win::GetLastError();
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(this->Child("PscontractNoClass", 0), nullptr);
}

TYPED_TEST(Windows, AWindowOfNoClassIsRefusedForItsClass) {
  if (this->pc.OnWine())
    GTEST_SKIP() << "Wine says ERROR_CLASS_DOES_NOT_EXIST where Windows says ERROR_CANNOT_FIND_WND_CLASS";
  win::SetLastError(0xdeadbeef);
  EXPECT_EQ(this->Child("PscontractNoClass", 0), nullptr);
  EXPECT_EQ(win::GetLastError(), DWORD{ERROR_CANNOT_FIND_WND_CLASS}) << "got " << win::GetLastError();
}

TYPED_TEST(Windows, AWindowIsGivenItsCreationParameterAndHearsOfItsDestruction) {
  const auto& messages = this->received.messages;
  const auto created = std::find(messages.begin(), messages.end(), UINT{WM_NCCREATE});
  ASSERT_NE(created, messages.end()) << "no WM_NCCREATE with the creation parameter";
  EXPECT_NE(std::find(created, messages.end(), UINT{WM_CREATE}), messages.end()) << "WM_CREATE after WM_NCCREATE";

  const HWND box = this->Child("BUTTON", BS_CHECKBOX, "Pin 2");
  EXPECT_EQ(win::GetAncestor(box, GA_ROOT), this->parent);
  this->received.messages.clear();
  ASSERT_TRUE(win::DestroyWindow(this->parent));
  const HWND parent = std::exchange(this->parent, nullptr);
  EXPECT_FALSE(win::IsWindow(parent));
  EXPECT_FALSE(win::IsWindow(box)) << "children go with their parent";
  const auto destroyed = std::find(messages.begin(), messages.end(), UINT{WM_DESTROY});
  ASSERT_NE(destroyed, messages.end());
  EXPECT_NE(std::find(destroyed, messages.end(), UINT{WM_NCDESTROY}), messages.end());
  EXPECT_EQ(messages.back(), UINT{WM_NCDESTROY}) << "the last message a window gets";
}

TYPED_TEST(Windows, AControlSubclassedKeepsItsClassBehaviourThroughTheProcedureItReplaced) {
  const HWND box = this->Child("BUTTON", BS_CHECKBOX, "Pin 2");
  const LONG_PTR previous = win::SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProcedure));
  ASSERT_NE(previous, 0) << "the class's procedure";
  win::SetWindowLongPtrA(box, GWLP_USERDATA, previous);
  EXPECT_EQ(win::GetWindowLongPtrA(box, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SubclassProcedure));
  subclassed_messages = 0;
  this->Send(box, BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(this->Send(box, BM_GETCHECK), BST_CHECKED);
  EXPECT_GE(subclassed_messages, 2);
  EXPECT_EQ(win::SetWindowLongPtrA(box, GWLP_WNDPROC, previous), reinterpret_cast<LONG_PTR>(&SubclassProcedure));
}

TYPED_TEST(Windows, PostedMessagesAreTakenInTurnAndAQuitEndsTheLoop) {
  ASSERT_TRUE(win::PostMessageA(this->parent, WM_APP + 1, 7, 8));
  MSG message{};
  ASSERT_TRUE(win::PeekMessageA(&message, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE));
  EXPECT_EQ(message.hwnd, this->parent);
  EXPECT_EQ(message.wParam, WPARAM{7});
  EXPECT_EQ(message.lParam, LPARAM{8});
  EXPECT_FALSE(win::PeekMessageA(&message, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE)) << "taken once";
  this->received.messages.clear();
  win::DispatchMessageA(&message);
  EXPECT_EQ(this->received.messages, std::vector<UINT>{WM_APP + 1});

  win::PostQuitMessage(3);
  BOOL got = -1;
  for (int i = 0; i < 1000 && (got = win::GetMessageA(&message, nullptr, 0, 0)) > 0; ++i) win::DispatchMessageA(&message);
  EXPECT_EQ(got, 0) << "GetMessageA ends the loop with WM_QUIT";
  EXPECT_EQ(message.message, UINT{WM_QUIT});
  EXPECT_EQ(message.wParam, WPARAM{3});
}

}  // namespace
}  // namespace contract

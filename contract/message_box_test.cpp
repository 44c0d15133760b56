// Message boxes, as the error reports show them and wait for the user.
#include <string>

#include "contract/pc_under_test.h"

namespace contract {
namespace {

template <class Pc>
class MessageBoxes : public OnPc<Pc> {};
TYPED_TEST_SUITE(MessageBoxes, PcsUnderTest, PcName);

TYPED_TEST(MessageBoxes, AnErrorBoxShowsItsTextAndReturnsTheButtonPressed) {
  for (const UINT type : {UINT{MB_ICONERROR}, UINT{MB_OK | MB_ICONERROR}, UINT{MB_OK | MB_ICONERROR | MB_TASKMODAL}}) {
    this->pc.AnswerNextBox(IDOK);
    EXPECT_EQ(win::MessageBoxA(nullptr, "LPT1 open is failed.", "Error", type), IDOK) << "type 0x" << std::hex << type;
    const auto box = this->pc.AnsweredBox();
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "LPT1 open is failed.");
  }
}

}  // namespace
}  // namespace contract

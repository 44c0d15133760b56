// gdi32 as the framework uses it: fonts and brushes it makes and deletes, the screen's
// resolution it scales layouts to, the colours it sets on a device context, and the colours
// that DefWindowProc answers a control's WM_CTLCOLOR* question with, which the framework's
// controls fall back on.
#include "contract/pc_under_test.h"

namespace contract {
namespace {

template <class Pc>
class Graphics : public OnPc<Pc> {};
TYPED_TEST_SUITE(Graphics, PcsUnderTest, PcName);

TYPED_TEST(Graphics, FontsAndBrushesAreDeletedOnceAndSystemBrushesStay) {
  HFONT font = win::CreateFontA(-11, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Courier");
  HBRUSH brush = win::CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_NE(font, nullptr) << win::GetLastError();
  ASSERT_NE(brush, nullptr) << win::GetLastError();
  EXPECT_NE(static_cast<HGDIOBJ>(font), static_cast<HGDIOBJ>(brush));
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(font), static_cast<HGDIOBJ>(brush)}) {
    EXPECT_TRUE(win::DeleteObject(object));
    EXPECT_FALSE(win::DeleteObject(object)) << "a deleted object is gone";
  }

  HBRUSH face = win::GetSysColorBrush(COLOR_BTNFACE);
  ASSERT_NE(face, nullptr);
  EXPECT_NE(face, win::GetSysColorBrush(COLOR_WINDOW));
  EXPECT_TRUE(win::DeleteObject(face)) << "deleting a system brush does no harm";
  EXPECT_EQ(win::GetSysColorBrush(COLOR_BTNFACE), face) << "and leaves it there";
}

TYPED_TEST(Graphics, TheScreenHasOneResolutionBothWays) {
  HDC screen = win::GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  const int dpi = win::GetDeviceCaps(screen, LOGPIXELSY);
  EXPECT_GT(dpi, 0);
  EXPECT_EQ(win::GetDeviceCaps(screen, LOGPIXELSX), dpi);
  EXPECT_EQ(win::ReleaseDC(nullptr, screen), 1);
}

TYPED_TEST(Graphics, ADeviceContextStartsBlackOnWhiteAndGivesBackTheColourItHad) {
  HDC screen = win::GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(win::SetTextColor(screen, RGB(0, 128, 0)), RGB(0, 0, 0));
  EXPECT_EQ(win::SetTextColor(screen, RGB(1, 2, 3)), RGB(0, 128, 0));
  EXPECT_EQ(win::SetBkColor(screen, RGB(4, 5, 6)), RGB(255, 255, 255));
  EXPECT_EQ(win::SetBkColor(screen, RGB(7, 8, 9)), RGB(4, 5, 6));
  win::ReleaseDC(nullptr, screen);
}

// What a control is drawn with when its parent leaves the question to DefWindowProc: the
// window's text colour, on the window colour for text fields and lists, else on the button face.
TYPED_TEST(Graphics, DefWindowProcAnswersAControlsColourQuestionWithTheSystemColours) {
  HWND window = win::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                     win::GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr) << win::GetLastError();
  const struct {
    UINT message;
    int background;
  } cases[] = {{WM_CTLCOLORSTATIC, COLOR_BTNFACE},
               {WM_CTLCOLORBTN, COLOR_BTNFACE},
               {WM_CTLCOLOREDIT, COLOR_WINDOW},
               {WM_CTLCOLORLISTBOX, COLOR_WINDOW}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.message);
    HDC dc = win::GetDC(window);
    ASSERT_NE(dc, nullptr);
    win::SetTextColor(dc, RGB(1, 2, 3));
    win::SetBkColor(dc, RGB(4, 5, 6));
    const LRESULT brush =
        win::DefWindowProcA(window, each.message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), win::GetSysColorBrush(each.background));
    EXPECT_EQ(win::SetTextColor(dc, 0), win::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(win::SetBkColor(dc, 0), win::GetSysColor(each.background));
    win::ReleaseDC(window, dc);
  }
  win::DestroyWindow(window);
}

}  // namespace
}  // namespace contract

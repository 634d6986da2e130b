// The source list: item geometry and drawing, the path tooltip, opening the
// current item, Ctrl+A.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "forms/application.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/paths.h"

namespace {

class SourceListTest : public mvtest::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dir = mvtest::MakeScratchDir("list");
    StartApp();
  }
  // Appends images the way the load command does.
  void Add(int count, int bits = 24, const std::string& stem = "img") {
    for (int i = 0; i < count; ++i) {
      mv::test::BmpSpec recipe;
      recipe.bitCount = static_cast<std::uint16_t>(bits);
      const std::string path = dir + stem + std::to_string(next_) + ".bmp";
      ++next_;
      mvtest::WriteFileBytes(path, mv::test::BuildBmp(recipe));
      ASSERT_NE(mvtest::AddListedImage(path), nullptr);
    }
  }
  COLORREF ListPixel(int x, int y) {
    HDC dc = ::GetDC(frmMain->lstBefore->Handle());
    COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(frmMain->lstBefore->Handle(), dc);
    return c;
  }
  void SetCtrl(bool down) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
  }
  std::string dir;
  int next_ = 0;
};

// Names long enough that a tooltip cut short would show.
const std::string kLongStem(100, 'n');

}  // namespace

TEST_F(SourceListTest, ItemsAre20HighWithIconAndTextInPlace) {
  Add(1, 24);
  Add(1, 8);
  HWND list = frmMain->lstBefore->Handle();
  EXPECT_EQ(::SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 20);
  EXPECT_EQ(::SendMessageA(list, LB_GETITEMHEIGHT, 1, 0), 20);
  ::InvalidateRect(list, nullptr, TRUE);
  ::UpdateWindow(list);
  // The icon's black frame starts 2 pixels in; inside it is white and red.
  EXPECT_EQ(ListPixel(2, 2), RGB(0, 0, 0));
  EXPECT_EQ(ListPixel(17, 17), RGB(0, 0, 0));
  EXPECT_EQ(ListPixel(3, 3), RGB(255, 255, 255));
  EXPECT_NE(ListPixel(1, 1), RGB(0, 0, 0));  // outside the icon: background
  // Item 0 ("24") and item 1 ("8") draw different icons.
  bool differs = false;
  for (int y = 3; y < 17 && !differs; ++y)
    for (int x = 3; x < 17 && !differs; ++x) differs = ListPixel(x, y) != ListPixel(x, y + 20);
  EXPECT_TRUE(differs);
  // Text starts at x = 20: nothing drawn between the icon and there, ink after.
  const COLORREF bg = ListPixel(19, 10);
  bool ink = false;
  for (int x = 20; x < 60 && !ink; ++x)
    for (int y = 3; y < 17 && !ink; ++y) ink = ListPixel(x, y) != bg;
  EXPECT_TRUE(ink);
  for (int y = 0; y < 20; ++y) EXPECT_EQ(ListPixel(18, y), bg) << y;
}

TEST_F(SourceListTest, SelectedItemIsDrawnInHighlightColours) {
  Add(2);
  frmMain->lstBefore->SetSelected(1, true);
  ::UpdateWindow(frmMain->lstBefore->Handle());
  EXPECT_EQ(ListPixel(1, 30), ::GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(ListPixel(1, 10), ::GetSysColor(COLOR_WINDOW));
}

TEST_F(SourceListTest, TooltipShowsPathOfItemUnderPointerWhenScrolled) {
  Add(30, 24, kLongStem);
  frmMain->lstBefore->SetTopIndex(5);
  ASSERT_EQ(frmMain->lstBefore->TopIndex(), 5);
  // The third visible item is the eighth image.
  EXPECT_EQ(mvtest::TooltipShownAt(frmMain->lstBefore->Handle(), 30, 2 * 20 + 5), frmMain->BeforeImages[7]->WidePath);
  EXPECT_TRUE(frmMain->lstBefore->ShowHint());
}

TEST_F(SourceListTest, TooltipBelowLastItemKeepsLastPath) {
  Add(3, 24, kLongStem);
  EXPECT_EQ(mvtest::TooltipShownAt(frmMain->lstBefore->Handle(), 30, 25), frmMain->BeforeImages[1]->WidePath);
  EXPECT_EQ(mvtest::TooltipShownAt(frmMain->lstBefore->Handle(), 30, 300), frmMain->BeforeImages[1]->WidePath);
  EXPECT_TRUE(frmMain->lstBefore->ShowHint());
}

TEST_F(SourceListTest, ALongNameWithoutBreakPointsShowsWholeWithinTheScreen) {
  Add(1, 24, std::string(240, 'n'));
  RECT tip{};
  EXPECT_EQ(mvtest::TooltipShownAt(frmMain->lstBefore->Handle(), 30, 5, &tip), frmMain->BeforeImages[0]->WidePath);
  EXPECT_GE(tip.left, 0);
  EXPECT_LE(tip.right, ::GetSystemMetrics(SM_CXSCREEN));
}

TEST_F(SourceListTest, EmptyListSwitchesHintOff) {
  EXPECT_EQ(mvtest::TooltipShownAt(frmMain->lstBefore->Handle(), 30, 5), L"");
  EXPECT_FALSE(frmMain->lstBefore->ShowHint());
}

TEST_F(SourceListTest, EnterAndDoubleClickOpenTheCaretItem) {
  Add(4);
  frmMain->lstBefore->SetFocus();
  frmMain->lstBefore->SetItemIndex(2);
  ::PostMessageA(frmMain->lstBefore->Handle(), WM_KEYDOWN, VK_RETURN, 1);
  mvtest::Pump(50);
  EXPECT_TRUE(frmPreview->Showing());
  EXPECT_EQ(frmPreview->ImageIndex, 2);
  // A double-click below the last item opens the caret item too.
  frmMain->lstBefore->SetItemIndex(3);
  ::SendMessageA(frmMain->lstBefore->Handle(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(30, 300));
  EXPECT_TRUE(frmPreview->Showing());
  EXPECT_EQ(frmPreview->ImageIndex, 3);
  EXPECT_EQ(frmPreview->cmbPreview->ItemIndex(), 3);
}

TEST_F(SourceListTest, EnterOnEmptyListDoesNothing) {
  frmMain->lstBefore->SetFocus();
  ::PostMessageA(frmMain->lstBefore->Handle(), WM_KEYDOWN, VK_RETURN, 1);
  ::SendMessageA(frmMain->lstBefore->Handle(), WM_LBUTTONDBLCLK, 0, MAKELPARAM(30, 5));
  mvtest::Pump(50);
  EXPECT_FALSE(frmPreview->Showing());
}

TEST_F(SourceListTest, CtrlASelectsAllAndIsConsumed) {
  Add(5);
  frmMain->lstBefore->SetFocus();
  SetCtrl(true);
  ::PostMessageA(frmMain->lstBefore->Handle(), WM_KEYDOWN, 'A', 1);
  ::PostMessageA(frmMain->lstBefore->Handle(), WM_CHAR, 1, 1);  // what TranslateMessage would make
  mvtest::Pump(30);
  SetCtrl(false);
  EXPECT_EQ(frmMain->lstBefore->SelCount(), 5);
  // Plain A is a search letter for the list, not select-all.
  for (int i = 0; i < 5; ++i) frmMain->lstBefore->SetSelected(i, false);
  WORD key = 'A';
  frmMain->lstBeforeKeyDown(key, forms::ShiftState{});
  EXPECT_EQ(key, 'A');
  EXPECT_EQ(frmMain->lstBefore->SelCount(), 0);
  // Ctrl+A on an empty list: nothing to select, but the key is used up.
  frmMain->lstBefore->Clear();
  forms::ShiftState ctrl;
  ctrl.ctrl = true;
  key = 'A';
  frmMain->lstBeforeKeyDown(key, ctrl);
  EXPECT_EQ(key, 0);
}

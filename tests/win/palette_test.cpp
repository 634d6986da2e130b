// The palette viewer on real windows: the grid's pixels, the read-out under
// the mouse, and how it and the preview window drive each other.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "forms/application.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/import_patch.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/real_input.h"

namespace {

std::vector<std::uint32_t> Ramp(int n) {
  std::vector<std::uint32_t> p;
  for (int i = 0; i < n; ++i) {
    const std::uint32_t v = static_cast<std::uint32_t>(i * 255 / (n - 1));
    p.push_back(v << 16 | v << 8 | v);
  }
  return p;
}

// A table whose entries are all different and far from white and black.
std::vector<std::uint32_t> Distinct() {
  std::vector<std::uint32_t> p;
  for (std::uint32_t i = 0; i < 256; ++i) p.push_back(((i * 7 + 40) & 0xFF) << 16 | ((i * 13 + 60) & 0xFF) << 8 | (200 - i % 150));
  return p;
}

std::string Indexed(int bits, const std::vector<std::uint32_t>& palette, int w = 8, int h = 8) {
  mv::test::BmpSpec recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.bitCount = static_cast<std::uint16_t>(bits);
  recipe.palette = palette;
  return mv::test::BuildBmp(recipe);
}

std::string Rgb24(int w = 8, int h = 8) {
  mv::test::BmpSpec recipe;
  recipe.width = w;
  recipe.height = h;
  return mv::test::BuildBmp(recipe);
}

COLORREF Ref(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

class PaletteTest : public mvtest::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dir = mvtest::MakeScratchDir("palette");
    StartApp();
  }
  tag_BeforeImage* Add(const std::string& name, const std::string& bytes) {
    tag_BeforeImage* e = mvtest::AddListedBytes(dir, name, bytes);
    EXPECT_NE(e, nullptr) << name;
    return e;
  }
  void OpenPalette(int index) {
    frmPrePalette->ImageIndex = index;
    frmPrePalette->Hide();
    frmPrePalette->Show();
    mvtest::Pump();
  }
  COLORREF Pic(int x, int y) { return frmPrePalette->imgPalette->PicturePixel(x, y); }
  void Move(int x, int y) {
    // Over imgPalette, which starts 58 pixels down the window.
    ::SendMessageA(frmPrePalette->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y + 58));
  }
  std::string Readout() {
    return frmPrePalette->lblNo->Caption() + "|" + frmPrePalette->lblR->Caption() + "|" +
           frmPrePalette->lblG->Caption() + "|" + frmPrePalette->lblB->Caption();
  }
  std::string dir;
};

}  // namespace

TEST_F(PaletteTest, GridGeometryOfAnEightBitImage) {
  const auto table = Distinct();
  Add("d.bmp", Indexed(8, table));
  OpenPalette(0);
  EXPECT_FALSE(frmPrePalette->lblNoPalette->Visible());
  EXPECT_EQ(frmPrePalette->bmpPalette->Width(), 399);
  EXPECT_EQ(frmPrePalette->bmpPalette->Height(), 399);
  // Cell 0: outline at 0 and 23, interior 1..22 in the entry's colour.
  EXPECT_EQ(Pic(0, 10), RGB(0, 0, 0));
  EXPECT_EQ(Pic(23, 10), RGB(0, 0, 0));
  EXPECT_EQ(Pic(10, 0), RGB(0, 0, 0));
  EXPECT_EQ(Pic(1, 1), Ref(table[0]));
  EXPECT_EQ(Pic(22, 22), Ref(table[0]));
  EXPECT_EQ(Pic(24, 10), RGB(255, 255, 255));  // gap
  EXPECT_EQ(Pic(10, 24), RGB(255, 255, 255));
  // Cell 16 starts the second row at y = 25; cell 255 ends at 397 / 398.
  EXPECT_EQ(Pic(5, 25), RGB(0, 0, 0));
  EXPECT_EQ(Pic(5, 26), Ref(table[16]));
  EXPECT_EQ(Pic(397, 397), Ref(table[255]));
  EXPECT_EQ(Pic(398, 380), RGB(0, 0, 0));
  // Every cell's exact colour.
  for (int i = 0; i < 256; ++i) {
    const int x = 25 * (i % 16) + 11, y = 25 * (i / 16) + 11;
    ASSERT_EQ(Pic(x, y), Ref(table[static_cast<size_t>(i)])) << "cell " << i;
  }
  EXPECT_EQ(frmPrePalette->Caption(), "d.bmp 8bit");
  EXPECT_EQ(frmPrePalette->Icon(), frmMain->imglstBits->Icon(2));
}

TEST_F(PaletteTest, WindowLayoutAndCaptions) {
  HWND w = frmPrePalette->Handle();
  const SIZE client = frmPrePalette->ClientSize();
  EXPECT_EQ(client.cx, 399);
  EXPECT_EQ(client.cy, 457);
  const LONG style = ::GetWindowLongA(w, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  RECT top{};
  ::GetWindowRect(frmPrePalette->pnlTop->Handle(), &top);
  EXPECT_EQ(top.right - top.left, 399);
  EXPECT_EQ(top.bottom - top.top, 28);
  struct Place {
    const forms::GraphicControl* c;
    int left, top, width, height;
  } places[] = {{frmPrePalette->spbDec.get(), 260, 0, 53, 27},
                {frmPrePalette->spbHex.get(), 317, 0, 57, 27},
                {frmPrePalette->imgPalette.get(), 0, 58, 399, 399},
                {frmPrePalette->lblNoPalette.get(), 4, 192, 390, 35}};
  for (const Place& p : places) {
    EXPECT_EQ(p.c->Left(), p.left);
    EXPECT_EQ(p.c->Top(), p.top);
    EXPECT_EQ(p.c->Width(), p.width);
    EXPECT_EQ(p.c->Height(), p.height);
  }
  EXPECT_EQ(frmPrePalette->spbDec->Caption(), "１０進数");
  EXPECT_EQ(frmPrePalette->spbHex->Caption(), "１６進数");
  EXPECT_TRUE(frmPrePalette->spbDec->Down());
  const std::pair<const forms::Label*, const char*> labels[] = {
      {frmPrePalette->lblNumber.get(), "No."}, {frmPrePalette->lblRed.get(), "Ｒ："},
      {frmPrePalette->lblGreen.get(), "Ｇ："}, {frmPrePalette->lblBlue.get(), "Ｂ："}};
  const int lefts[] = {27, 120, 208, 296};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(labels[i].first->Caption(), labels[i].second);
    EXPECT_EQ(labels[i].first->Left(), lefts[i]);
  }
}

TEST_F(PaletteTest, WindowShowsTheGrid) {
  Add("g.bmp", Indexed(8, Ramp(256)));
  OpenPalette(0);
  ::RedrawWindow(frmPrePalette->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  mvtest::Capture cap = mvtest::CaptureClient(frmPrePalette->Handle());
  ASSERT_EQ(cap.width, 399);
  ASSERT_EQ(cap.height, 457);
  EXPECT_EQ(cap.at(0, 58 + 5), 0u);            // outline
  EXPECT_EQ(cap.at(5, 58 + 5), 0u);            // entry 0 is black
  EXPECT_EQ(cap.at(24, 58 + 5), 0xFFFFFFu);    // gap
  EXPECT_EQ(cap.at(397, 58 + 397), 0xFFFFFFu);  // entry 255 is white
  // Grey ramp: dark to light, left to right, row by row.
  unsigned last = 0;
  for (int i = 1; i < 256; ++i) {
    const unsigned v = cap.at(25 * (i % 16) + 11, 58 + 25 * (i / 16) + 11) & 0xFF;
    EXPECT_GT(v, last) << i;
    last = v;
  }
}

TEST_F(PaletteTest, TwentyFourBitImageShowsTheNotice) {
  Add("t.bmp", Rgb24());
  Add("e.bmp", Indexed(8, Ramp(256)));
  OpenPalette(0);
  EXPECT_TRUE(frmPrePalette->lblNoPalette->Visible());
  EXPECT_EQ(frmPrePalette->lblNoPalette->Caption(), "パレット情報はありません");
  EXPECT_EQ(Pic(11, 11), RGB(0, 0, 0));
  EXPECT_EQ(Pic(24, 24), RGB(0, 0, 0));
  Move(11, 11);
  EXPECT_EQ(Readout(), "|||");  // the read-out stays empty
  EXPECT_EQ(frmPrePalette->Caption(), "t.bmp 24bit");
  // Switching to an 8-bit image hides the notice and draws on white.
  frmPrePalette->ShowPalette(1);
  EXPECT_FALSE(frmPrePalette->lblNoPalette->Visible());
  EXPECT_EQ(Pic(24, 24), RGB(255, 255, 255));
}

// With real input, as a user goes: a double-click on the list opens the
// preview, one on the image opens the viewer, and the grid then reads out
// the cell under the pointer and takes the next click.
TEST_F(PaletteTest, AfterTheDoubleClicksTheRealPointerReachesTheGrid) {
  Add("a.bmp", Indexed(8, Distinct(), 64, 64));
  ::SetForegroundWindow(frmMain->Handle());
  RECT item{};
  ::SendMessageA(frmMain->lstBefore->Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
  mvtest::ClickAt(frmMain->lstBefore->Handle(), (item.left + item.right) / 2, (item.top + item.bottom) / 2, 2);
  ASSERT_TRUE(mvtest::PumpUntil([] { return frmPreview->Showing(); }, 3000)) << "the preview did not open";
  const RECT image = frmPreview->imgPreview->ClientRect();
  mvtest::ClickAt(frmPreview->Handle(), (image.left + image.right) / 2, (image.top + image.bottom) / 2, 2);
  ASSERT_TRUE(mvtest::PumpUntil([] { return frmPrePalette->Showing(); }, 3000)) << "the viewer did not open";
  const RECT grid = frmPrePalette->imgPalette->ClientRect();
  mvtest::PointerTo(frmPrePalette->Handle(), grid.left + 25 + 12, grid.top + 25 + 12);
  EXPECT_TRUE(mvtest::PumpUntil([] { return frmPrePalette->lblNo->Caption() == "17"; }, 2000))
      << "read-out: \"" << frmPrePalette->lblNo->Caption() << "\"";
  const RECT hex = frmPrePalette->spbHex->ClientRect();
  mvtest::ClickAt(frmPrePalette->pnlTop->Handle(), (hex.left + hex.right) / 2, (hex.top + hex.bottom) / 2);
  EXPECT_TRUE(mvtest::PumpUntil([] { return frmPrePalette->spbHex->Down(); }, 2000)) << "the first click was lost";
}

TEST_F(PaletteTest, TwoBitImageIsBlackAndReadsOutZeros) {
  Add("two.bmp", Indexed(2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
  OpenPalette(0);
  EXPECT_TRUE(frmPrePalette->lblNoPalette->Visible());
  Move(26, 1);
  EXPECT_EQ(Readout(), "1|0|0|0");
  Move(30, 200 - 58);  // under the notice, which takes no mouse
  EXPECT_EQ(Readout(), "81|0|0|0");
}

TEST_F(PaletteTest, FourBitImageShowsItsSixteenColoursInTheFirstRow) {
  const auto table = Distinct();
  std::vector<std::uint32_t> sixteen(table.begin(), table.begin() + 16);
  Add("x.bmp", Indexed(4, sixteen));
  OpenPalette(0);
  EXPECT_EQ(frmPrePalette->Caption(), "x.bmp 4bit");
  EXPECT_FALSE(frmPrePalette->lblNoPalette->Visible());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Pic(25 * i + 11, 11), Ref(sixteen[static_cast<size_t>(i)])) << i;
  EXPECT_EQ(Pic(11, 36), RGB(255, 255, 255));  // second row: background
  Move(25 * 15 + 5, 5);
  EXPECT_EQ(frmPrePalette->lblNo->Caption(), "15");
  Move(11, 36);  // no entry 16 in a 4-bit table: nothing changes
  EXPECT_EQ(frmPrePalette->lblNo->Caption(), "15");
}

TEST_F(PaletteTest, ReadoutPointsAndPlaces) {
  auto table = Ramp(256);
  table[0] = 0xFF0000;   // pure red
  table[1] = 0x0A05C8;   // red 10, green 5, blue 200
  table[100] = 0x636463;
  Add("r.bmp", Indexed(8, table));
  OpenPalette(0);
  EXPECT_EQ(Readout(), "|||");  // every switch empties the labels
  Move(0, 0);
  EXPECT_EQ(Readout(), "|||");  // outline
  Move(1, 1);
  EXPECT_EQ(Readout(), "0|255|0|0");
  EXPECT_EQ(frmPrePalette->lblNo->Left(), 100);
  EXPECT_EQ(frmPrePalette->lblR->Left(), 154);
  EXPECT_EQ(frmPrePalette->lblG->Left(), 273);
  EXPECT_EQ(frmPrePalette->lblB->Left(), 361);
  Move(23, 5);  // outline: no change
  EXPECT_EQ(Readout(), "0|255|0|0");
  Move(26, 1);
  EXPECT_EQ(Readout(), "1|10|5|200");
  EXPECT_EQ(frmPrePalette->lblR->Left(), 169);
  EXPECT_EQ(frmPrePalette->lblG->Left(), 273);
  EXPECT_EQ(frmPrePalette->lblB->Left(), 331);
  Move(1, 26);
  EXPECT_EQ(frmPrePalette->lblNo->Caption(), "16");
  EXPECT_EQ(frmPrePalette->lblNo->Left(), 85);
  Move(4 * 25 + 5, 6 * 25 + 5);
  EXPECT_EQ(Readout(), "100|99|100|99");
  EXPECT_EQ(frmPrePalette->lblNo->Left(), 70);
  EXPECT_EQ(frmPrePalette->lblR->Left(), 169);
  EXPECT_EQ(frmPrePalette->lblG->Left(), 243);
  Move(397, 397);
  EXPECT_EQ(frmPrePalette->lblNo->Caption(), "255");
  Move(398, 100);
  EXPECT_EQ(frmPrePalette->lblNo->Caption(), "255");
  // Beyond the picture while dragging (the pressed picture keeps the
  // mouse, so the move reaches it): ignored.
  ::SendMessageA(frmPrePalette->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(397, 397 + 58));
  ::SendMessageA(frmPrePalette->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(410, 5 + 58));
  EXPECT_EQ(frmPrePalette->lblNo->Caption(), "255");
  ::SendMessageA(frmPrePalette->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(410, 5 + 58));

  // Hexadecimal: pressing the button changes nothing until the next move.
  Move(1, 1);
  frmPrePalette->spbHex->Click();
  EXPECT_TRUE(frmPrePalette->spbHex->Down());
  EXPECT_FALSE(frmPrePalette->spbDec->Down());
  EXPECT_EQ(Readout(), "0|255|0|0");
  Move(2, 2);
  EXPECT_EQ(Readout(), "0|FF|00|00");
  EXPECT_EQ(frmPrePalette->lblR->Left(), 155);
  EXPECT_EQ(frmPrePalette->lblG->Left(), 243);
  EXPECT_EQ(frmPrePalette->lblB->Left(), 331);
  EXPECT_EQ(frmPrePalette->lblNo->Left(), 100);  // the index stays decimal
  Move(27, 2);
  EXPECT_EQ(Readout(), "1|0A|05|C8");
  frmPrePalette->spbHex->Click();  // pressing the button that is down leaves it down
  EXPECT_TRUE(frmPrePalette->spbHex->Down());
}

TEST_F(PaletteTest, KeysAndButtonsSwitchBothWindowsWithWrap) {
  for (int i = 0; i < 3; ++i) Add("k" + std::to_string(i) + ".bmp", Indexed(8, Ramp(256)));
  OpenPalette(2);
  ASSERT_FALSE(frmPreview->Showing());
  ::SendMessageA(frmPrePalette->Handle(), WM_CHAR, ' ', 1);
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
  EXPECT_EQ(frmPreview->ImageIndex, 0);  // even while the preview is hidden
  ::SendMessageA(frmPrePalette->Handle(), WM_CHAR, 'B', 1);
  EXPECT_EQ(frmPrePalette->ImageIndex, 2);
  EXPECT_EQ(frmPreview->ImageIndex, 2);
  frmPrePalette->spbDownClick();
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  EXPECT_EQ(frmPreview->cmbPreview->ItemIndex(), 0);
  frmPrePalette->spbUpClick();
  EXPECT_EQ(frmPrePalette->ImageIndex, 2);
  EXPECT_EQ(frmPreview->Caption(), "k2.bmp 8x8 8bit");
  EXPECT_FALSE(frmPreview->Showing());
  // Key preview: a space typed into the picker's list switches too.
  frmPrePalette->cmbPreview->SetFocus();
  ::PostMessageA(frmPrePalette->cmbPreview->Handle(), WM_CHAR, ' ', 1);
  mvtest::Pump(30);
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
}

TEST_F(PaletteTest, ListChoiceWithDuplicateNamesShowsFirstInBoth) {
  const std::string other = mvtest::MakeScratchDir("palette_other");
  Add("dup.bmp", Indexed(8, Ramp(256)));
  mvtest::AddListedBytes(other, "DUP.bmp", Rgb24());
  OpenPalette(0);
  frmPrePalette->cmbPreview->SetItemIndex(1);
  ::SendMessageA(frmPrePalette->Panel1->Handle(), WM_COMMAND,
                 MAKEWPARAM(frmPrePalette->cmbPreview->Id(), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(frmPrePalette->cmbPreview->Handle()));
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  EXPECT_EQ(frmPrePalette->Caption(), "dup.bmp 8bit");
}

TEST_F(PaletteTest, PluginImageGridIsWholeAndExact) {
  const std::string plugins = mvtest::MakeScratchDir("palette_plugins");
  ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + "mvt_good" MV_SPI_EXT).c_str(), (plugins + "mvt_good" MV_SPI_EXT).c_str(), FALSE));
  frmMain->SpiCtrl->PluginDir = plugins;
  frmMain->SpiCtrl->LoadPlugins();
  const auto table = Distinct();
  std::string rows;
  for (int y = 0; y < 100; ++y) rows += std::string(100, static_cast<char>(y));
  tag_BeforeImage* e = Add("p.mvt", mv::test::BuildMvt(100, 100, 8, table, rows));
  ASSERT_NE(e, nullptr);
  ASSERT_EQ(e->FormatIndex, 1);
  OpenPalette(0);
  EXPECT_EQ(frmPrePalette->bmpPalette->Width(), 399);
  for (int i = 0; i < 256; ++i) {
    const int x = 25 * (i % 16) + 11, y = 25 * (i / 16) + 11;
    ASSERT_EQ(Pic(x, y), Ref(table[static_cast<size_t>(i)])) << "cell " << i;
  }
}

TEST_F(PaletteTest, ShortTableReadsBlackBeyondItsEnd) {
  mv::test::BmpSpec recipe;
  recipe.width = 4;
  recipe.height = 4;
  recipe.bitCount = 8;
  recipe.palette = {0xFF0000, 0x00FF00, 0x0000FF};  // biClrUsed 3
  Add("short.bmp", mv::test::BuildBmp(recipe));
  OpenPalette(0);
  EXPECT_EQ(Pic(11, 11), RGB(255, 0, 0));
  EXPECT_EQ(Pic(25 * 2 + 11, 11), RGB(0, 0, 255));
  EXPECT_EQ(Pic(25 * 3 + 11, 11), RGB(0, 0, 0));
  EXPECT_EQ(Pic(25 * 15 + 11, 25 * 15 + 11), RGB(0, 0, 0));
}

TEST_F(PaletteTest, OutOfRangeIndexLeavesWindowAsItWas) {
  Add("a.bmp", Indexed(8, Ramp(256)));
  OpenPalette(0);
  frmPrePalette->ShowPalette(5);
  frmPrePalette->ShowPalette(-1);
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
  EXPECT_EQ(frmPrePalette->Caption(), "a.bmp 8bit");
}

TEST_F(PaletteTest, RefreshTimerDoesNothingOnATrueColourDisplay) {
  HDC screen = ::GetDC(nullptr);
  const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
  ::ReleaseDC(nullptr, screen);
  ASSERT_GT(bits, 8) << "this test runs on a true-colour display";
  Add("a.bmp", Indexed(8, Ramp(256)));
  OpenPalette(0);
  frmPrePalette->tmrRefreshTimer();
  EXPECT_EQ(frmPrePalette->RefreshCount(), 0);
  EXPECT_TRUE(frmPrePalette->tmrRefresh.Enabled());
  EXPECT_EQ(frmPrePalette->tmrRefresh.Interval(), 1000u);
}

// On a display with a palette the grid's exact colours come only through the
// image's palette realised in the viewer's own paint: watched at the
// program's import of SelectPalette, since this display has none.
using SelectPaletteFn = HPALETTE(WINAPI*)(HDC, HPALETTE, BOOL);
SelectPaletteFn g_select = nullptr;
HPALETTE g_foreground_in_viewer = nullptr;
int g_dead_palettes = 0;
HPALETTE WINAPI WatchSelect(HDC dc, HPALETTE pal, BOOL background) {
  if (!background && frmPrePalette && ::WindowFromDC(dc) == frmPrePalette->Handle()) g_foreground_in_viewer = pal;
  if (pal && ::GetObjectType(pal) != OBJ_PAL) ++g_dead_palettes;
  return g_select(dc, pal, background);
}

TEST_F(PaletteTest, GridIsPaintedThroughTheImagePalette) {
  const tag_BeforeImage* image = Add("d.bmp", Indexed(8, Distinct()));
  ASSERT_TRUE(image && image->Palette);
  g_foreground_in_viewer = nullptr;
  {
    mvtest::ScopedImportPatch watch("gdi32.dll", "SelectPalette", reinterpret_cast<void*>(&WatchSelect));
    ASSERT_TRUE(watch.ok());
    g_select = watch.Original<SelectPaletteFn>();
    OpenPalette(0);
    ::RedrawWindow(frmPrePalette->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  EXPECT_EQ(g_foreground_in_viewer, image->Palette.get());
}

// Closing the program hides the viewer before the records go: nothing it
// paints afterwards can select a palette that went with them.
TEST_F(PaletteTest, ClosingHidesTheViewerBeforeTheRecordsGo) {
  Add("d.bmp", Indexed(8, Distinct()));
  OpenPalette(0);
  g_dead_palettes = 0;
  {
    mvtest::ScopedImportPatch watch("gdi32.dll", "SelectPalette", reinterpret_cast<void*>(&WatchSelect));
    ASSERT_TRUE(watch.ok());
    g_select = watch.Original<SelectPaletteFn>();
    ::SendMessageA(frmMain->Handle(), WM_CLOSE, 0, 0);
    ::RedrawWindow(frmPrePalette->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  EXPECT_FALSE(frmPrePalette->Showing());
  EXPECT_EQ(g_dead_palettes, 0);
}

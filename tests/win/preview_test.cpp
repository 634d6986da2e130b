// The preview window on real windows: fitting, black margins, scroll bars
// coming back, caption and icon, keys, the picker strip, the picker.
#include <windows.h>

#include <cstdlib>
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

namespace {

// A 24-bit image of one colour (0xRRGGBB) with a distinct top-left pixel.
std::string Solid24(int w, int h, std::uint32_t rgb) {
  mv::test::BmpSpec recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.bitCount = 24;
  std::vector<std::vector<std::uint32_t>> rows(static_cast<size_t>(h), std::vector<std::uint32_t>(static_cast<size_t>(w), rgb));
  rows.back()[0] = 0x0000FF;  // rows are stored bottom-up: the last row is the top
  recipe.pixels = mv::test::PackRows(rows, 24);
  return mv::test::BuildBmp(recipe);
}

unsigned Rgb(std::uint32_t rgb) { return rgb & 0xFFFFFF; }

class PreviewTest : public mvtest::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dir = mvtest::MakeScratchDir("preview");
    StartApp();
  }
  tag_BeforeImage* Add(const std::string& name, const std::string& bytes) {
    tag_BeforeImage* e = mvtest::AddListedBytes(dir, name, bytes);
    EXPECT_NE(e, nullptr) << name;
    return e;
  }
  // Opens the preview on an image the way the source list does.
  void Open(int index) {
    frmPreview->ImageIndex = index;
    frmPreview->Hide();
    frmPreview->Show();
    mvtest::Pump();
  }
  // The bars come back 100 ms after an image change; a slow machine may
  // take longer to get there.
  void WaitForBars() {
    mvtest::PumpUntil([] { return frmPreview->AutoScroll(); }, 5000);
    mvtest::Pump();
  }
  // Whether the 100 ms hand-over can still be pending (a slow machine may
  // have spent it already, and then that check says nothing).
  bool StillHeld() const { return !frmPreview->AutoScroll(); }
  SIZE Client() { return frmPreview->ClientSize(); }
  // Puts the MVT fixture plug-in in use, so that plug-in images load.
  void UseMvtPlugin() {
    const std::string plugins = mvtest::MakeScratchDir("preview_plugins");
    ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + "mvt_good" MV_SPI_EXT).c_str(),
                            (plugins + "mvt_good" MV_SPI_EXT).c_str(), FALSE));
    frmMain->SpiCtrl->PluginDir = plugins;
    frmMain->SpiCtrl->LoadPlugins();
  }
  bool HasBar(int bar) {
    SCROLLBARINFO sbi{sizeof(sbi)};
    ::GetScrollBarInfo(frmPreview->Handle(), bar == SB_HORZ ? OBJID_HSCROLL : OBJID_VSCROLL, &sbi);
    return !(sbi.rgstate[0] & STATE_SYSTEM_INVISIBLE);
  }
  void Char(char c) { ::SendMessageA(frmPreview->Handle(), WM_CHAR, static_cast<unsigned char>(c), 1); }
  void Key(WORD vk) { ::SendMessageA(frmPreview->Handle(), WM_KEYDOWN, vk, 1); }
  std::string dir;
};

}  // namespace

TEST_F(PreviewTest, ClientSizesFollowTheImage) {
  const int vs = ::GetSystemMetrics(SM_CXVSCROLL), hs = ::GetSystemMetrics(SM_CYHSCROLL);
  struct Case {
    int w, h, cw, ch;
    bool hbar, vbar;
  } cases[] = {
      {100, 50, 240, 180, false, false},   {800, 300, 640, 300 + hs, true, false},
      {300, 1000, 300 + vs, 480, false, true}, {100, 1000, 240 + vs, 480, false, true},
      {1000, 1000, 640, 480, true, true},  {640, 1000, 640, 480, true, true},
      {640, 480, 640, 480, false, false},
  };
  int index = 0;
  for (const Case& c : cases) {
    Add("fit" + std::to_string(index) + ".bmp", Solid24(c.w, c.h, 0xFFFFFF));
    Open(index++);
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    EXPECT_EQ(Client().cx, c.cw);
    EXPECT_EQ(Client().cy, c.ch);
    // Held for the first 100 ms: checked before any message can end it.
    frmPreview->ShowImage(index - 1);
    EXPECT_TRUE(StillHeld());
    EXPECT_FALSE(HasBar(SB_HORZ));
    EXPECT_FALSE(HasBar(SB_VERT));
    WaitForBars();
    EXPECT_EQ(HasBar(SB_HORZ), c.hbar);
    EXPECT_EQ(HasBar(SB_VERT), c.vbar);
    // The room left for the one bar that came back keeps the other
    // dimension whole.
    if (c.hbar && !c.vbar) {
      EXPECT_EQ(Client().cy, c.ch - hs);
    }
    if (c.vbar && !c.hbar) {
      EXPECT_EQ(Client().cx, c.cw - vs);
    }
  }
}

TEST_F(PreviewTest, SmallImageSitsTopLeftWithBlackAround) {
  Add("small.bmp", Solid24(100, 50, 0x00FF00));
  Open(0);
  WaitForBars();
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  ASSERT_EQ(cap.width, 240);
  ASSERT_EQ(cap.height, 180);
  EXPECT_EQ(cap.at(0, 0), Rgb(0x0000FF));
  EXPECT_EQ(cap.at(99, 49), Rgb(0x00FF00));
  EXPECT_EQ(cap.at(50, 30), Rgb(0x00FF00));
  EXPECT_EQ(cap.at(100, 10), 0u);   // right of the image
  EXPECT_EQ(cap.at(239, 179), 0u);
  EXPECT_EQ(cap.at(10, 50), 0u);    // below it
  EXPECT_EQ(cap.at(99, 50), 0u);
}

TEST_F(PreviewTest, CaptionAndIcon) {
  Add("a.bmp", Solid24(10, 20, 0xFFFFFF));
  mv::test::BmpSpec recipe;
  recipe.width = 7;
  recipe.height = -5;  // top-down
  recipe.bitCount = 8;
  Add("td.bmp", mv::test::BuildBmp(recipe));
  Open(0);
  EXPECT_EQ(frmPreview->Caption(), "a.bmp 10x20 24bit");
  EXPECT_EQ(frmPreview->Icon(), frmMain->imglstBits->Icon(4));
  EXPECT_EQ(frmPreview->cmbPreview->ItemIndex(), 0);
  frmPreview->ShowImage(1);
  EXPECT_EQ(frmPreview->Caption(), "td.bmp 7x-5 8bit");
  EXPECT_EQ(frmPreview->Icon(), frmMain->imglstBits->Icon(2));
  EXPECT_EQ(frmPreview->imgPreview->Height(), 5);
  EXPECT_EQ(frmPreview->ImageIndex, 1);
  // An index outside the entries leaves the window as it was.
  frmPreview->ShowImage(2);
  frmPreview->ShowImage(-1);
  EXPECT_EQ(frmPreview->ImageIndex, 1);
  EXPECT_EQ(frmPreview->Caption(), "td.bmp 7x-5 8bit");
}

TEST_F(PreviewTest, TopDownImageShowsUpright) {
  mv::test::BmpSpec recipe;
  recipe.width = 3;
  recipe.height = -2;
  recipe.bitCount = 24;
  recipe.pixels = mv::test::PackRows({{0xFF0000, 0xFF0000, 0xFF0000}, {0x0000FF, 0x0000FF, 0x0000FF}}, 24);
  Add("td24.bmp", mv::test::BuildBmp(recipe));
  Open(0);
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  EXPECT_EQ(cap.at(1, 0), Rgb(0xFF0000));  // the file's first row is the top
  EXPECT_EQ(cap.at(1, 1), Rgb(0x0000FF));
  EXPECT_EQ(cap.at(1, 2), 0u);
}

TEST_F(PreviewTest, EightBitImageShowsItsColourTable) {
  mv::test::BmpSpec recipe;
  recipe.width = 4;
  recipe.height = 1;
  recipe.bitCount = 8;
  recipe.palette = {0x102030, 0xA0B0C0, 0xFF8000, 0x00FF80};
  recipe.pixels = mv::test::PackRows({{3, 2, 1, 0}}, 8);
  Add("pal.bmp", mv::test::BuildBmp(recipe));
  Open(0);
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  EXPECT_EQ(cap.at(0, 0), Rgb(0x00FF80));
  EXPECT_EQ(cap.at(1, 0), Rgb(0xFF8000));
  EXPECT_EQ(cap.at(2, 0), Rgb(0xA0B0C0));
  EXPECT_EQ(cap.at(3, 0), Rgb(0x102030));
}

TEST_F(PreviewTest, PluginImageShowsItsPixelsThroughItsPalette) {
  ASSERT_NO_FATAL_FAILURE(UseMvtPlugin());
  std::vector<std::uint32_t> palette(256, 0);
  palette[0] = 0x102030, palette[1] = 0xC08040, palette[2] = 0x00FF80, palette[3] = 0xFFFFFF;
  std::string rows;
  for (int y = 0; y < 20; ++y) rows += std::string("\x00\x01\x02\x03\x00\x01\x02\x03\x00\x01", 10) + std::string(2, '\0');
  Add("a.mvt", mv::test::BuildMvt(10, 20, 8, palette, rows));
  Open(0);
  EXPECT_EQ(frmPreview->Caption(), "a.mvt 10x20 8bit");
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(cap.at(x, 0), Rgb(palette[static_cast<size_t>(x)])) << x;
    EXPECT_EQ(cap.at(x, 19), Rgb(palette[static_cast<size_t>(x)])) << x;
  }
}

TEST_F(PreviewTest, RowsAFileLacksAreBlackAfterAnotherImage) {
  Add("white.bmp", Solid24(8, 8, 0xFFFFFF));
  // Bottom-up and cut after four rows: the top four are missing.
  mv::test::BmpSpec green;
  green.width = green.height = 8;
  green.pixels = mv::test::PackRows(std::vector<std::vector<std::uint32_t>>(8, std::vector<std::uint32_t>(8, 0x00FF00)), 24);
  std::string cut = mv::test::BuildBmp(green);
  cut.resize(cut.size() - 4 * 24);
  Add("short.bmp", cut);
  // Indexed, with no row at all: black, not colour table entry 0 (red).
  mv::test::BmpSpec none;
  none.width = none.height = 8;
  none.bitCount = 8;
  none.palette = {0xFF0000, 0x00FF00};
  std::string empty = mv::test::BuildBmp(none);
  empty.resize(empty.size() - 8 * 8);
  Add("none.bmp", empty);
  for (int shown : {1, 2}) {
    SCOPED_TRACE(shown);
    Open(0);
    ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    frmPreview->ShowImage(shown);
    ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
    for (int y : {0, 3}) EXPECT_EQ(cap.at(2, y), 0u) << "row " << y;
    EXPECT_EQ(cap.at(2, 6), shown == 1 ? Rgb(0x00FF00) : 0u);
  }
}

// Every palette the preview selects is alive when it is selected: watched
// at the program's own import of SelectPalette.
using SelectPaletteFn = HPALETTE(WINAPI*)(HDC, HPALETTE, BOOL);
SelectPaletteFn g_select_palette = nullptr;
int g_dead_palettes = 0;
HPALETTE WINAPI CheckedSelectPalette(HDC dc, HPALETTE pal, BOOL background) {
  if (pal && ::GetObjectType(pal) != OBJ_PAL) ++g_dead_palettes;
  return g_select_palette(dc, pal, background);
}

TEST_F(PreviewTest, PluginImageOfEightBitsSelectsNoReleasedPalette) {
  ASSERT_NO_FATAL_FAILURE(UseMvtPlugin());
  Add("a.mvt", mv::test::BuildMvt(4, 2, 8, {0x102030, 0xC08040}, std::string(8, '\x01')));
  g_dead_palettes = 0;
  {
    mvtest::ScopedImportPatch watch("gdi32.dll", "SelectPalette", reinterpret_cast<void*>(&CheckedSelectPalette));
    ASSERT_TRUE(watch.ok());
    g_select_palette = watch.Original<SelectPaletteFn>();
    Open(0);
    ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
  EXPECT_EQ(g_dead_palettes, 0);
  EXPECT_EQ(frmPreview->Caption(), "a.mvt 4x2 8bit");
}

HBITMAP WINAPI NoSection(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD) { return nullptr; }

// A picture whose pixels cannot be had: the window switches whole and shows
// it black under its own caption and size.
TEST_F(PreviewTest, PictureWithoutMemoryShowsBlackUnderItsCaption) {
  Add("white.bmp", Solid24(300, 200, 0xFFFFFF));
  mv::test::BmpSpec two;  // 2 bits per pixel: expanded before GDI can draw it
  two.width = 50;
  two.height = 40;
  two.bitCount = 2;
  two.palette = {0x00FF00, 0x00FF00, 0x00FF00, 0x00FF00};
  Add("two.bmp", mv::test::BuildBmp(two));
  Open(0);
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  {
    mvtest::ScopedImportPatch no_memory("gdi32.dll", "CreateDIBSection", reinterpret_cast<void*>(&NoSection));
    ASSERT_TRUE(no_memory.ok());
    frmPreview->ShowImage(1);
    ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
  EXPECT_EQ(frmPreview->Caption(), "two.bmp 50x40 2bit");
  EXPECT_EQ(frmPreview->imgPreview->Width(), 50);
  EXPECT_EQ(frmPreview->imgPreview->Height(), 40);
  EXPECT_EQ(Client().cx, 240);
  EXPECT_EQ(Client().cy, 180);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  EXPECT_EQ(cap.at(10, 10), 0u);    // the picture
  EXPECT_EQ(cap.at(200, 150), 0u);  // the margin, where the white image was
}

// A picture GDI cannot draw as stored (2 bits per pixel) is rendered only
// where the window shows it, also when scrolled; nothing is rendered into a
// hidden window, and nothing of the image stays once it hides or goes.
TEST_F(PreviewTest, ExpandedPictureCostsTheViewAndIsGivenBack) {
  constexpr int w = 2000, h = 1500, stride = w / 4;
  const std::uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  auto index = [](int x, int y) { return (x / 100 + 3 * (y / 100)) % 4; };  // y from the top
  mv::test::BmpSpec two;
  two.width = w;
  two.height = h;
  two.bitCount = 2;
  two.palette.assign(colours, colours + 4);
  for (int y = h - 1; y >= 0; --y)  // bottom-up, four pixels a byte
    for (int b = 0; b < stride; ++b) two.pixels.push_back(static_cast<std::uint8_t>(0x55 * index(4 * b, y)));
  Add("two.bmp", mv::test::BuildBmp(two));
  Open(0);
  WaitForBars();
  for (int i = 0; i < 9; ++i) {
    Char('j');
    Char('k');
  }
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const int hpos = frmPreview->HorzPosition(), vpos = frmPreview->VertPosition();
  ASSERT_GT(hpos, 0);
  ASSERT_GT(vpos, 0);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  for (int y = 30; y < cap.height; y += 37)
    for (int x = 0; x < cap.width; x += 41)
      ASSERT_EQ(cap.at(x, y), colours[index(x + hpos, y + vpos)]) << x << "," << y;
  // No larger than the client area has been (640 x 480 before the bars came).
  EXPECT_LE(frmPreview->bmpPreview->Width(), 640);
  EXPECT_LE(frmPreview->bmpPreview->Height(), 480);
  frmPreview->Hide();
  EXPECT_TRUE(frmPreview->bmpPreview->Empty());
  // The palette viewer switches the hidden preview.
  frmPrePalette->Show();
  frmPrePalette->spbDownClick();
  mvtest::Pump();
  ASSERT_TRUE(frmPreview->HoldsImage());
  EXPECT_TRUE(frmPreview->bmpPreview->Empty());
  frmMain->lstBefore->SetSelected(0, true);
  boxes.Answer({IDYES});
  frmMain->RemoveSelectedImages();
  EXPECT_FALSE(frmPreview->HoldsImage());
}

TEST_F(PreviewTest, SwitchKeepsTheMaximisedSizeAndSetsTheRestoredOne) {
  Add("big.bmp", Solid24(2000, 1500, 0xFFFFFF));
  Add("small.bmp", Solid24(50, 50, 0xFFFFFF));
  Open(0);
  Key(VK_RETURN);
  mvtest::Pump(50);
  ASSERT_EQ(frmPreview->State(), forms::WindowState::Maximized);
  // The window, not its client area: the scroll bars come and go with the
  // images and the 100 ms timer.
  RECT max_window{};
  ::GetWindowRect(frmPreview->Handle(), &max_window);
  WaitForBars();
  Char('j');
  EXPECT_GT(frmPreview->VertPosition(), 0);
  frmPreview->ShowImage(1);
  EXPECT_EQ(frmPreview->VertPosition(), 0);
  EXPECT_EQ(frmPreview->HorzPosition(), 0);
  EXPECT_EQ(frmPreview->State(), forms::WindowState::Maximized);
  RECT window{};
  ::GetWindowRect(frmPreview->Handle(), &window);
  EXPECT_EQ(window.right - window.left, max_window.right - max_window.left);
  EXPECT_EQ(window.bottom - window.top, max_window.bottom - max_window.top);
  Key(VK_RETURN);
  mvtest::Pump(50);
  EXPECT_EQ(frmPreview->State(), forms::WindowState::Normal);

  // Minimised, a switch sets the size the window restores to.
  Add("c.bmp", Solid24(300, 200, 0xFFFFFF));
  Add("d.bmp", Solid24(500, 400, 0xFFFFFF));
  frmPreview->ShowImage(2);
  frmPreview->SetState(forms::WindowState::Minimized);
  mvtest::Pump(50);
  frmPreview->ShowImage(3);
  WaitForBars();
  frmPreview->SetState(forms::WindowState::Normal);
  mvtest::Pump(50);
  EXPECT_EQ(Client().cx, 500);
  EXPECT_EQ(Client().cy, 400);
}

TEST_F(PreviewTest, LineStepAndLimitWhenScrollingDown) {
  Add("tall.bmp", Solid24(300, 1000, 0xFFFFFF));
  Open(0);
  // Within the first 100 ms the bars are held: checked before any message
  // can end that.
  frmPreview->ShowImage(0);
  ASSERT_TRUE(StillHeld());
  Char('j');
  EXPECT_EQ(frmPreview->VertPosition(), 0);
  WaitForBars();
  ASSERT_EQ(Client().cy, 480);
  EXPECT_EQ(frmPreview->VertLineStep(), 43);
  for (int i = 0; i < 12; ++i) Char(i % 2 ? 'J' : 'f');
  EXPECT_EQ(frmPreview->VertPosition(), 516);
  Key(VK_DOWN);
  EXPECT_EQ(frmPreview->VertPosition(), 520);
  Char('j');
  EXPECT_EQ(frmPreview->VertPosition(), 520);
  Char('u');
  EXPECT_EQ(frmPreview->VertPosition(), 477);
  Key(VK_UP);
  EXPECT_EQ(frmPreview->VertPosition(), 434);
  EXPECT_EQ(::GetScrollPos(frmPreview->Handle(), SB_VERT), 434);
  // Sideways nothing moves: the width fits.
  Char('k');
  EXPECT_EQ(frmPreview->HorzPosition(), 0);
}

TEST_F(PreviewTest, StripShowsWithinTopEdgeAlsoWhenScrolled) {
  Add("tall.bmp", Solid24(300, 1000, 0xFFFFFF));
  Open(0);
  WaitForBars();
  EXPECT_FALSE(frmPreview->pnlTop->Visible());
  ::SendMessageA(frmPreview->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(50, 28));
  EXPECT_TRUE(frmPreview->pnlTop->Visible());
  ::SendMessageA(frmPreview->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(50, 29));
  EXPECT_FALSE(frmPreview->pnlTop->Visible());
  for (int i = 0; i < 5; ++i) Char('j');
  ASSERT_EQ(frmPreview->VertPosition(), 215);
  ::SendMessageA(frmPreview->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(50, 10));
  EXPECT_TRUE(frmPreview->pnlTop->Visible());
  EXPECT_EQ(frmPreview->pnlTop->Top(), 0);
  EXPECT_EQ(frmPreview->pnlTop->Left(), 0);
  // Every image change hides it again.
  frmPreview->ShowImage(0);
  EXPECT_FALSE(frmPreview->pnlTop->Visible());
}

TEST_F(PreviewTest, KeysStepImagesWithWrapAround) {
  for (int i = 0; i < 5; ++i) Add("k" + std::to_string(i) + ".bmp", Solid24(20, 20, 0xFFFFFF));
  Open(4);
  Char(' ');
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  Char('B');
  EXPECT_EQ(frmPreview->ImageIndex, 4);
  Char('b');
  EXPECT_EQ(frmPreview->ImageIndex, 3);
  EXPECT_FALSE(frmPrePalette->Showing());  // the hidden palette viewer is left alone
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
}

TEST_F(PreviewTest, PickerButtonsWrapAndMoveAShowingPaletteViewer) {
  for (int i = 0; i < 5; ++i) Add("p" + std::to_string(i) + ".bmp", Solid24(20, 20, 0xFFFFFF));
  Open(0);
  frmPreview->spbUpClick();
  EXPECT_EQ(frmPreview->ImageIndex, 4);
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);  // hidden: not told
  frmPrePalette->Show();
  frmPreview->spbDownClick();
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
  frmPreview->spbDownClick();
  EXPECT_EQ(frmPrePalette->ImageIndex, 1);
  EXPECT_EQ(frmPrePalette->cmbPreview->ItemIndex(), 1);
}

TEST_F(PreviewTest, OneImageButtonsShowItAgain) {
  Add("only.bmp", Solid24(300, 1000, 0xFFFFFF));
  Open(0);
  WaitForBars();
  Char('j');
  ASSERT_GT(frmPreview->VertPosition(), 0);
  frmPreview->spbDownClick();
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  EXPECT_EQ(frmPreview->VertPosition(), 0);
  EXPECT_FALSE(frmPreview->AutoScroll());
}

TEST_F(PreviewTest, ListChoiceFindsFirstNameIgnoringCaseAndLeavesPaletteViewer) {
  const std::string other = mvtest::MakeScratchDir("preview_other");
  Add("Same.bmp", Solid24(20, 20, 0xFFFFFF));
  mvtest::AddListedBytes(other, "same.BMP", Solid24(30, 30, 0xFFFFFF));
  Add("third.bmp", Solid24(40, 40, 0xFFFFFF));
  Open(2);
  frmPrePalette->Show();
  frmPrePalette->ShowPalette(2);
  // The user picks the second item.
  frmPreview->cmbPreview->SetItemIndex(1);
  ::SendMessageA(frmPreview->pnlTop->Handle(), WM_COMMAND, MAKEWPARAM(frmPreview->cmbPreview->Id(), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(frmPreview->cmbPreview->Handle()));
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  EXPECT_EQ(frmPreview->Caption(), "Same.bmp 20x20 24bit");
  EXPECT_EQ(frmPrePalette->ImageIndex, 2);
}

TEST_F(PreviewTest, PickerItemsAre20HighWithIconAndName) {
  Add("one.bmp", Solid24(20, 20, 0xFFFFFF));
  Open(0);
  EXPECT_EQ(::SendMessageA(frmPreview->cmbPreview->Handle(), CB_GETITEMHEIGHT, 0, 0), 20);
  // The closed face draws the selected item in a 20-pixel rectangle too.
  ::SendMessageA(frmPreview->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(50, 5));  // shows the strip
  mvtest::Pump();
  auto draw = frmPreview->cmbPreview->OnDrawItem;
  int face_height = -1, face_index = -2;
  frmPreview->cmbPreview->OnDrawItem = [&](forms::DrawItemArgs& a) {
    if (a.is_face) {
      face_height = a.rect.bottom - a.rect.top;
      face_index = a.index;
    }
    draw(a);
  };
  ::InvalidateRect(frmPreview->cmbPreview->Handle(), nullptr, TRUE);
  ::UpdateWindow(frmPreview->cmbPreview->Handle());
  frmPreview->cmbPreview->OnDrawItem = draw;
  EXPECT_EQ(face_index, 0);
  EXPECT_EQ(face_height, 20);
}

TEST_F(PreviewTest, DoubleClickOnImageOpensPaletteViewerOnSameImage) {
  Add("x.bmp", Solid24(20, 20, 0xFFFFFF));
  Add("y.bmp", Solid24(20, 20, 0xFFFFFF));
  Open(1);
  frmPrePalette->ImageIndex = 0;
  ::SendMessageA(frmPreview->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(frmPreview->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(frmPrePalette->Showing());
  EXPECT_EQ(frmPrePalette->ImageIndex, 1);
  // On the free area around the image nothing happens.
  frmPrePalette->Hide();
  ::SendMessageA(frmPreview->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(200, 150));
  EXPECT_FALSE(frmPrePalette->Showing());
}

// A mapped file whose pages can no longer be read (the medium went away)
// paints black; the program goes on. The pages are made unreadable here,
// as a dropped share cannot be staged.
TEST_F(PreviewTest, UnreadableFileWhilePaintingShowsBlack) {
  tag_BeforeImage* image = Add("lost.bmp", Solid24(64, 64, 0xFFFFFF));
  ASSERT_TRUE(image);
  Open(0);
  DWORD old = 0;
  ASSERT_TRUE(::VirtualProtect(const_cast<unsigned char*>(image->View()), image->FileSize, PAGE_NOACCESS, &old));
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  ::VirtualProtect(const_cast<unsigned char*>(image->View()), image->FileSize, old, &old);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  EXPECT_EQ(cap.at(10, 10), 0u);
}

// A 64-bit bitmap is listed with the "?" icon and shown: linear 16-bit
// channels through the sRGB curve.
TEST_F(PreviewTest, SixtyFourBitImageIsListedAndShown) {
  mv::test::BmpSpec deep;
  deep.width = 3;
  deep.height = 2;
  deep.bitCount = 64;
  const mv::test::Pixel64 orange{0, 4096, 8192, 8192}, black{0, 0, 0, 8192};  // B, G, R, A
  deep.pixels = mv::test::PackRows64({{black, black, black}, {orange, black, black}});  // bottom row first
  const tag_BeforeImage* image = Add("deep.bmp", mv::test::BuildBmp(deep));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->DepthIcon, 6);
  Open(0);
  EXPECT_EQ(frmPreview->Caption(), "deep.bmp 3x2 64bit");
  ::RedrawWindow(frmPreview->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  mvtest::Capture cap = mvtest::CaptureClient(frmPreview->Handle());
  EXPECT_EQ(cap.at(0, 0), Rgb(0xFFBC00));  // linear 0.5 is 188
  EXPECT_EQ(cap.at(0, 1), 0u);
}

// Removing the selected images: the confirmation, the four lists kept in
// step, the viewers hidden, the records' views, palettes and bitmaps
// released, the delete button and the list's horizontal extent.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/handles.h"
#include "forms/bitmap.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/paths.h"

namespace {

constexpr char kQuestion[] = "選択した画像をリストから削除してよろしいですか？";
constexpr char kCaption[] = "画像をリストから削除します";

std::string Bmp(int bits) { return mv::test::PlainBmp(bits, 3, 2); }

std::vector<std::string> Items(const forms::ListBox& l) {
  std::vector<std::string> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Item(i));
  return v;
}
std::vector<std::string> Items(const forms::ComboBox& c) {
  std::vector<std::string> v;
  for (int i = 0; i < c.Count(); ++i) v.push_back(c.Item(i));
  return v;
}
std::vector<std::string> StoreNames() {
  std::vector<std::string> v;
  for (const tag_BeforeImage* r : frmMain->BeforeImages) v.push_back(r ? r->FileName : "<null>");
  return v;
}

using mvtest::TextWidth;

struct Live {
  int views, palettes, bitmaps;
  static Live Now() {
    return {mv::HandleCount<mv::ViewTraits>::live, mv::HandleCount<mv::GdiTraits<HPALETTE>>::live,
            forms::Bitmap::LiveCount()};
  }
};

class RemoveTest : public mvtest::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dir = mvtest::MakeScratchDir("remove");
  }
  void Start() { StartApp(); }
  // Starts with the MVT plug-in, so that plug-in images (bitmaps) load too.
  void StartWithMvtPlugin() {
    const std::string plugins = mvtest::MakeScratchDir("remove_plugins");
    ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + "mvt_good" MV_SPI_EXT).c_str(), (plugins + "mvt_good" MV_SPI_EXT).c_str(), FALSE));
    mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + plugins + "\r\n");
    StartApp();
    ASSERT_EQ(frmMain->SpiCtrl->Plugins.size(), 1u);
  }
  void Add(const std::string& name, int bits = 8) {
    ASSERT_NE(mvtest::AddListedBytes(dir, name, Bmp(bits)), nullptr) << name;
  }
  void AddMvt(const std::string& name) {
    const std::string mvt = mv::test::BuildMvt(2, 2, 24, {}, std::string(16, '\x40'));
    ASSERT_NE(mvtest::AddListedBytes(dir, name, mvt), nullptr) << name;
  }
  void Select(std::initializer_list<int> items) {
    for (int i : items) frmMain->lstBefore->SetSelected(i, true);
  }
  // Opens both viewers the way the program does.
  void ShowViewers(int index) {
    frmPreview->ImageIndex = index;
    frmPreview->Hide();
    frmPreview->Show();
    frmPrePalette->ImageIndex = index;
    frmPrePalette->Hide();
    frmPrePalette->Show();
    mvtest::Pump(50);
    ASSERT_TRUE(frmPreview->Showing());
    ASSERT_TRUE(frmPrePalette->Showing());
  }
  void ExpectAllLists(const std::vector<std::string>& names) {
    EXPECT_EQ(Items(*frmMain->lstBefore), names);
    EXPECT_EQ(Items(*frmPreview->cmbPreview), names);
    EXPECT_EQ(Items(*frmPrePalette->cmbPreview), names);
    EXPECT_EQ(StoreNames(), names);
  }
  void ExpectOneQuestion() {
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    const auto& b = boxes.Boxes()[0];
    EXPECT_EQ(b.text, kQuestion);
    EXPECT_EQ(b.caption, kCaption);
    EXPECT_EQ(b.flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(b.owner, frmMain->Handle());
  }
  std::string dir;
};

}  // namespace

TEST_F(RemoveTest, NothingSelectedStillAsksHidesViewersAndRemovesNothing) {
  Start();
  for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) Add(n);
  ShowViewers(1);
  frmMain->lstBefore->SetHorizontalExtent(0);
  boxes.Answer({IDYES});
  frmMain->btnDel1Click(nullptr);
  ExpectOneQuestion();
  EXPECT_FALSE(frmPreview->Showing());
  EXPECT_FALSE(frmPrePalette->Showing());
  ExpectAllLists({"a.bmp", "b.bmp", "c.bmp"});
  EXPECT_TRUE(frmMain->btnDel1->Enabled());
  // The extent is measured afresh over the (unchanged) items.
  HWND list = frmMain->lstBefore->Handle();
  EXPECT_EQ(frmMain->lstBefore->HorizontalExtent(),
            std::max({TextWidth(list, "a.bmp"), TextWidth(list, "b.bmp"), TextWidth(list, "c.bmp")}) + 22);
}

TEST_F(RemoveTest, SecondAndFourthOfFiveLeaveTheOthersInOrderEverywhere) {
  Start();
  // The fourth name is the widest, so the extent must shrink with it gone.
  const std::vector<std::string> names = {"one.bmp", "two.bmp", "three.bmp", "four_is_the_widest_name.bmp",
                                          "five.bmp"};
  for (const auto& n : names) Add(n);
  const std::vector<tag_BeforeImage*> before = frmMain->BeforeImages;
  HWND list = frmMain->lstBefore->Handle();
  ASSERT_GT(TextWidth(list, names[3]), TextWidth(list, names[2]));
  Select({1, 3});
  ASSERT_EQ(frmMain->lstBefore->SelCount(), 2);
  boxes.Answer({IDYES});
  frmMain->RemoveSelectedImages();
  ExpectOneQuestion();
  ExpectAllLists({"one.bmp", "three.bmp", "five.bmp"});
  // The surviving records are the same objects, moved down.
  ASSERT_EQ(frmMain->BeforeImages.size(), 3u);
  EXPECT_EQ(frmMain->BeforeImages[0], before[0]);
  EXPECT_EQ(frmMain->BeforeImages[1], before[2]);
  EXPECT_EQ(frmMain->BeforeImages[2], before[4]);
  // Nothing left selected: the survivors were not selected before.
  EXPECT_EQ(frmMain->lstBefore->SelCount(), 0);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(frmMain->lstBefore->Selected(i)) << i;
  const int widest = std::max({TextWidth(list, "one.bmp"), TextWidth(list, "three.bmp"), TextWidth(list, "five.bmp")});
  EXPECT_EQ(frmMain->lstBefore->HorizontalExtent(), widest + 22);
  EXPECT_TRUE(frmMain->btnDel1->Enabled());

  // A second removal works on the refilled lists: the last one goes.
  Select({2});
  boxes.Answer({IDYES});
  frmMain->RemoveSelectedImages();
  ExpectAllLists({"one.bmp", "three.bmp"});
  EXPECT_EQ(frmMain->BeforeImages[1], before[2]);
}

TEST_F(RemoveTest, UnselectedSurvivorsStayUnselectedAmongSelectedNeighbours) {
  Start();
  for (const char* n : {"p.bmp", "q.bmp", "r.bmp", "s.bmp", "t.bmp", "u.bmp"}) Add(n);
  // Runs of selected items at the start, in the middle and at the end.
  Select({0, 1, 3, 5});
  boxes.Answer({IDYES});
  frmMain->RemoveSelectedImages();
  ExpectAllLists({"r.bmp", "t.bmp"});
  EXPECT_EQ(frmMain->lstBefore->SelCount(), 0);
}

TEST_F(RemoveTest, RemovingEverythingDisablesDeleteAndZeroesExtent) {
  Start();
  const Live base = Live::Now();
  for (const char* n : {"x.bmp", "y.bmp", "z.bmp"}) Add(n, 24);
  ShowViewers(2);
  frmMain->lstBefore->SetHorizontalExtent(300);
  ASSERT_TRUE(frmMain->btnDel1->Enabled());
  Select({0, 1, 2});
  boxes.Answer({IDYES});
  // From the keyboard: the button has the focus, and loses it when disabled.
  ::SetForegroundWindow(frmMain->Handle());
  ::SetFocus(frmMain->btnDel1->Handle());
  ASSERT_EQ(::GetFocus(), frmMain->btnDel1->Handle());
  frmMain->btnDel1Click(nullptr);
  ExpectOneQuestion();
  EXPECT_EQ(::GetFocus(), frmMain->lstBefore->Handle()) << "the keys must still reach the window";
  ExpectAllLists({});
  EXPECT_TRUE(frmMain->BeforeImages.empty());
  EXPECT_FALSE(frmMain->btnDel1->Enabled());
  EXPECT_EQ(frmMain->lstBefore->HorizontalExtent(), 0);
  EXPECT_FALSE(frmPreview->Showing());
  EXPECT_FALSE(frmPrePalette->Showing());
  mvtest::Pump(50);  // nothing repaints from a freed record
  // The viewers showed these images, yet every view is released.
  EXPECT_EQ(Live::Now().views, base.views);
}

TEST_F(RemoveTest, KeyboardReachesRemovalThroughTabAndAltD) {
  Start();
  Add("x.bmp", 24);
  ::SetForegroundWindow(frmMain->Handle());
  ::SetFocus(frmMain->lstBefore->Handle());
  bool reached = false;
  for (int i = 0; i < 6 && !reached; ++i) {
    ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_TAB, 1);
    mvtest::Pump();
    reached = ::GetFocus() == frmMain->btnDel1->Handle();
  }
  EXPECT_TRUE(reached) << "Tab never reached the delete button";
  ::SetFocus(frmMain->lstBefore->Handle());
  Select({0});
  boxes.Answer({IDNO});
  ::PostMessageA(frmMain->lstBefore->Handle(), WM_SYSCHAR, 'd', 1 << 29);  // Alt+D
  mvtest::Pump();
  ExpectOneQuestion();
}

TEST_F(RemoveTest, AnsweringNoChangesNothing) {
  Start();
  for (const char* n : {"a.bmp", "b.bmp", "c.bmp"}) Add(n);
  ShowViewers(0);
  Select({0, 2});
  const std::vector<tag_BeforeImage*> before = frmMain->BeforeImages;
  const Live live = Live::Now();
  boxes.Answer({IDNO});
  frmMain->btnDel1Click(nullptr);
  ExpectOneQuestion();
  EXPECT_TRUE(frmPreview->Showing());
  EXPECT_TRUE(frmPrePalette->Showing());
  ExpectAllLists({"a.bmp", "b.bmp", "c.bmp"});
  EXPECT_EQ(frmMain->BeforeImages, before);
  EXPECT_TRUE(frmMain->lstBefore->Selected(0));
  EXPECT_FALSE(frmMain->lstBefore->Selected(1));
  EXPECT_TRUE(frmMain->lstBefore->Selected(2));
  EXPECT_EQ(Live::Now().views, live.views);
  EXPECT_EQ(Live::Now().palettes, live.palettes);
  EXPECT_TRUE(frmMain->btnDel1->Enabled());
}

TEST_F(RemoveTest, RecordsReleaseTheirViewsPalettesAndBitmaps) {
  StartWithMvtPlugin();
  const Live base = Live::Now();
  Add("pal0.bmp", 8);     // view + palette
  Add("pal1.bmp", 8);     // view + palette
  Add("rgb.bmp", 24);     // view only
  AddMvt("plug.mvt");     // bitmap object, no view
  const Live loaded = Live::Now();
  EXPECT_EQ(loaded.views - base.views, 3);
  EXPECT_EQ(loaded.palettes - base.palettes, 2 + 0) << "one palette per 8-bit native image";
  EXPECT_EQ(loaded.bitmaps - base.bitmaps, 1);

  Select({0, 3});
  boxes.Answer({IDYES});
  frmMain->RemoveSelectedImages();
  ExpectAllLists({"pal1.bmp", "rgb.bmp"});
  const Live half = Live::Now();
  EXPECT_EQ(loaded.views - half.views, 1);
  EXPECT_EQ(loaded.palettes - half.palettes, 1);
  EXPECT_EQ(loaded.bitmaps - half.bitmaps, 1);

  Select({0, 1});
  boxes.Answer({IDYES});
  frmMain->RemoveSelectedImages();
  const Live none = Live::Now();
  EXPECT_EQ(none.views, base.views);
  EXPECT_EQ(none.palettes, base.palettes);
  EXPECT_EQ(none.bitmaps, base.bitmaps);
}

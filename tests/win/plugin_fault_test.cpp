// Plug-ins that fault: the program stays up, the faulting plug-in is
// passed over and not called again, the others still decode, and what was
// listed is still listed and viewable. Also: our own handles all come back
// over many load and remove cycles.
#include <windows.h>
#include <float.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/handles.h"
#include "forms/bitmap.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/fixtures/fixture_stats.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/plugin_place.h"

namespace {

std::string Mvt8() {
  std::vector<std::uint32_t> palette;
  for (std::uint32_t i = 0; i < 256; ++i) palette.push_back(i << 16 | (255 - i) << 8 | i);
  std::string rows;
  for (int y = 0; y < 4; ++y) rows += std::string(4, static_cast<char>(y * 60));
  return mv::test::BuildMvt(4, 4, 8, palette, rows);
}

std::string Bmp8() {
  mv::test::BmpSpec recipe;
  recipe.bitCount = 8;
  return mv::test::BuildBmp(recipe);
}

class PluginFaultTest : public mvtest::AppTest {
 protected:
  // Starts with a plug-in folder holding these fixtures, in this order of
  // trial (the host's list is put into this order).
  void StartWith(const std::vector<std::string>& plugins, const std::string& more = "") {
    dir = mvtest::MakeScratchDir("fault_images");
    plugin_dir = mvtest::MakeScratchDir("fault_plugins");
    for (const auto& p : plugins)
      ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + p).c_str(), (plugin_dir + p).c_str(), FALSE)) << p;
    mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + plugin_dir + "\r\n" + more);
    StartApp();
    auto& list = frmMain->SpiCtrl->Plugins;
    std::vector<std::unique_ptr<QvSpiPlugin>> ordered;
    for (const auto& name : plugins)
      for (auto& p : list)
        if (p && p->FileName == name) ordered.push_back(std::move(p));
    list = std::move(ordered);
  }
  QvSpiPlugin* Plugin(const std::string& name) {
    for (auto& p : frmMain->SpiCtrl->Plugins)
      if (p->FileName == name) return p.get();
    return nullptr;
  }
  mv::test::FixtureCounters* StatsOf(const std::string& name) {
    QvSpiPlugin* p = Plugin(name);
    return p ? mvtest::FixtureStatsOf(*p) : nullptr;
  }
  // A native image first, so there is something listed when a plug-in faults.
  void ListANativeImage() { ASSERT_NE(mvtest::AddListedBytes(dir, "before.bmp", Bmp8()), nullptr); }
  // Still there and viewable.
  void ExpectStillViewable() {
    ASSERT_GE(frmMain->BeforeImages.size(), 1u);
    frmPreview->ImageIndex = 0;
    frmPreview->Hide();
    frmPreview->Show();
    mvtest::Pump();
    EXPECT_EQ(frmPreview->Caption(), "before.bmp 4x4 8bit");
    EXPECT_EQ(frmPreview->imgPreview->Width(), 4);
  }
  std::string dir, plugin_dir;
};

}  // namespace

// In a worker, as a user's plug-ins run: it is given the 2 KB form only.
TEST_F(PluginFaultTest, FaultInIsSupportedPassesThePluginOver) {
  StartWith({"mvt_fault_issupported" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  ListANativeImage();
  tag_BeforeImage* e = mvtest::AddListedBytes(dir, "a.mvt", Mvt8());
  ASSERT_NE(e, nullptr);  // the good plug-in after it decoded the file
  EXPECT_EQ(e->BitCount, 8);
  QvSpiPlugin* bad = Plugin("mvt_fault_issupported" MV_SPI_EXT);
  ASSERT_NE(bad, nullptr);
  EXPECT_TRUE(bad->Faulted);
  EXPECT_EQ(StatsOf("mvt_fault_issupported" MV_SPI_EXT)->isSupportedCalls, 1);
  ASSERT_NE(mvtest::AddListedBytes(dir, "b.mvt", Mvt8()), nullptr);
  EXPECT_EQ(StatsOf("mvt_fault_issupported" MV_SPI_EXT)->isSupportedCalls, 1);  // not called again
  ExpectStillViewable();
}

TEST_F(PluginFaultTest, FaultInGetPictureFreesNothingAndTriesTheNext) {
  StartWith({"mvt_fault_getpicture" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  ListANativeImage();
  const int globals = mv::HandleCount<mv::GlobalTraits>::live;
  ASSERT_NE(mvtest::AddListedBytes(dir, "a.mvt", Mvt8()), nullptr);
  EXPECT_TRUE(Plugin("mvt_fault_getpicture" MV_SPI_EXT)->Faulted);
  EXPECT_EQ(StatsOf("mvt_fault_getpicture" MV_SPI_EXT)->getPictureCalls, 1);
  EXPECT_EQ(mv::HandleCount<mv::GlobalTraits>::live, globals);
  ExpectStillViewable();
}

// In a worker: one that faulted is listed after a reload, and not loaded again.
TEST_F(PluginFaultTest, FaultInGetPluginInfoListsItWithEmptyTextsAndNeverUsesIt) {
  StartWith({"mvt_fault_info" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  QvSpiPlugin* bad = Plugin("mvt_fault_info" MV_SPI_EXT);
  ASSERT_NE(bad, nullptr);
  EXPECT_TRUE(bad->Faulted);
  EXPECT_EQ(bad->Description, "");
  EXPECT_EQ(bad->ExtFilter, "");
  ASSERT_NE(mvtest::AddListedBytes(dir, "a.mvt", Mvt8()), nullptr);
  EXPECT_EQ(StatsOf("mvt_fault_info" MV_SPI_EXT)->isSupportedCalls, 0);
  // A reload in the same run keeps it switched off and does not call it,
  // also when the folder is spelt another way (as the dialog's folder
  // browser gives it: no final backslash), or through its short name.
  std::string short_dir(MAX_PATH, '\0');
  short_dir.resize(::GetShortPathNameA(plugin_dir.c_str(), short_dir.data(), MAX_PATH));
  for (const std::string& spelling : {plugin_dir, plugin_dir.substr(0, plugin_dir.size() - 1), short_dir}) {
    frmMain->SpiCtrl->PluginDir = spelling;
    frmMain->SpiCtrl->LoadPlugins();
    bad = Plugin("mvt_fault_info" MV_SPI_EXT);
    ASSERT_NE(bad, nullptr) << spelling;
    EXPECT_TRUE(bad->Faulted) << spelling;
    // Its count stays the first load's.
    EXPECT_EQ(StatsOf("mvt_fault_info" MV_SPI_EXT)->pluginInfoCalls, 1) << spelling;
  }
  // The dialog says so in its row.
  frmMain->PluginDlg->RefreshButtonClick();
  bool marked = false;
  for (int i = 0; i < frmMain->PluginDlg->PluginCheckListBox->Count(); ++i)
    if (frmMain->PluginDlg->PluginCheckListBox->Item(i).find("mvt_fault_info" MV_SPI_EXT) != std::string::npos)
      marked = frmMain->PluginDlg->PluginCheckListBox->Item(i).find("使用を停止") != std::string::npos;
  EXPECT_TRUE(marked);
}

TEST_F(PluginFaultTest, FaultInConfigurationDlgGivesTheNoDialogMessage) {
  StartWith({"mvt_fault_config" MV_SPI_EXT});
  TdlgPlugin* dlg = frmMain->PluginDlg;
  dlg->FormShow();
  ASSERT_EQ(dlg->PluginCheckListBox->Count(), 1);
  dlg->PluginCheckListBox->SetItemIndex(0);
  dlg->SettingButtonClick();
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "このプラグインには設定ダイアログはありません");
  EXPECT_EQ(boxes.Boxes()[0].caption, "設定ダイアログ未実装");
  EXPECT_EQ(boxes.Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(StatsOf("mvt_fault_config" MV_SPI_EXT)->configCalls, 1);
  // Not called again; the same message.
  dlg->SettingButtonClick();
  EXPECT_EQ(StatsOf("mvt_fault_config" MV_SPI_EXT)->configCalls, 1);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].caption, "設定ダイアログ未実装");
}

TEST_F(PluginFaultTest, FaultInsideItsOwnDialogLeavesNoWindowAndNothingDisabled) {
  StartWith({"mvt_dialog_fault" MV_SPI_EXT});
  TdlgPlugin* dlg = frmMain->PluginDlg;
  dlg->FormShow();
  ASSERT_TRUE(::IsWindowEnabled(dlg->Handle()));
  dlg->PluginCheckListBox->SetItemIndex(0);
  dlg->SettingButtonClick();
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "設定ダイアログ未実装");
  EXPECT_TRUE(Plugin("mvt_dialog_fault" MV_SPI_EXT)->Faulted);
  EXPECT_EQ(::FindWindowA(nullptr, "MVT settings"), nullptr) << "the plug-in's dialog outlived its fault";
  EXPECT_TRUE(::IsWindowEnabled(dlg->Handle()));
  // A reload frees the library: no window may still lead into it.
  dlg->RefreshButtonClick();
  mvtest::Pump();
}

TEST_F(PluginFaultTest, UncaughtDelphiExceptionPassesThePluginOver) {
  StartWith({"mvt_delphi" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  ASSERT_NE(mvtest::AddListedBytes(dir, "a.mvt", Mvt8()), nullptr);  // the good plug-in after it
  EXPECT_TRUE(Plugin("mvt_delphi" MV_SPI_EXT)->Faulted);
}

// The read error is raised by the fixture: a real one needs a medium that
// goes away while the file is mapped.
TEST_F(PluginFaultTest, ReadErrorOfTheFileFailsTheFileAndKeepsThePlugin) {
  StartWith({"mvt_inpage" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  EXPECT_EQ(mvtest::AddListedBytes(dir, "a.mvt", Mvt8()), nullptr);
  EXPECT_FALSE(Plugin("mvt_inpage" MV_SPI_EXT)->Faulted);
  EXPECT_EQ(StatsOf("mvt_good" MV_SPI_EXT)->isSupportedCalls, 0) << "a file that cannot be read is not offered on";
}

// The blocks are the plug-in's process's: looked at here, the plug-in runs here.
TEST_F(PluginFaultTest, BlocksHandedBackWithAFailureAreFreed) {
  StartWith({"mvt_blocks_on_failure" MV_SPI_EXT, "mvt_good" MV_SPI_EXT}, mvtest::kInProcessLine);
  ASSERT_NE(mvtest::AddListedBytes(dir, "a.mvt", Mvt8()), nullptr);
  auto* s = StatsOf("mvt_blocks_on_failure" MV_SPI_EXT);
  ASSERT_NE(s->failureInfoBlock, 0u);
  EXPECT_EQ(::GlobalSize(reinterpret_cast<HGLOBAL>(static_cast<UINT_PTR>(s->failureInfoBlock))), 0u);
  EXPECT_EQ(::GlobalSize(reinterpret_cast<HGLOBAL>(static_cast<UINT_PTR>(s->failureBitsBlock))), 0u);
}

TEST_F(PluginFaultTest, DllMainThatFaultsOnLoadOrUnloadDoesNotEndTheProgram) {
  StartWith({"mvt_fault_attach" MV_SPI_EXT, "mvt_fault_detach" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  EXPECT_EQ(Plugin("mvt_fault_attach" MV_SPI_EXT), nullptr);
  ASSERT_NE(Plugin("mvt_fault_detach" MV_SPI_EXT), nullptr);
  frmMain->SpiCtrl->LoadPlugins();  // frees the one that faults on unload
  ASSERT_NE(mvtest::AddListedBytes(dir, "a.mvt", Mvt8()), nullptr);
}

// In the program, where the 32-bit edition hands IsSupported the file
// handle first.
TEST_F(PluginFaultTest, PointerOnlyIsSupportedDecodesThroughTheBufferForm) {
  StartWith({"mvt_ptronly" MV_SPI_EXT}, mvtest::kInProcessLine);
  tag_BeforeImage* e = mvtest::AddListedBytes(mvtest::MakeScratchDir("ptronly"), "a.mvt", Mvt8());
  ASSERT_NE(e, nullptr);
  QvSpiPlugin* p = Plugin("mvt_ptronly" MV_SPI_EXT);
  EXPECT_FALSE(p->Faulted);
  auto* stats = StatsOf("mvt_ptronly" MV_SPI_EXT);
  const int calls = stats->isSupportedCalls;
  ASSERT_NE(mvtest::AddListedBytes(mvtest::MakeScratchDir("ptronly2"), "b.mvt", Mvt8()), nullptr);
  EXPECT_EQ(stats->isSupportedCalls, calls + 1);  // straight to the buffer
  EXPECT_EQ(stats->isSupportedGotHandle, 0);
}

TEST_F(PluginFaultTest, ControlWordIsRestoredAfterAPluginChangesIt) {
  StartWith({"mvt_fpu" MV_SPI_EXT}, mvtest::kInProcessLine);
  const unsigned before = _control87(0, 0);
  ASSERT_NE(mvtest::AddListedBytes(mvtest::MakeScratchDir("fpu"), "a.mvt", Mvt8()), nullptr);
  EXPECT_EQ(_control87(0, 0), before);
  volatile double a = 1.0, b = 3.0;
  EXPECT_NEAR(a / b, 0.333333333333333, 1e-14);  // full precision is back
}

TEST_F(PluginFaultTest, LoadAndRemoveCyclesGiveEveryHandleBack) {
  StartWith({"mvt_good" MV_SPI_EXT});
  const std::string bmp = dir + "n.bmp", mvt = dir + "p.mvt";
  mvtest::WriteFileBytes(bmp, Bmp8());
  mvtest::WriteFileBytes(mvt, Mvt8());
  const int files = mv::HandleCount<mv::FileTraits>::live;
  const int handles = mv::HandleCount<mv::KernelHandleTraits>::live;
  const int views = mv::HandleCount<mv::ViewTraits>::live;
  const int globals = mv::HandleCount<mv::GlobalTraits>::live;
  const int palettes = mv::HandleCount<mv::GdiTraits<HPALETTE>>::live;
  const int bitmaps = mv::HandleCount<mv::GdiTraits<HBITMAP>>::live;
  const int dcs = mv::HandleCount<mv::DcTraits>::live;
  const int brushes = mv::HandleCount<mv::GdiTraits<HBRUSH>>::live;
  const int objects = forms::Bitmap::LiveCount();
  boxes.Answer(std::vector<int>(1000, IDYES));
  for (int cycle = 0; cycle < 1000; ++cycle) {
    for (int i = 0; i < 20; ++i) ASSERT_NE(mvtest::AddListedImage(i % 2 ? bmp : mvt), nullptr);
    if (cycle % 250 == 0) {  // and look at some of them on the way
      frmPreview->ImageIndex = 1;
      frmPreview->Hide();
      frmPreview->Show();
      frmPrePalette->ImageIndex = 0;
      frmPrePalette->Hide();
      frmPrePalette->Show();
    }
    for (int i = 0; i < 20; ++i) frmMain->lstBefore->SetSelected(i, true);
    frmMain->RemoveSelectedImages();
    ASSERT_EQ(frmMain->lstBefore->Count(), 0);
  }
  EXPECT_EQ(mv::HandleCount<mv::FileTraits>::live, files);
  EXPECT_EQ(mv::HandleCount<mv::KernelHandleTraits>::live, handles);
  EXPECT_EQ(mv::HandleCount<mv::ViewTraits>::live, views);
  EXPECT_EQ(mv::HandleCount<mv::GlobalTraits>::live, globals);
  // The palette viewer keeps the palette of the grid it showed last.
  EXPECT_LE(mv::HandleCount<mv::GdiTraits<HPALETTE>>::live, palettes + 1);
  EXPECT_EQ(mv::HandleCount<mv::GdiTraits<HBRUSH>>::live, brushes);
  // The viewers keep one off-screen bitmap each, whatever they showed last.
  EXPECT_LE(mv::HandleCount<mv::GdiTraits<HBITMAP>>::live, bitmaps + 1);
  EXPECT_LE(mv::HandleCount<mv::DcTraits>::live, dcs + 1);
  EXPECT_LE(forms::Bitmap::LiveCount(), objects);
}

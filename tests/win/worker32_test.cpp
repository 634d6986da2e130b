// The 64-bit edition with 32-bit plug-ins: *.spi run in the 32-bit worker,
// *.sph in the 64-bit one, in one list. Built in the 64-bit build only; the
// test script leaves it out (and says so) where 32-bit code cannot run.
#include <windows.h>

#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/handles.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "plugins/spi_ctrl.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/worker_test_support.h"

namespace {

class Worker32Test : public mvtest::WorkerTest {
 protected:
  // Starts with a 32-bit fixture and a 64-bit one, each under a name of
  // its own: mvt_good.spi and mvt_cfg5.sph.
  void StartWithBoth() {
    images = mvtest::MakeScratchDir("worker32_images");
    plugin_dir = mvtest::MakeScratchDir("worker32_plugins");
    ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir32() + "mvt_good.spi").c_str(), (plugin_dir + "mvt_good.spi").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA((mvtest::FixtureDir() + "mvt_cfg5.sph").c_str(), (plugin_dir + "mvt_cfg5.sph").c_str(), FALSE));
    mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + plugin_dir + "\r\n");
    StartApp();
  }
};

}  // namespace

TEST_F(Worker32Test, BothKindsDecodeInOneRunAndTheDialogListsBoth) {
  StartWithBoth();
  QvSpiPlugin* spi = Plugin("mvt_good");
  QvSpiPlugin* sph = Plugin("mvt_cfg5");
  ASSERT_TRUE(spi && sph);
  EXPECT_EQ(spi->Description, "Morvane MVT fixture 1.0");
  EXPECT_EQ(mvtest::WorkersOf(::GetCurrentProcessId()).size(), 2u);

  // Each decodes while the other is switched off.
  for (QvSpiPlugin* on : {spi, sph}) {
    spi->Enabled = on == spi;
    sph->Enabled = on == sph;
    ASSERT_NE(mvtest::AddListedBytes(images, on == spi ? "a.mvt" : "b.mvt", Mvt8()), nullptr) << on->FileName;
    EXPECT_EQ(mvtest::FixtureStatsOf(*on)->getPictureCalls, 1) << on->FileName;
  }
  EXPECT_EQ(frmMain->BeforeImages[0]->BitCount, 8);
  EXPECT_EQ(frmMain->BeforeImages[1]->BitCount, 8);

  // One list with a row for each file.
  frmMain->PluginDlg->RefreshButtonClick();
  ASSERT_EQ(frmMain->PluginDlg->PluginCheckListBox->Count(), 2);
  for (int i = 0; i < 2; ++i) {
    const std::string row = frmMain->PluginDlg->PluginCheckListBox->Item(i);
    EXPECT_TRUE(row.find("mvt_good.spi") != std::string::npos || row.find("mvt_cfg5.sph") != std::string::npos) << row;
  }
}

TEST_F(Worker32Test, AThrowOutOfA32BitPluginEndsOnlyItsWorker) {
  StartWith(mvtest::FixtureDir32(), ".spi", {"mvt_throw", "mvt_good"});
  ListANativeImage();
  ASSERT_NE(mvtest::AddListedBytes(images, "a.mvt", Mvt8()), nullptr);
  EXPECT_TRUE(Plugin("mvt_throw")->Faulted);
  ExpectStillViewable(2);
}

// A file the 32-bit worker cannot take (over 2 GiB) passes its plug-ins
// over; a 64-bit one after them still reads it.
TEST_F(Worker32Test, AFileTooLargeForThe32BitWorkerGoesOnToTheOthers) {
  StartWithBoth();
  auto& list = frmMain->SpiCtrl->Plugins;
  ASSERT_EQ(list.size(), 2u);
  if (!list[0]->FileName.ends_with(".spi")) std::swap(list[0], list[1]);  // the 32-bit one is asked first
  // A picture at the start of a sparse file of 2.5 GiB.
  const std::string path = images + "big.mvt";
  mvtest::WriteFileBytes(path, Mvt8());
  mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER end{};
  end.QuadPart = 5ll << 29;
  ASSERT_TRUE(f && ::SetFilePointerEx(f.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(f.get()));
  f.reset();
  ASSERT_NE(mvtest::AddListedImage(path), nullptr);
  EXPECT_EQ(mvtest::FixtureStatsOf(*Plugin("mvt_good"))->isSupportedCalls, 0);
  EXPECT_EQ(mvtest::FixtureStatsOf(*Plugin("mvt_cfg5"))->getPictureCalls, 1);
  ::DeleteFileA(path.c_str());
}

// Loads of many files: they decode off the window's thread, several at once,
// while the window answers, shows its progress and can stop the load; the
// images are listed in the order given; failures are named once, at the end;
// a folder gives the images directly in it, in Explorer's order.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/wide_text.h"
#include "forms/application.h"
#include "forms/menu.h"
#include "plugins/spi_ctrl.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/worker_test_support.h"

namespace {

// A 2 x 2 picture whose last byte tells the slow fixture how long to take
// (10 ms a unit) and the crashing one whether to crash ('X').
std::string Mvt(char last) {
  return mv::test::BuildMvt(2, 2, 24, {}, std::string(16, '\x40')) + std::string(1, last);
}

std::vector<std::string> Listed() {
  std::vector<std::string> names;
  for (int i = 0; i < frmMain->lstBefore->Count(); ++i) names.push_back(frmMain->lstBefore->Item(i));
  return names;
}

// The longest a message sent to the main window waited for its answer,
// while `during` runs on this thread.
DWORD LongestAnswer(const std::function<void()>& during) {
  std::atomic<bool> done = false;
  std::atomic<DWORD> longest = 0;
  HWND main = frmMain->Handle();
  std::thread prober([&] {
    while (!done) {
      const DWORD start = ::GetTickCount();
      DWORD_PTR result = 0;
      ::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
      longest = std::max<DWORD>(longest, ::GetTickCount() - start);
      ::Sleep(10);
    }
  });
  during();
  done = true;
  prober.join();
  return longest;
}

class LoadQueueTest : public mvtest::WorkerTest {
 protected:
  std::vector<std::wstring> Write(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::wstring> paths;
    for (const auto& [name, bytes] : files) {
      mvtest::WriteFileBytes(images + name, bytes);
      paths.push_back(mv::WideFromAnsi(images + name));
    }
    return paths;
  }
};

}  // namespace

// Decodes that end out of order list in the order given, the window
// answers throughout, the progress shows and goes, removal and the plug-in
// dialog wait, and a drop meanwhile loads after.
TEST_F(LoadQueueTest, ManySlowFilesListInOrderWhileTheWindowAnswers) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_slow"}, "Decoders=4\r\n");
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> expected;
  for (int i = 0; i < 24; ++i) {
    files.push_back({"f" + std::to_string(i) + ".mvt", Mvt(i % 3 == 0 ? 30 : 1)});  // 300 ms, or 10
    expected.push_back(files.back().first);
  }
  const std::vector<std::wstring> paths = Write(files);
  const std::wstring late = Write({{"late.mvt", Mvt(1)}})[0];
  expected.push_back("late.mvt");
  bool progress_seen = false, waits_seen = false;
  frmMain->StatusBar->SetSimpleText("before");
  const DWORD longest = LongestAnswer([&] {
    frmMain->LoadPaths(paths);
    mvtest::Drop(frmMain->Handle(), {mv::AnsiFromWide(late)});
    mvtest::PumpUntil(
        [&] {
          progress_seen = progress_seen || (frmMain->StatusBar->SimpleText().rfind("読み込み中 ", 0) == 0 &&
                                            frmMain->prgLoad->Visible());
          waits_seen = waits_seen || (!frmMain->btnDel1->Enabled() && !frmMain->Menu()->Enabled(frmMain->Menu_Plugin));
          return !frmMain->Loading();
        },
        60000);
  });
  EXPECT_FALSE(frmMain->Loading());
  EXPECT_EQ(Listed(), expected);
  EXPECT_LE(longest, 100u) << "the window stopped answering during the load";
  EXPECT_TRUE(progress_seen);
  EXPECT_TRUE(waits_seen);
  EXPECT_EQ(frmMain->StatusBar->SimpleText(), "before");
  EXPECT_FALSE(frmMain->prgLoad->Visible());
  EXPECT_TRUE(frmMain->btnDel1->Enabled());
  EXPECT_TRUE(frmMain->Menu()->Enabled(frmMain->Menu_Plugin));
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoadQueueTest, EscStopsALoadKeepingWhatIsListedAndTheNextEscEnds) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_slow"}, "Decoders=2\r\n");
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 40; ++i) files.push_back({"s" + std::to_string(i) + ".mvt", Mvt(10)});  // 100 ms each
  frmMain->LoadPaths(Write(files));
  ASSERT_TRUE(mvtest::PumpUntil([] { return frmMain->lstBefore->Count() >= 4; }, 20000));
  frmMain->Menu_ExitClick(nullptr);  // Esc
  ASSERT_TRUE(mvtest::WaitForLoad());
  const int listed = frmMain->lstBefore->Count();
  EXPECT_LT(listed, 40);
  mvtest::Pump(300);
  EXPECT_EQ(frmMain->lstBefore->Count(), listed) << "nothing more after the stop";
  EXPECT_EQ(frmMain->BeforeImages.size(), static_cast<std::size_t>(listed));
  EXPECT_FALSE(forms::Application::Instance().Terminated());
  EXPECT_TRUE(boxes.Boxes().empty()) << "a stopped load names no failures";
  frmMain->Menu_ExitClick(nullptr);
  EXPECT_TRUE(mvtest::PumpUntil([] { return forms::Application::Instance().Terminated(); }));
}

// A worker of the pool that dies over one file, with nobody to blame: that
// file fails, the others (decoded beside it in the other workers) load.
TEST_F(LoadQueueTest, AWorkerDyingOverOneFileFailsOnlyThatFile) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_crash_marked"}, "Decoders=3\r\n");
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 9; ++i) files.push_back({"c" + std::to_string(i) + ".mvt", Mvt(i == 4 ? 'X' : 'o')});
  frmMain->LoadPaths(Write(files));
  ASSERT_TRUE(mvtest::WaitForLoad());
  EXPECT_EQ(Listed(), (std::vector<std::string>{"c0.mvt", "c1.mvt", "c2.mvt", "c3.mvt", "c5.mvt", "c6.mvt",
                                                "c7.mvt", "c8.mvt"}));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "指定のファイル：\r\n" + images + "c4.mvt\r\nを読み込むことができません");
  EXPECT_FALSE(Plugin("mvt_crash_marked")->Faulted);
}

// A folder gives the files directly in it that a bitmap's extension or a
// plug-in's filter claims, in Explorer's order; nothing else is tried.
TEST_F(LoadQueueTest, AFolderLoadsItsImagesInNameOrder) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_good"});
  const std::string folder = images + "folder\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ::CreateDirectoryA((folder + "sub").c_str(), nullptr);
  mvtest::WriteFileBytes(folder + "10.bmp", mv::test::PlainBmp(24));
  mvtest::WriteFileBytes(folder + "2.bmp", mv::test::PlainBmp(8));
  mvtest::WriteFileBytes(folder + "b.MVT", Mvt8());
  mvtest::WriteFileBytes(folder + "notes.txt", "no picture");
  mvtest::WriteFileBytes(folder + "sub\\1.bmp", mv::test::PlainBmp(24));
  frmMain->ChooseFolder = [&](std::wstring& chosen) {
    chosen = mv::WideFromAnsi(folder.substr(0, folder.size() - 1));
    return true;
  };
  frmMain->Menu_LoadFolderClick(nullptr);
  ASSERT_TRUE(mvtest::WaitForLoad());
  EXPECT_EQ(Listed(), (std::vector<std::string>{"2.bmp", "10.bmp", "b.MVT"}));
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoadQueueTest, FailuresOfALoadAreNamedInOneMessage) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_good"});
  std::vector<std::pair<std::string, std::string>> files = {{"good.bmp", mv::test::PlainBmp(24)}};
  for (int i = 0; i < 23; ++i) files.push_back({"bad" + std::to_string(i) + ".bmp", "no bitmap"});
  frmMain->LoadPaths(Write(files));
  ASSERT_TRUE(mvtest::WaitForLoad());
  EXPECT_EQ(Listed(), std::vector<std::string>{"good.bmp"});
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  std::string text = "次のファイルを読み込むことができません：";
  for (int i = 0; i < 20; ++i) text += "\r\n" + images + "bad" + std::to_string(i) + ".bmp";
  EXPECT_EQ(boxes.Boxes()[0].text, text + "\r\nほか 3 件");
  EXPECT_EQ(boxes.Boxes()[0].caption, "読み込み失敗");
}

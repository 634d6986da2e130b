// Plug-ins that take down the process they run in. In a worker only the
// worker goes: the program stays up, what is listed stays listed and
// viewable, the plug-in is marked and passed over, and the next file
// decodes. Also: the program keeps painting and shows the busy pointer
// while a worker works, and a worker that cannot start leaves its plug-ins
// listed with the reason.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/committed.h"
#include "base/handles.h"
#include "base/wide_text.h"
#include "forms/timer.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/worker_test_support.h"

using mvtest::WorkerTest;

TEST_F(WorkerTest, WhatEndsAWorkerEndsOnlyTheWorker) {
  for (const char* hostile : {"mvt_smash_stack", "mvt_bad_handler", "mvt_heap_damage", "mvt_exit", "mvt_throw",
                              "mvt_endless"}) {
    SCOPED_TRACE(hostile);
    StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {hostile, "mvt_good"}, "Plug-in Hang Seconds=2\r\n");
    ListANativeImage();
    ASSERT_NE(mvtest::AddListedBytes(images, "a.mvt", Mvt8()), nullptr) << "the good plug-in after it";
    QvSpiPlugin* bad = Plugin(hostile);
    ASSERT_NE(bad, nullptr);
    EXPECT_TRUE(bad->Faulted);
    ASSERT_NE(mvtest::FixtureStatsOf(*bad), nullptr);
    EXPECT_EQ(mvtest::FixtureStatsOf(*bad)->getPictureCalls, 1);
    ASSERT_NE(mvtest::AddListedBytes(images, "b.mvt", Mvt8()), nullptr);
    EXPECT_EQ(mvtest::FixtureStatsOf(*bad)->getPictureCalls, 1) << "not called again";
    ExpectStillViewable(3);
    StopApp();
  }
}

TEST_F(WorkerTest, AFaultInAThreadThePluginLeftIsBlamedOnThePlugin) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_thread_fault", "mvt_good"});
  ASSERT_NE(mvtest::AddListedBytes(images, "a.mvt", Mvt8()), nullptr);  // it decodes, then its thread faults
  EXPECT_FALSE(Plugin("mvt_thread_fault")->Faulted);
  ::Sleep(800);
  ASSERT_NE(mvtest::AddListedBytes(images, "b.mvt", Mvt8()), nullptr);
  EXPECT_TRUE(Plugin("mvt_thread_fault")->Faulted);
  EXPECT_EQ(mvtest::FixtureStatsOf(*Plugin("mvt_thread_fault"))->getPictureCalls, 1) << "not called again";
  ExpectStillViewable(2);
}

TEST_F(WorkerTest, WhileAWorkerWorksTheWindowsPaintUnderTheBusyPointer) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_endless", "mvt_good"}, "Plug-in Hang Seconds=2\r\n");
  ListANativeImage();
  int painted_in_call = 0;
  bool busy_pointer = true;
  const HCURSOR wait = ::LoadCursorA(nullptr, IDC_WAIT);
  auto draw = frmMain->lstBefore->OnDrawItem;
  frmMain->lstBefore->OnDrawItem = [&](forms::DrawItemArgs& a) {
    if (frmMain->SpiCtrl->CallInProgress()) {
      ++painted_in_call;
      busy_pointer = busy_pointer && ::GetCursor() == wait;
    }
    draw(a);
  };
  // Due now, painted only once the call has started.
  ::InvalidateRect(frmMain->lstBefore->Handle(), nullptr, TRUE);
  const DWORD start = ::GetTickCount();
  ASSERT_NE(mvtest::AddListedBytes(images, "a.mvt", Mvt8()), nullptr);
  EXPECT_GE(::GetTickCount() - start, 1900u) << "the hang limit of the settings";
  EXPECT_GE(painted_in_call, 1);
  EXPECT_TRUE(busy_pointer);
  EXPECT_TRUE(Plugin("mvt_endless")->Faulted);
}

// The 64-bit edition's 32-bit worker, missing or on a machine that cannot
// run 32-bit programs: its plug-ins stay listed, with the reason.
TEST_F(WorkerTest, AWorkerThatCannotStartLeavesItsPluginsListedWithTheReason) {
  if (spi::kEditionBits != 64) GTEST_SKIP() << "each edition serves as its own worker; only the 64-bit one has another";
  {
    mvtest::HideWorkers hidden;
    StartWith(mvtest::FixtureDir32(), ".spi", {"mvt_good"});
    ASSERT_NE(Plugin("mvt_good"), nullptr);
    EXPECT_EQ(Plugin("mvt_good")->Problem(), "MorvaneSusieWorker32.exe が見つかりません");
    EXPECT_EQ(mvtest::AddListedBytes(images, "a.mvt", Mvt8()), nullptr);
    ListANativeImage();  // the program works on
    frmMain->PluginDlg->RefreshButtonClick();
    ASSERT_EQ(frmMain->PluginDlg->PluginCheckListBox->Count(), 1);
    EXPECT_NE(frmMain->PluginDlg->PluginCheckListBox->Item(0).find("（読み込めません：MorvaneSusieWorker32.exe"),
              std::string::npos);
    StopApp();
  }
  StartWith(mvtest::FixtureDir32(), ".spi", {"mvt_good"});
  if (Plugin("mvt_good")->Problem().empty()) GTEST_SKIP() << "this machine runs 32-bit programs";
  EXPECT_EQ(Plugin("mvt_good")->Problem(), "このPCでは32ビットのプラグインを実行できません");
}

// Past what travels in the mailbox: the file as a mapping the worker maps,
// the picture in a section the program's bitmap is made on.
TEST_F(WorkerTest, LargeFilesAndPicturesGoThroughSharedSections) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_good"});
  const int w = 1100, h = 800;  // 24 bits: 2.6 MB of rows
  std::string rows(static_cast<std::size_t>(mv::test::MvtRowStride(w, 24)) * h, '\0');
  rows[0] = 0x10, rows[1] = 0x20, rows[2] = 0x30;  // the bottom row's first pixel
  const int sections = mv::HandleCount<mv::KernelHandleTraits>::live;
  tag_BeforeImage* e = mvtest::AddListedBytes(images, "big.mvt", mv::test::BuildMvt(w, h, 24, {}, rows));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Width, w);
  EXPECT_EQ(e->Height, h);
  EXPECT_EQ(::GetPixel(e->Bitmap->CanvasHandle(), 0, h - 1), RGB(0x30, 0x20, 0x10));
  EXPECT_EQ(mv::HandleCount<mv::KernelHandleTraits>::live, sections + 1) << "the bitmap keeps its section";
}

// The worker's word on whom to blame counts only for a plug-in its request
// named: one it did not name (switched off, or no plug-in at all) is not
// marked, and the deaths end with the file's failure instead of workers
// restarted without end.
TEST_F(WorkerTest, AWorkerBlamingAPluginTheRequestDidNotNameIsNotBelieved) {
  for (const char* liar : {"mvt_blame_next", "mvt_blame_far"}) {
    SCOPED_TRACE(liar);
    StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {liar, "mvt_good"});
    Plugin("mvt_good")->Enabled = 0;
    EXPECT_EQ(mvtest::AddListedBytes(images, "a.mvt", Mvt8()), nullptr);
    EXPECT_FALSE(Plugin("mvt_good")->Faulted) << "it was never called";
    ListANativeImage();  // the program goes on
    ExpectStillViewable(1);
    StopApp();
  }
}

// A plug-in that asks the user through a box of its own is no hang: the box
// comes up owned by the main window, which waits under it as under a box of
// its own; it outlives the hang limit, and answering it gives the picture.
// Files dropped meanwhile load after it, in order.
TEST_F(WorkerTest, APluginAskingTheUserIsWaitedForPastTheHangLimit) {
  StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {"mvt_modal_picture"}, "Plug-in Hang Seconds=1\r\n");
  for (const char* name : {"one.bmp", "two.bmp"}) mvtest::WriteFileBytes(images + name, mv::test::PlainBmp(24));
  mvtest::WriteFileBytes(images + "a.mvt", Mvt8());
  HWND owner = nullptr;
  bool main_disabled = false;
  DWORD up_at = 0;
  forms::Timer answer;
  answer.SetInterval(50);
  answer.OnTimer = [&] {
    HWND box = ::FindWindowA("#32770", "MVT busy");
    if (!box) return;
    if (!up_at) {
      up_at = ::GetTickCount();
      owner = ::GetWindow(box, GW_OWNER);
      ::PostMessageA(frmMain->Handle(), WM_DROPFILES,
                     reinterpret_cast<WPARAM>(mvtest::MakeDrop({images + "one.bmp", images + "two.bmp"})), 0);
    } else if (::GetTickCount() - up_at > 2500) {
      answer.SetEnabled(false);
      main_disabled = !::IsWindowEnabled(frmMain->Handle());
      ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  };
  answer.SetEnabled(true);
  frmMain->LoadPaths({mv::WideFromAnsi(images + "a.mvt")});
  ASSERT_TRUE(mvtest::WaitForLoad());
  ASSERT_EQ(frmMain->BeforeImages.size(), 3u) << "the box was not answered, or the plug-in was ended";
  EXPECT_EQ(frmMain->BeforeImages[0]->BitCount, 8);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(frmMain->lstBefore->Item(i), (std::array{"a.mvt", "one.bmp", "two.bmp"}[i]));
  EXPECT_EQ(owner, frmMain->Handle());
  EXPECT_TRUE(main_disabled);
  EXPECT_TRUE(::IsWindowEnabled(frmMain->Handle()));
  EXPECT_FALSE(Plugin("mvt_modal_picture")->Faulted);
}

// A section made only to reserve its pages maps at any size, yet cannot be
// read: the rows a worker hands over must all be committed.
TEST(WorkerSections, RowsCountOnlyWhereCommitted) {
  const DWORD bytes = 1u << 20;
  mv::unique_handle reserved(
      ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0, bytes, nullptr));
  mv::unique_handle committed(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, nullptr));
  ASSERT_TRUE(reserved && committed);
  const mv::unique_view r(::MapViewOfFile(reserved.get(), FILE_MAP_WRITE, 0, 0, bytes));
  const mv::unique_view c(::MapViewOfFile(committed.get(), FILE_MAP_READ, 0, 0, bytes));
  ASSERT_TRUE(r && c);
  EXPECT_TRUE(mv::RangeCommitted(c.get(), bytes));
  EXPECT_FALSE(mv::RangeCommitted(r.get(), bytes));
  ASSERT_NE(::VirtualAlloc(const_cast<void*>(r.get()), bytes / 2, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_TRUE(mv::RangeCommitted(r.get(), bytes / 2));
  EXPECT_FALSE(mv::RangeCommitted(r.get(), bytes));
}

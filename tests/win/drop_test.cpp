// Files that reach the program from outside its load dialog: dropped from
// the shell on the main window, or named on the command line.
#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/wide_text.h"
#include "forms/application.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "tests/support/bmp_builder.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/paths.h"

using mvtest::AppTest;

namespace {

std::wstring Wide(const std::string& s) { return mv::WideFromAnsi(s); }

std::vector<std::string> BeforeItems() {
  std::vector<std::string> v;
  for (int i = 0; i < frmMain->lstBefore->Count(); ++i) v.push_back(frmMain->lstBefore->Item(i));
  return v;
}

class DropTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dir = mvtest::MakeScratchDir("drop");
    mvtest::WriteFileBytes(dir + "first.bmp", mv::test::PlainBmp(24));
    mvtest::WriteFileBytes(dir + "second.bmp", "this is no bitmap at all");
    mvtest::WriteFileBytes(dir + "third.bmp", mv::test::PlainBmp(8));
    ::CreateDirectoryA((dir + "folder.bmp").c_str(), nullptr);
    StartApp();
  }
  std::string dir;
};

}  // namespace

TEST_F(DropTest, DroppedFilesLoadInOrderAsFromTheDialogAndFoldersArePassedOver) {
  // Drops on a list reach the main window, the one that accepts files.
  EXPECT_TRUE(::GetWindowLongA(frmMain->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  // A second drop while the failure box is up is not taken.
  boxes.WhileUp([&](const forms::MessageBoxRequest&) { mvtest::Drop(frmMain->Handle(), {dir + "first.bmp"}); });
  mvtest::Drop(frmMain->Handle(), {dir + "first.bmp", dir + "folder.bmp", dir + "second.bmp", dir + "third.bmp"});
  ASSERT_TRUE(mvtest::WaitForLoad());
  EXPECT_EQ(BeforeItems(), (std::vector<std::string>{"first.bmp", "third.bmp"}));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "指定のファイル：\r\n" + dir + "second.bmp" + "\r\nを読み込むことができません");
  EXPECT_TRUE(frmMain->btnDel1->Enabled());
  EXPECT_EQ(frmMain->LastFolder, Wide(dir.substr(0, dir.size() - 1)));
}

TEST_F(DropTest, ADropWhileThePluginDialogIsUpDoesNothing) {
  bool dropped = false;
  // Runs inside the dialog's modal loop: a posted message reaches the
  // disabled main window there as the shell's would.
  frmMain->PostCall([&] {
    mvtest::Drop(frmMain->Handle(), {dir + "first.bmp", dir + "third.bmp"});
    dropped = true;
    frmMain->PluginDlg->SetModalResult(IDCANCEL);
  });
  frmMain->Menu_PluginClick(nullptr);
  EXPECT_TRUE(dropped);
  EXPECT_EQ(frmMain->lstBefore->Count(), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
}

// The program started with a quoted path holding a space and a path
// relative to its current folder, whose name the code page cannot say,
// lists both, in that order.
TEST(CommandLine, StartsWithTheNamedFilesListed) {
  const std::string dir = mvtest::MakeScratchDir("command line");
  const std::wstring relative = L"rel\uD55C.bmp";
  ::CreateDirectoryA((dir + "with space").c_str(), nullptr);
  mvtest::WriteFileBytes(dir + "with space\\a b.bmp", mv::test::PlainBmp(24));
  mvtest::WriteFileBytes(Wide(dir) + relative, mv::test::PlainBmp(8));
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  std::wstring cmd = Wide("\"" + mvtest::ProgramPath() + "\" \"" + dir + "with space\\a b.bmp\" ") + relative;
  ASSERT_TRUE(::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, Wide(dir).c_str(), &si, &pi));
  std::vector<std::wstring> items;
  HWND main = nullptr;
  for (int i = 0; i < 300 && items.size() < 2; ++i) {
    ::Sleep(50);
    items = mvtest::SourceListOf(pi.dwProcessId, &main);
  }
  if (main) ::PostMessageA(main, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  ASSERT_NE(main, nullptr) << "no visible main window";
  // An item's text is its code-page name (the list draws the wide one): an
  // item at all shows that the wide path reached the file.
  EXPECT_EQ(items, (std::vector<std::wstring>{L"a b.bmp", L"rel?.bmp"}));
}

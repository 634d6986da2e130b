// The load command through the real open dialog, and the source list that
// shows what it loaded.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/wide_text.h"
#include "forms/application.h"
#include "forms/dialogs.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/paths.h"

using mvtest::AppTest;

namespace {

constexpr char kOpenTitle[] = "画像ファイルを開く";

std::string Bmp(int bits, int w = 4, int h = 4) { return mv::test::PlainBmp(bits, w, h); }

void PressLoad() {
  frmMain->btnLoadClick(nullptr);
  mvtest::WaitForLoad();
}

std::vector<std::string> Items(forms::ListBox& l) {
  std::vector<std::string> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l.Item(i));
  return v;
}
std::vector<std::string> Items(forms::ComboBox& c) {
  std::vector<std::string> v;
  for (int i = 0; i < c.Count(); ++i) v.push_back(c.Item(i));
  return v;
}

class LoadTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    dir = mvtest::MakeScratchDir("load");
    StartApp();
  }
  void TearDown() override {
    forms::OpenDialog::ExecuteOverride() = nullptr;
    AppTest::TearDown();
  }
  // Loads through the program's own command with these names typed.
  void LoadTyped(const std::string& names) {
    frmMain->LastFolder = mv::WideFromAnsi(dir.substr(0, dir.size() - 1));
    mvtest::DialogDriver driver(kOpenTitle, [&](HWND d) { mvtest::TypeFileNamesAndOpen(d, names); });
    PressLoad();
    ASSERT_TRUE(driver.Join()) << "the open dialog did not come up";
  }
  std::string dir;
};

}  // namespace

TEST_F(LoadTest, ThreeFilesWithTheSecondFailingAppendFirstAndThird) {
  mvtest::WriteFileBytes(dir + "first.bmp", Bmp(24));
  mvtest::WriteFileBytes(dir + "second.bmp", "this is no bitmap at all");
  mvtest::WriteFileBytes(dir + "third.bmp", Bmp(8));
  // While the box is up (a pump standing in for its modal loop) the list
  // shows the image added before it.
  unsigned icon_while_up = 1;
  boxes.WhileUp([&](const forms::MessageBoxRequest&) {
    mvtest::Pump();
    icon_while_up = mvtest::CaptureClient(frmMain->lstBefore->Handle()).at(2, 2);
  });
  LoadTyped("\"first.bmp\" \"second.bmp\" \"third.bmp\"");
  EXPECT_EQ(icon_while_up, 0u) << "the first image's icon frame";

  const std::vector<std::string> expected{"first.bmp", "third.bmp"};
  EXPECT_EQ(Items(*frmMain->lstBefore), expected);
  EXPECT_EQ(Items(*frmPreview->cmbPreview), expected);
  EXPECT_EQ(Items(*frmPrePalette->cmbPreview), expected);
  ASSERT_EQ(frmMain->BeforeImages.size(), 2u);
  EXPECT_EQ(frmMain->BeforeImages[0]->FilePath, dir + "first.bmp");
  EXPECT_EQ(frmMain->BeforeImages[1]->DepthIcon, 2);
  EXPECT_TRUE(frmMain->btnDel1->Enabled());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  const auto& box = boxes.Boxes()[0];
  EXPECT_EQ(box.text, "指定のファイル：\r\n" + dir + "second.bmp" + "\r\nを読み込むことができません");
  EXPECT_EQ(box.caption, "読み込み失敗");
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(box.owner, frmMain->Handle());
  // The viewers are not shown by loading.
  EXPECT_FALSE(frmPreview->Showing());
  EXPECT_FALSE(frmPrePalette->Showing());

  // The next dialog opens where the last file came from: a file taken from
  // another folder than the one the dialog started in.
  frmMain->LastFolder = mv::WideFromAnsi(mvtest::ExeDir().substr(0, mvtest::ExeDir().size() - 1));
  mvtest::DialogDriver driver(kOpenTitle, [&](HWND d) { mvtest::TypeFileNamesAndOpen(d, dir + "third.bmp"); });
  PressLoad();
  ASSERT_TRUE(driver.Join()) << "the open dialog did not come up";
  EXPECT_EQ(frmMain->LastFolder, mv::WideFromAnsi(dir.substr(0, dir.size() - 1)));
}

TEST_F(LoadTest, OnlyFailingFilesLeaveDeleteButtonDisabled) {
  mvtest::WriteFileBytes(dir + "x.png", "not decodable without a plug-in");
  mvtest::WriteFileBytes(dir + "y.png", "nor this");
  LoadTyped("\"x.png\" \"y.png\"");
  EXPECT_EQ(frmMain->lstBefore->Count(), 0);
  EXPECT_FALSE(frmMain->btnDel1->Enabled());
  EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST_F(LoadTest, CancellingChangesNothing) {
  frmMain->LastFolder = L"C:\\windows";
  mvtest::DialogCanceller cancel(kOpenTitle);
  PressLoad();
  EXPECT_TRUE(cancel.Join());
  EXPECT_EQ(frmMain->LastFolder, L"C:\\windows");
  EXPECT_EQ(frmMain->lstBefore->Count(), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoadTest, SameFileTwiceGivesTwoIndependentItems) {
  mvtest::WriteFileBytes(dir + "same.bmp", Bmp(24));
  LoadTyped("\"same.bmp\" \"same.bmp\"");
  ASSERT_EQ(frmMain->BeforeImages.size(), 2u);
  EXPECT_NE(frmMain->BeforeImages[0]->FileView.get(), frmMain->BeforeImages[1]->FileView.get());
  EXPECT_EQ(Items(*frmMain->lstBefore), (std::vector<std::string>{"same.bmp", "same.bmp"}));
}

TEST_F(LoadTest, FiveHundredFilesChosenAtOnceAllLoad) {
  // Long names, so the chosen list outgrows the dialog's first buffer.
  std::vector<std::string> names;
  for (int i = 0; i < 500; ++i) {
    char prefix[16];
    wsprintfA(prefix, "%03d_", i);
    names.push_back(prefix + std::string(140, 'n') + ".bmp");
    mvtest::WriteFileBytes(dir + names.back(), Bmp(8, 2, 2));
  }
  frmMain->LastFolder = mv::WideFromAnsi(dir.substr(0, dir.size() - 1));
  mvtest::DialogDriver driver(kOpenTitle, [](HWND d) { mvtest::SelectAllAndOpen(d); }, 20000);
  PressLoad();
  ASSERT_TRUE(driver.Join());
  ASSERT_EQ(frmMain->lstBefore->Count(), 500);
  EXPECT_EQ(frmPreview->cmbPreview->Count(), 500);
  EXPECT_EQ(frmPrePalette->cmbPreview->Count(), 500);
  std::vector<std::string> listed = Items(*frmMain->lstBefore);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, names);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoadTest, LongNameCanBeScrolledToItsEnd) {
  // As long as the path may be, up to 200 characters.
  const std::string name = std::string(std::min<size_t>(200, MAX_PATH - 1 - dir.size() - 4), 'w') + ".bmp";
  mvtest::WriteFileBytes(dir + name, Bmp(24));
  LoadTyped("\"" + name + "\"");
  ASSERT_EQ(frmMain->lstBefore->Count(), 1);
  const int text = forms::MeasureText(frmMain->lstBefore->Font(), name).cx;
  EXPECT_EQ(frmMain->lstBefore->HorizontalExtent(), text + 22);
  EXPECT_GT(frmMain->lstBefore->HorizontalExtent(), 217);
}

TEST_F(LoadTest, DialogFailureAsksRetryOrCancel) {
  int shown = 0;
  forms::OpenDialog::ExecuteOverride() = [&](forms::OpenDialog& d) -> bool {
    ++shown;
    EXPECT_EQ(d.FileName, L"");
    if (shown == 1) throw forms::FileOpenError("ファイルを開けません");
    return false;  // the second time the user cancels
  };
  boxes.Answer({IDRETRY});
  PressLoad();
  EXPECT_EQ(shown, 2);  // Retry showed the dialog again
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "オープンエラー");
  EXPECT_EQ(boxes.Boxes()[0].text, "ファイルを開けません");
  EXPECT_EQ(boxes.Boxes()[0].flags, static_cast<UINT>(MB_RETRYCANCEL));

  shown = 0;
  forms::OpenDialog::ExecuteOverride() = [&](forms::OpenDialog&) -> bool {
    ++shown;
    throw forms::FileOpenError("x");
  };
  boxes.Answer({IDCANCEL});
  PressLoad();
  EXPECT_EQ(shown, 1);
}

TEST(OpenDialogResult, SplitsFolderAndNames) {
  const wchar_t multi[] = L"C:\\pics\0a.bmp\0b.bmp\0";
  EXPECT_EQ(forms::OpenDialog::SplitResult(multi, std::size(multi)),
            (std::vector<std::wstring>{L"C:\\pics\\a.bmp", L"C:\\pics\\b.bmp"}));
  const wchar_t root[] = L"C:\\\0a.bmp\0b.bmp\0";
  EXPECT_EQ(forms::OpenDialog::SplitResult(root, std::size(root)),
            (std::vector<std::wstring>{L"C:\\a.bmp", L"C:\\b.bmp"}));
  const wchar_t single[] = L"C:\\pics\\one.bmp\0";
  EXPECT_EQ(forms::OpenDialog::SplitResult(single, std::size(single)),
            (std::vector<std::wstring>{L"C:\\pics\\one.bmp"}));
  // A folder whose name ends in 表 still gets its separator.
  const wchar_t jp[] = L"C:\\表\0a.bmp\0b.bmp\0";
  EXPECT_EQ(forms::OpenDialog::SplitResult(jp, std::size(jp))[0], L"C:\\表\\a.bmp");
}

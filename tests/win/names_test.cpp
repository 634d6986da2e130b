// File names the program's code page cannot say: they load, through the
// open dialog and from a list of paths, show their real characters, and
// reach the plug-ins, in the program and in a worker alike.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "app/image_item.h"
#include "base/open_file.h"
#include "base/wide_text.h"
#include "palette/PreviewPaletteFrom.h"
#include "preview/PreviewForm.h"
#include "susie/spi_interface.h"
#include "tests/support/bmp_builder.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/worker_test_support.h"

namespace {

// 😀, U+1F600: a surrogate pair.
const std::wstring kEmoji = L"\xD83D\xDE00";

std::string Bmp24() { return mv::test::BuildBmp(mv::test::BmpSpec{}); }

std::wstring WindowText(HWND w) {
  wchar_t text[512] = {};
  // As the window's own procedure hands it over: an ANSI one would give '?'.
  ::GetWindowTextW(w, text, static_cast<int>(std::size(text)));
  return text;
}

// Whether the source list's item shows `name`: where its pixels differ
// from the background, against the name drawn with the list's font on the
// list itself, below its items (the focus frame's rows left out).
bool ItemShows(int index, const std::wstring& name) {
  HWND list = frmMain->lstBefore->Handle();
  ::UpdateWindow(list);
  const int h = mv::ImageItemHeight(*frmMain->imglstBits), left = mv::ImageItemTextLeft(*frmMain->imglstBits);
  const int top = static_cast<int>(index - ::SendMessageW(list, LB_GETTOPINDEX, 0, 0)) * h;
  const int spare = top + (frmMain->lstBefore->Count() - index + 1) * h;
  HDC dc = ::GetDC(list);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size);
  ::TextOutW(dc, left, spare + (h - size.cy) / 2, name.c_str(), static_cast<int>(name.size()));
  ::SelectObject(dc, old);
  ::ReleaseDC(list, dc);
  const mvtest::Capture c = mvtest::CaptureClient(list);
  ::InvalidateRect(list, nullptr, TRUE);
  for (int y = 1; y < h - 1; ++y)
    for (int x = left; x < c.width - 2; ++x)
      if ((c.at(x, top + y) != c.at(left, top + 1)) != (c.at(x, spare + y) != c.at(left, spare + 1))) return false;
  return true;
}

// Each test runs with the plug-ins in the program and in a worker.
class NamesTest : public mvtest::WorkerTest, public ::testing::WithParamInterface<bool> {
 protected:
  void Start(const char* fixture) {
    StartWith(mvtest::FixtureDir(), MV_SPI_EXT, {fixture}, GetParam() ? "Plug-ins In Process=1\r\n" : "");
    wide_images = mv::WideFromAnsi(images);
  }
  // Writes each file and loads them all with the load command's operation.
  void Load(const std::vector<std::pair<std::wstring, std::string>>& files) {
    std::vector<std::wstring> paths;
    for (const auto& [name, bytes] : files) {
      mvtest::WriteFileBytes(wide_images + name, bytes);
      paths.push_back(wide_images + name);
    }
    frmMain->LoadPaths(paths);
    ASSERT_TRUE(mvtest::WaitForLoad());
  }
  std::wstring wide_images;
};

}  // namespace

TEST_P(NamesTest, NamesBeyondTheCodePageLoadShowAndGoThroughTheDialog) {
  Start("mvt_good");
  const std::vector<std::wstring> names = {L"한국어.bmp", L"简体字.mvt", kEmoji + L".mvt", L"é.bmp", L"ê.bmp"};
  for (const std::wstring& name : names)
    mvtest::WriteFileBytes(wide_images + name, name.ends_with(L".mvt") ? Mvt8() : Bmp24());
  mvtest::WriteFileBytes(wide_images + L"못 읽음.bmp", "no bitmap");
  frmMain->LastFolder = wide_images.substr(0, wide_images.size() - 1);
  std::wstring typed;
  for (const std::wstring& name : {names[0], names[1], std::wstring(L"못 읽음.bmp"), names[2], names[3], names[4]})
    typed += L"\"" + name + L"\" ";
  mvtest::DialogDriver driver("画像ファイルを開く", [&](HWND d) { mvtest::TypeFileNamesAndOpen(d, typed); });
  frmMain->btnLoadClick(nullptr);
  ASSERT_TRUE(driver.Join()) << "the open dialog did not come up";
  ASSERT_TRUE(mvtest::WaitForLoad());

  ASSERT_EQ(frmMain->BeforeImages.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(frmMain->BeforeImages[i]->WidePath, wide_images + names[i]);
    EXPECT_TRUE(ItemShows(static_cast<int>(i), names[i])) << i;
  }
  EXPECT_EQ(frmMain->BeforeImages[0]->FileName, "???.bmp");  // the code page's text keeps its '?'
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  const std::wstring failed = L"指定のファイル：\r\n" + wide_images + L"못 읽음.bmp\r\nを読み込むことができません";
  EXPECT_EQ(boxes.Boxes()[0].wide_text, failed);
  EXPECT_EQ(mvtest::TooltipShownAt(frmMain->lstBefore->Handle(), 30, 2 * 20 + 5), wide_images + names[2]);

  frmPreview->ImageIndex = 2;
  frmPreview->Show();
  frmPrePalette->ShowPalette(2);
  mvtest::Pump();
  EXPECT_EQ(WindowText(frmPreview->Handle()), kEmoji + L".mvt 4x4 8bit");
  EXPECT_EQ(WindowText(frmPrePalette->Handle()), kEmoji + L".mvt 8bit");
  frmPreview->ShowImage(0);
  EXPECT_EQ(WindowText(frmPreview->Handle()), names[0] + L" 4x4 24bit");  // 한국어
  for (HWND w : {frmMain->Handle(), frmMain->lstBefore->Handle(), frmPreview->Handle(),
                 frmPreview->cmbPreview->Handle(), frmPrePalette->Handle()})
    EXPECT_TRUE(::IsWindowUnicode(w));
  // "é.bmp" and "ê.bmp" are the same text in the code page: the picker
  // still shows the one chosen.
  frmPreview->cmbPreview->SetItemIndex(4);
  frmPreview->cmbPreviewChange();
  EXPECT_EQ(frmPreview->ImageIndex, 4);

  frmMain->RemoveImages({true, false, false, false, false});
  ASSERT_EQ(frmMain->lstBefore->Count(), 4);
  EXPECT_TRUE(ItemShows(0, names[1]));
}

// Folders below the images' folder deep enough that the path of a file in
// them holds at least `chars` characters; the relative path, with a final
// backslash.
std::wstring DeepFolder(const std::wstring& base, std::size_t chars) {
  std::wstring relative;
  while (base.size() + relative.size() < chars) {
    relative += std::wstring(60, L'd') + std::to_wstring(relative.size()) + L"\\";
    ::CreateDirectoryW(mv::FileCallPath(base + relative).c_str(), nullptr);
  }
  return relative;
}

// A plug-in that opens its name argument: a name of the code page is
// told byte for byte (表 and ソ end in 0x5C, a backslash's byte), another
// by its short form, as is one too long for the code page's file calls.
TEST_P(NamesTest, PluginsAreToldANameThatOpensTheFile) {
  Start("mvt_openname");
  const std::wstring deep = DeepFolder(wide_images, 300) + L"a.mvt";
  Load({{mv::WideFromAnsi("表ソ.mvt"), Mvt8()}, {mv::WideFromAnsi("表ソ.bmp"), Bmp24()}, {L"한국어.mvt", Mvt8()},
        {deep, Mvt8()}});
  ASSERT_EQ(frmMain->BeforeImages.size(), 4u) << mvtest::FixtureStatsOf(*Plugin("mvt_openname"))->lastPath;
  EXPECT_EQ(frmMain->BeforeImages[0]->FilePath, images + "\x95\x5C\x83\x5C.mvt");
  EXPECT_EQ(frmMain->BeforeImages[1]->FileName, "\x95\x5C\x83\x5C.bmp");
}

TEST_P(NamesTest, PluginWithWideEntryIsToldTheNameAsItIs) {
  Start("mvt_widename");
  const std::wstring name = L"简体字" + kEmoji + L".mvt";
  const std::wstring deep = DeepFolder(wide_images, 1100) + name;
  Load({{name, Mvt8()}, {deep, Mvt8()}});
  EXPECT_EQ(frmMain->BeforeImages.size(), 2u);
  const mv::test::FixtureCounters* stats = mvtest::FixtureStatsOf(*Plugin("mvt_widename"));
  EXPECT_EQ(stats->isSupportedWCalls, 2);
  // Told whole, however long: the fixture keeps its start and its length.
  const std::wstring told(reinterpret_cast<const wchar_t*>(stats->lastWidePath));
  EXPECT_EQ(told, (wide_images + deep).substr(0, told.size()));
  EXPECT_EQ(stats->lastWidePathLength, static_cast<int>((wide_images + deep).size()));
}

INSTANTIATE_TEST_SUITE_P(InProcessAndInWorker, NamesTest, ::testing::Bool());

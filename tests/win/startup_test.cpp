// Start-up of the real program windows: the plug-in folder's precedence,
// the main window as laid out, the status-bar hint, the shortcuts that act
// from every window, and closing.
#include <windows.h>
#include <commctrl.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "base/handles.h"
#include "base/sjis_path.h"
#include "base/wide_text.h"
#include "forms/application.h"
#include "forms/bitmap.h"
#include "forms/font.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "plugins/settings_file.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/worker_test_support.h"

using mvtest::AppTest;

namespace {

std::string FixtureCopy(const std::string& name, const std::vector<std::string>& plugins) {
  std::string dir = mvtest::MakeScratchDir(name);
  for (const auto& p : plugins) ::CopyFileA((mvtest::FixtureDir() + p).c_str(), (dir + p).c_str(), FALSE);
  return dir;
}

std::string ExeFolderWithSlash() { return mv::ExtractFilePath(settings::ExecutablePath()); }

RECT ChildRect(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string MenuText(HMENU menu, UINT pos) {
  char buf[256] = {};
  ::GetMenuStringA(menu, pos, buf, sizeof(buf), MF_BYPOSITION);
  return buf;
}

void PostKey(HWND hwnd, WORD vk) {
  ::PostMessageA(hwnd, WM_KEYDOWN, vk, 1);
  ::PostMessageA(hwnd, WM_KEYUP, vk, 0xC0000001);
}

// While it lives, the system makes no window of one class on this thread:
// a computer-based-training hook refuses each one.
class RefuseWindowClass {
 public:
  explicit RefuseWindowClass(const char* class_name) {
    refused_ = class_name;
    hook_ = ::SetWindowsHookExA(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
  }
  ~RefuseWindowClass() { ::UnhookWindowsHookEx(hook_); }
  bool Hooked() const { return hook_ != nullptr; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
      const char* cls = reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs->lpszClass;
      if (!IS_INTRESOURCE(cls) && ::lstrcmpiA(cls, refused_) == 0) return 1;
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
  }
  static inline const char* refused_ = nullptr;
  HHOOK hook_ = nullptr;
};

struct ClassSearch {
  const char* name;
  int count;
};

// A named function: the 32-bit calling convention cannot come from a lambda.
BOOL CALLBACK CountOfClass(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ClassSearch*>(p);
  if (mvtest::IsOfClass(w, s->name)) ++s->count;
  return TRUE;
}

int ThreadWindowsOfClass(const char* class_name) {
  ClassSearch search{class_name, 0};
  ::EnumThreadWindows(::GetCurrentThreadId(), &CountOfClass, reinterpret_cast<LPARAM>(&search));
  return search.count;
}

}  // namespace

TEST_F(AppTest, NoSettingsFileNoRegistryUsesExecutableFolder) {
  StartApp();
  EXPECT_EQ(frmMain->SettingsPath, mv::ExtractFileDir(settings::ExecutablePath()) + "\\Morvane.ini");
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir, ExeFolderWithSlash());
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir.back(), '\\');
  EXPECT_EQ(frmMain->LastFolder, mv::WideFromAnsi(mv::ExtractFileDir(settings::ExecutablePath())));
  EXPECT_NE(frmMain->PluginDlg, nullptr);
}

TEST_F(AppTest, EmptyFolderSettingBehavesAsNoSettings) {
  const std::string reg = FixtureCopy("start_reg_empty", {"mvt_good" MV_SPI_EXT});
  mvtest::SetSusieRegistryPath(reg);
  mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=\r\n");
  StartApp();
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir, reg);
  ASSERT_EQ(frmMain->SpiCtrl->Plugins.size(), 1u);
}

TEST_F(AppTest, SettingsFolderWinsOverRegistryAndIsTakenVerbatim) {
  const std::string ini_dir = FixtureCopy("start_ini", {"mvt_good" MV_SPI_EXT, "mvt_noinfo" MV_SPI_EXT});
  const std::string reg_dir = FixtureCopy("start_reg", {"mvt_cfg5" MV_SPI_EXT});
  mvtest::SetSusieRegistryPath(reg_dir);
  // No trailing backslash in the file: the host keeps the text as it is.
  const std::string verbatim = ini_dir.substr(0, ini_dir.size() - 1);
  mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + verbatim + "\r\n");
  StartApp();
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir, verbatim);
  EXPECT_EQ(frmMain->SpiCtrl->Plugins.size(), 2u);
}

TEST_F(AppTest, RegistryFolderUsedWithoutSettings) {
  const std::string reg_dir = FixtureCopy("start_reg_only", {"mvt_cfg5" MV_SPI_EXT});
  mvtest::SetSusieRegistryPath(reg_dir);
  StartApp();
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir, reg_dir);
  ASSERT_EQ(frmMain->SpiCtrl->Plugins.size(), 1u);
  EXPECT_EQ(frmMain->SpiCtrl->Plugins[0]->FileName, "mvt_cfg5" MV_SPI_EXT);
}

TEST_F(AppTest, MissingSettingsFolderGivesEmptyListSilently) {
  mvtest::WriteSettingsFile("[setting]\r\nsusie plug-in dir=Z:\\no\\such\\folder\r\n");  // keys ignore case
  StartApp();
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir, "Z:\\no\\such\\folder");
  EXPECT_TRUE(frmMain->SpiCtrl->Plugins.empty());
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(AppTest, LongFolderSettingIsCutTo259Characters) {
  const std::string long_dir = "C:\\" + std::string(300, 'x');
  mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + long_dir + "\r\n");
  StartApp();
  EXPECT_EQ(frmMain->SpiCtrl->PluginDir, long_dir.substr(0, 259));
}

TEST(Settings, HangLimitIsClampedNotWrapped) {
  const std::pair<const char*, int> cases[] = {{"0", 0}, {"7", 7}, {"86400", 86400}, {"4294968", 86400},
                                               {"99999999999999999999", 86400}, {"-5", 30}, {"soon", 30}};
  for (const auto& [text, seconds] : cases) {
    mvtest::WriteSettingsFile(std::string("[Setting]\r\nPlug-in Hang Seconds=") + text + "\r\n");
    EXPECT_EQ(settings::ReadHangSeconds(mvtest::SettingsPath()), seconds) << text;
  }
  mvtest::WriteSettingsFile("");
  EXPECT_EQ(settings::ReadHangSeconds(mvtest::SettingsPath()), settings::kDefaultHangSeconds);
}

TEST_F(AppTest, StoredOffStateAppliesAtStart) {
  const std::string dir = FixtureCopy("start_states", {"mvt_good" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT});
  mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + dir +
                            "\r\n[Plug-in]\r\nmvt_good" MV_SPI_EXT "=0\r\nmvt_cfg5" MV_SPI_EXT "=2\r\nmvt_nocfg" MV_SPI_EXT "=yes\r\n");
  StartApp();
  ASSERT_EQ(frmMain->SpiCtrl->Plugins.size(), 3u);
  for (const auto& p : frmMain->SpiCtrl->Plugins) EXPECT_EQ(p->Enabled, 0) << p->FileName;
}

TEST_F(AppTest, MainWindowLayout) {
  StartApp();
  HWND main = frmMain->Handle();
  EXPECT_EQ(frmMain->Caption(), "Morvane Ver.0.9");
  EXPECT_EQ(forms::Application::Instance().Title(), "Morvane Ver.0.9");
  SIZE client = frmMain->ClientSize();
  EXPECT_EQ(client.cx, 631);
  EXPECT_EQ(client.cy, 434);
  const LONG style = ::GetWindowLongA(main, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_NE(frmMain->Icon(), nullptr);
  // Centred: the shift rounds towards minus infinity.
  EXPECT_EQ(frmMain->Left(), (::GetSystemMetrics(SM_CXSCREEN) - frmMain->Width()) >> 1);
  EXPECT_EQ(frmMain->Top(), (::GetSystemMetrics(SM_CYSCREEN) - frmMain->Height()) >> 1);

  auto expect_rect = [](HWND h, int l, int t, int w, int ht) {
    RECT r = ChildRect(h);
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right - r.left, w);
    EXPECT_EQ(r.bottom - r.top, ht);
  };
  expect_rect(frmMain->ToolBar->Handle(), 0, 0, 631, 38);
  expect_rect(frmMain->btnDel1->Handle(), 151, 41, 65, 24);
  expect_rect(frmMain->btnDel2->Handle(), 566, 41, 65, 24);
  expect_rect(frmMain->lstBefore->Handle(), 0, 64, 217, 351);
  expect_rect(frmMain->lstAfter->Handle(), 224, 64, 409, 351);
  expect_rect(frmMain->StatusBar->Handle(), 0, 413, 631, 21);
  EXPECT_EQ(frmMain->btnDel1->Text(), "削除(&D)");
  EXPECT_EQ(frmMain->btnDel2->Text(), "削除(&R)");
  EXPECT_FALSE(frmMain->btnDel1->Enabled());
  EXPECT_FALSE(frmMain->btnDel2->Enabled());
  EXPECT_EQ(frmMain->StatusBar->SimpleText(), "");
  EXPECT_EQ(frmMain->Label1->Caption(), "作業前の画像リスト");
  EXPECT_EQ(frmMain->Label2->Caption(), "作業後の画像リスト");
  EXPECT_EQ(frmMain->Label1->Left(), 8);
  EXPECT_EQ(frmMain->Label2->Left(), 232);
  EXPECT_EQ(frmMain->lstBefore->Count(), 0);
  EXPECT_EQ(frmMain->lstAfter->Count(), 0);
  EXPECT_EQ(frmMain->ToolBar->ButtonCount(), 1);
  EXPECT_EQ(frmMain->ToolBar->Info(0).hint, "画像を読み込みます");
  EXPECT_EQ(frmMain->imglstBits->Count(), 7);
  EXPECT_EQ(frmMain->imglstBits->Width(), 16);
  EXPECT_EQ(frmMain->imglstToolButton->Width(), 30);
  const LONG list_style = ::GetWindowLongA(frmMain->lstBefore->Handle(), GWL_STYLE);
  EXPECT_TRUE(list_style & LBS_OWNERDRAWVARIABLE);
  EXPECT_TRUE(list_style & LBS_EXTENDEDSEL);
  EXPECT_FALSE(list_style & LBS_SORT);

  HMENU bar = ::GetMenu(main);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(MenuText(bar, 0), "ファイル(&F)");
  EXPECT_EQ(MenuText(bar, 1), "設定(&S)");
  HMENU file = ::GetSubMenu(bar, 0);
  EXPECT_EQ(MenuText(file, 0), "画像を読み込む(&O)\tL");
  EXPECT_EQ(MenuText(file, 1), "フォルダーを読み込む(&D)");
  EXPECT_EQ(MenuText(file, 2), "読み込みの中止(&T)\tEsc");
  EXPECT_EQ(::GetMenuState(file, 2, MF_BYPOSITION) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  EXPECT_EQ(::GetMenuState(file, 3, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(MenuText(file, 4), "Morvaneの終了(&X)\tEsc");
  EXPECT_EQ(MenuText(::GetSubMenu(bar, 1), 0), "Susieプラグインの設定(&P)");

  // The viewers exist and stay hidden.
  ASSERT_NE(frmPreview, nullptr);
  ASSERT_NE(frmPrePalette, nullptr);
  EXPECT_FALSE(frmPreview->Showing());
  EXPECT_FALSE(frmPrePalette->Showing());
  EXPECT_EQ(frmPreview->ImageIndex, 0);
  EXPECT_EQ(frmPrePalette->ImageIndex, 0);
  EXPECT_TRUE(::IsWindowVisible(main));
}

// The named fonts, as the test prefix maps them under Wine (IPA P Gothic
// and IPA Gothic): texts fit where the windows place them.
TEST(JapaneseFonts, TextsFitAndTheListFontIsFixedPitch) {
  const forms::FontSpec ui = forms::DefaultFont();
  EXPECT_LE(forms::MeasureText(forms::GetFont(ui.Bold().WithHeight(16)), "作業前の画像リスト").cx, 151 - 8)
      << "Label1 runs under btnDel1";
  EXPECT_LE(forms::MeasureText(forms::GetFont(ui.Bold().WithHeight(13)), "１０進数").cx, 53);
  HFONT fixed = forms::GetFont(ui.WithFace("ＭＳ ゴシック"));
  EXPECT_EQ(forms::MeasureText(fixed, "iiii").cx, forms::MeasureText(fixed, "WWWW").cx);
}

TEST_F(AppTest, StatusBarShowsLoadHintOverButtonAndClearsOverForm) {
  StartApp();
  RECT b = frmMain->ToolBar->ButtonRect(0);
  ::SendMessageA(frmMain->ToolBar->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(b.left + 5, b.top + 5));
  EXPECT_EQ(frmMain->StatusBar->SimpleText(), "画像を読み込みます");
  char text[256] = {};
  ::SendMessageA(frmMain->StatusBar->Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "画像を読み込みます");
  // The button's tooltip gets it too: Wine's bar asks in ANSI, Windows' in
  // the form of its parent, a Unicode window.
  const auto command = static_cast<UINT_PTR>(frmMain->ToolBar->Info(0).command);
  wchar_t tip_text[80] = {};
  TTTOOLINFOW ti{TTTOOLINFOW_V1_SIZE, 0, frmMain->ToolBar->Handle(), command};
  ti.lpszText = tip_text;
  const HWND tip = reinterpret_cast<HWND>(::SendMessageW(frmMain->ToolBar->Handle(), TB_GETTOOLTIPS, 0, 0));
  ::SendMessageW(tip, TTM_GETTEXTW, std::size(tip_text), reinterpret_cast<LPARAM>(&ti));
  EXPECT_STREQ(tip_text, L"画像を読み込みます");
  NMTTDISPINFOW asked{{tip, command, TTN_GETDISPINFOW}};
  ::SendMessageW(frmMain->Handle(), WM_NOTIFY, command, reinterpret_cast<LPARAM>(&asked));
  EXPECT_STREQ(asked.lpszText, L"画像を読み込みます");
  // Over the tool bar beside the button nothing changes.
  ::SendMessageA(frmMain->ToolBar->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(400, 10));
  EXPECT_EQ(frmMain->StatusBar->SimpleText(), "画像を読み込みます");
  // Over the bare form (between the two lists) it is cleared.
  ::SendMessageA(frmMain->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(220, 200));
  EXPECT_EQ(frmMain->StatusBar->SimpleText(), "");
}

TEST_F(AppTest, LFromPreviewWindowOpensLoadDialog) {
  StartApp();
  frmPreview->Show();
  mvtest::Pump();
  mvtest::DialogCanceller cancel("画像ファイルを開く");
  PostKey(frmPreview->Handle(), 'L');
  mvtest::Pump(50);
  EXPECT_TRUE(cancel.Join());
  EXPECT_EQ(frmMain->lstBefore->Count(), 0);
}

TEST_F(AppTest, LInSourceListLoadsInsteadOfMovingSelection) {
  StartApp();
  frmMain->lstBefore->SetFocus();
  mvtest::DialogCanceller cancel("画像ファイルを開く");
  PostKey(frmMain->lstBefore->Handle(), 'L');
  mvtest::Pump(50);
  EXPECT_TRUE(cancel.Join());
}

TEST_F(AppTest, EscWithMaximisedPreviewRestoresItThenSecondEscEnds) {
  StartApp();
  frmPreview->Show();
  frmPreview->SetState(forms::WindowState::Maximized);
  mvtest::Pump();
  ASSERT_EQ(frmPreview->State(), forms::WindowState::Maximized);
  PostKey(frmPreview->Handle(), VK_ESCAPE);
  mvtest::Pump(50);
  EXPECT_EQ(frmPreview->State(), forms::WindowState::Normal);
  EXPECT_FALSE(forms::Application::Instance().Terminated());
  EXPECT_TRUE(frmMain->Showing());
  PostKey(frmPreview->Handle(), VK_ESCAPE);
  mvtest::Pump(50);
  EXPECT_TRUE(forms::Application::Instance().Terminated());
  EXPECT_FALSE(frmMain->Showing());
  EXPECT_FALSE(frmPreview->Showing());  // the close hides the preview too
  EXPECT_EQ(frmMain->SpiCtrl, nullptr);  // plug-ins unloaded
  EXPECT_EQ(frmMain->PluginDlg, nullptr);
}

TEST_F(AppTest, EscWithMinimisedPreviewEnds) {
  StartApp();
  frmPreview->Show();
  frmPreview->SetState(forms::WindowState::Minimized);
  mvtest::Pump();
  PostKey(frmMain->Handle(), VK_ESCAPE);
  mvtest::Pump(50);
  EXPECT_TRUE(forms::Application::Instance().Terminated());
}

TEST_F(AppTest, ExitMenuItemBehavesAsEsc) {
  StartApp();
  frmPreview->Show();
  frmPreview->SetState(forms::WindowState::Maximized);
  mvtest::Pump();
  ::SendMessageA(frmMain->Handle(), WM_COMMAND, MAKEWPARAM(frmMain->Menu_Exit, 0), 0);
  EXPECT_EQ(frmPreview->State(), forms::WindowState::Normal);
  EXPECT_FALSE(forms::Application::Instance().Terminated());
  // Maximised and then hidden, nothing is on show to restore: it ends.
  frmPreview->SetState(forms::WindowState::Maximized);
  frmPreview->Hide();
  ::SendMessageA(frmMain->Handle(), WM_COMMAND, MAKEWPARAM(frmMain->Menu_Exit, 0), 0);
  EXPECT_TRUE(forms::Application::Instance().Terminated());
}

TEST_F(AppTest, ClosingUnloadsEveryPluginAndReleasesEveryImage) {
  const std::string dir = FixtureCopy("start_close", {"mvt_good" MV_SPI_EXT, "mvt_noinfo" MV_SPI_EXT});
  mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + dir + "\r\n");
  StartApp();
  ASSERT_TRUE(mvtest::PluginLoaded(dir + "mvt_good" MV_SPI_EXT));
  ASSERT_EQ(mvtest::WorkersOf(::GetCurrentProcessId()).size(), 1u);
  const int views = mv::HandleCount<mv::ViewTraits>::live;
  const int palettes = mv::HandleCount<mv::GdiTraits<HPALETTE>>::live;
  const int bitmaps = forms::Bitmap::LiveCount();
  mv::test::BmpSpec eight;
  eight.bitCount = 8;
  ASSERT_NE(mvtest::AddListedBytes(dir, "n.bmp", mv::test::BuildBmp(eight)), nullptr);
  ASSERT_NE(mvtest::AddListedBytes(dir, "p.mvt", mv::test::BuildMvt(2, 2, 24, {}, std::string(16, '\x40'))), nullptr);
  ASSERT_GT(mv::HandleCount<mv::ViewTraits>::live, views);
  ASSERT_GT(forms::Bitmap::LiveCount(), bitmaps);
  ::SendMessageA(frmMain->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(forms::Application::Instance().Terminated());
  EXPECT_TRUE(frmMain->BeforeImages.empty());
  EXPECT_EQ(mv::HandleCount<mv::ViewTraits>::live, views - 1) << "the images' views and the worker's mailbox";
  EXPECT_EQ(mv::HandleCount<mv::GdiTraits<HPALETTE>>::live, palettes);
  EXPECT_EQ(forms::Bitmap::LiveCount(), bitmaps);
  EXPECT_FALSE(mvtest::PluginLoaded(dir + "mvt_good" MV_SPI_EXT));
  EXPECT_FALSE(mvtest::PluginLoaded(dir + "mvt_noinfo" MV_SPI_EXT));
  EXPECT_TRUE(mvtest::WorkersOf(::GetCurrentProcessId()).empty()) << "the worker outlived the close";
}

TEST_F(AppTest, ShortcutsDoNotActWhileAModalBoxIsUp) {
  StartApp();
  forms::Application::Instance().modal_level = 1;
  PostKey(frmPreview->Handle(), VK_ESCAPE);
  mvtest::Pump(50);
  forms::Application::Instance().modal_level = 0;
  EXPECT_FALSE(forms::Application::Instance().Terminated());
}

TEST_F(AppTest, ExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
  StartApp();
  frmMain->btnDel2->OnClick = [] { throw std::runtime_error("ハンドラで失敗しました"); };
  frmMain->btnDel2->SetEnabled(true);
  // A click arrives as a message, through a window procedure.
  ::SendMessageA(frmMain->Handle(), WM_COMMAND, MAKEWPARAM(frmMain->btnDel2->Id(), BN_CLICKED),
                 reinterpret_cast<LPARAM>(frmMain->btnDel2->Handle()));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "ハンドラで失敗しました");
  EXPECT_EQ(boxes.Boxes()[0].caption, "Morvane Ver.0.9");
  EXPECT_EQ(boxes.Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONSTOP));
  EXPECT_FALSE(forms::Application::Instance().Terminated());
  // And from a message the loop dispatches.
  ::PostMessageA(frmMain->Handle(), WM_COMMAND, MAKEWPARAM(frmMain->btnDel2->Id(), BN_CLICKED),
                 reinterpret_cast<LPARAM>(frmMain->btnDel2->Handle()));
  mvtest::Pump(20);
  EXPECT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_TRUE(frmMain->Showing());
}

TEST_F(AppTest, MainWindowWhoseListTheSystemRefusesThrowsAndLeavesNothingBehind) {
  const int forms_before = ThreadWindowsOfClass("MorvaneWindow");
  const int tips_before = ThreadWindowsOfClass(TOOLTIPS_CLASSA);
  const int icons_before = mv::HandleCount<mv::IconTraits>::live;
  const int image_lists_before = mv::HandleCount<mv::ImageListTraits>::live;
  {
    RefuseWindowClass refuse("LISTBOX");
    ASSERT_TRUE(refuse.Hooked());
    // The tool bar, the labels and the buttons are made before the list.
    EXPECT_THROW({ TfrmMain main; }, forms::WindowCreationError);
  }
  EXPECT_EQ(frmMain, nullptr);
  EXPECT_EQ(forms::Application::Instance().MainForm(), nullptr);
  EXPECT_EQ(ThreadWindowsOfClass("MorvaneWindow"), forms_before);
  EXPECT_EQ(ThreadWindowsOfClass(TOOLTIPS_CLASSA), tips_before);  // the tool bar's tips went with it
  EXPECT_EQ(mv::HandleCount<mv::IconTraits>::live, icons_before);
  EXPECT_EQ(mv::HandleCount<mv::ImageListTraits>::live, image_lists_before);
  // Nothing of the failed attempt is in the way of the next one.
  StartApp();
  EXPECT_TRUE(frmMain->Showing());
  EXPECT_EQ(forms::Application::Instance().MainForm(), frmMain);
}

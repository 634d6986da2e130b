// The plug-in settings dialog driven for real: shown modally over the main
// window, its buttons pressed from inside its own modal loop, the settings
// file and the loaded libraries checked afterwards. The one fake is the
// folder browser's answer (a replaced BrowseForFolder); the real shell
// browser is only brought up and cancelled.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "forms/application.h"
#include "forms/timer.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "plugins/settings_file.h"
#include "plugins/spi_ctrl.h"
#include "tests/fixtures/fixture_stats.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/app_harness.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/plugin_place.h"

namespace {

constexpr char kNoRowText[] = "プラグインが選択されていません";
constexpr char kNoRowCaption[] = "設定ダイアログが表示できません";
constexpr char kNoDialogText[] = "このプラグインには設定ダイアログはありません";
constexpr char kNoDialogCaption[] = "設定ダイアログ未実装";
constexpr char kErrorText[] = "このプラグインの設定ダイアログを表示できません";
constexpr char kErrorCaption[] = "設定ダイアログ表示エラー";
constexpr char kBrowsePrompt[] = "Susieプラグインのあるフォルダを選択してください";

std::string FixtureCopy(const std::string& name, const std::vector<std::string>& plugins) {
  std::string dir = mvtest::MakeScratchDir(name);
  for (const auto& p : plugins)
    EXPECT_TRUE(::CopyFileA((mvtest::FixtureDir() + p).c_str(), (dir + p).c_str(), FALSE)) << p;
  return dir;
}

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  ::CloseHandle(h);
  return out;
}

std::string ProfileString(const char* section, const char* key) {
  char buf[1024] = {};
  ::GetPrivateProfileStringA(section, key, "<absent>", buf, sizeof buf, mvtest::SettingsPath().c_str());
  return buf;
}

QvSpiCtrl& Host() { return *frmMain->SpiCtrl; }
TdlgPlugin& Dlg() { return *frmMain->PluginDlg; }

std::vector<std::string> PluginNames() {
  std::vector<std::string> v;
  for (const auto& p : Host().Plugins) v.push_back(p->FileName);
  return v;
}

int IndexOf(const std::string& file_name) {
  for (size_t i = 0; i < Host().Plugins.size(); ++i)
    if (Host().Plugins[i]->FileName == file_name) return static_cast<int>(i);
  return -1;
}

mv::test::FixtureCounters* StatsOf(const QvSpiPlugin& p) { return mvtest::FixtureStatsOf(p); }

// Stamps every loaded fixture's counters. A library loaded afresh (in this
// process or a new worker) starts from its own two GetPluginInfo calls
// again, so a stamp that is gone means it was unloaded and loaded again.
constexpr int kStamp = 1000;
void StampLoadedPlugins() {
  for (const auto& p : Host().Plugins)
    if (mv::test::FixtureCounters* s = StatsOf(*p)) s->pluginInfoCalls = kStamp;
}
bool StampsSurvived() {
  bool all = !Host().Plugins.empty();
  for (const auto& p : Host().Plugins) {
    mv::test::FixtureCounters* s = StatsOf(*p);
    all = all && s && s->pluginInfoCalls == kStamp;
  }
  return all;
}
bool FreshlyLoaded() {
  bool all = !Host().Plugins.empty();
  for (const auto& p : Host().Plugins) {
    mv::test::FixtureCounters* s = StatsOf(*p);
    all = all && s && s->pluginInfoCalls == 3;  // description, filter, end of the filters
  }
  return all;
}

void PostKey(HWND hwnd, WORD vk) {
  ::PostMessageA(hwnd, WM_KEYDOWN, vk, 1);
  ::PostMessageA(hwnd, WM_KEYUP, vk, 0xC0000001);
}

using mvtest::TextWidth;

class PluginDialogTest : public mvtest::AppTest {
 protected:
  // Starts the program with this folder in the settings file (and more lines).
  void StartWith(const std::string& folder, const std::string& more = "") {
    mvtest::WriteSettingsFile("[Setting]\r\nSusie Plug-in Dir=" + folder + "\r\n" + more);
    StartApp();
  }

  // Shows the dialog the way the menu does and runs `inside` from a timer
  // in its modal loop, once the showing (with its reload) is done. `inside`
  // closes the dialog itself; a watchdog closes it otherwise, failing the
  // test. Returns the modal result.
  int ShowAndDo(const std::function<void()>& inside) {
    bool ran = false, watchdog_fired = false;
    forms::Timer act, watchdog;
    act.SetInterval(1);
    act.OnTimer = [&] {
      act.SetEnabled(false);
      ran = true;
      inside();
    };
    watchdog.SetInterval(10000);
    watchdog.OnTimer = [&] {
      watchdog.SetEnabled(false);
      watchdog_fired = true;
      Dlg().SetModalResult(IDABORT);
    };
    act.SetEnabled(true);
    watchdog.SetEnabled(true);
    const int result = Dlg().ShowModal();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(watchdog_fired) << "the dialog did not close by itself";
    EXPECT_FALSE(Dlg().Showing());
    return result;
  }
};

}  // namespace

TEST_F(PluginDialogTest, JapaneseTextsAndLayout) {
  StartApp();
  TdlgPlugin& d = Dlg();
  EXPECT_EQ(d.Caption(), "Susieプラグインの設定");
  const SIZE client = d.ClientSize();
  EXPECT_EQ(client.cx, 432);
  EXPECT_EQ(client.cy, 364);
  struct Place {
    const forms::WinControl* c;
    const char* text;
    int left, top, width, height;
  } buttons[] = {{d.ResetButton.get(), "元に戻す(&R)", 257, 1, 112, 22},
                 {d.RegButton.get(), "レジストリ", 371, 1, 60, 22},
                 {d.DirButton.get(), "参照(&P)", 371, 24, 60, 25},
                 {d.RefreshButton.get(), "更新(&F)", 186, 57, 65, 25},
                 {d.SettingButton.get(), "設定(&S)", 120, 57, 65, 25},
                 {d.OKButton.get(), "Ｏ.Ｋ.(&O)", 240, 332, 97, 32},
                 {d.CancelButton.get(), "キャンセル(&C)", 336, 332, 96, 32},
                 {d.SusieDirEdit.get(), nullptr, 0, 24, 369, 23},
                 {d.PluginCheckListBox.get(), nullptr, 0, 84, 433, 246}};
  for (const Place& p : buttons) {
    if (p.text) {
      char text[64] = {};
      ::GetWindowTextA(p.c->Handle(), text, sizeof text);
      EXPECT_STREQ(text, p.text);
    }
    EXPECT_EQ(p.c->Left(), p.left) << (p.text ? p.text : "");
    EXPECT_EQ(p.c->Top(), p.top) << (p.text ? p.text : "");
    EXPECT_EQ(p.c->Width(), p.width) << (p.text ? p.text : "");
    EXPECT_EQ(p.c->Height(), p.height) << (p.text ? p.text : "");
  }
  const std::pair<const forms::Label*, const char*> labels[] = {
      {d.Label1.get(), "Susieプラグインのあるフォルダ"},
      {d.Label2.get(), "プラグインリスト"},
      {d.Label3.get(), "フォルダを変更したら更新ボタンを"},
      {d.Label4.get(), "押してください。"},
      {d.Label5.get(), "使用しないプラグインはチェックをはずして"},
      {d.Label6.get(), "ください（使用状況はOKボタンで保存されます）"}};
  const POINT at[] = {{4, 4}, {4, 62}, {259, 57}, {259, 70}, {3, 335}, {5, 351}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(labels[i].first->Caption(), labels[i].second);
    EXPECT_EQ(labels[i].first->Left(), at[i].x) << labels[i].second;
    EXPECT_EQ(labels[i].first->Top(), at[i].y) << labels[i].second;
    // Under the fonts the test prefix maps, each text ends inside the dialog.
    EXPECT_LE(labels[i].first->Left() + labels[i].first->Width(), 432) << labels[i].second;
  }
}

TEST_F(PluginDialogTest, StoredStatesApplyAtStartWithoutShowing) {
  const std::string dir = FixtureCopy("dlg_start", {"mvt_good" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT});
  // Exactly 1 is on; 0, 2 and a word are off; no key at all is on.
  StartWith(dir, "[Plug-in]\r\nmvt_good" MV_SPI_EXT "=0\r\nmvt_cfg5" MV_SPI_EXT "=2\r\nmvt_nocfg" MV_SPI_EXT "=on\r\nmvt_failpic" MV_SPI_EXT "=1\r\n");
  ASSERT_EQ(Host().Plugins.size(), 4u);
  for (const auto& p : Host().Plugins) {
    const bool on = p->FileName == "mvt_failpic" MV_SPI_EXT;
    EXPECT_EQ(p->Enabled, on ? 1 : 0) << p->FileName;
    EXPECT_EQ(Dlg().PluginCheckListBox->Checked(IndexOf(p->FileName)), on) << p->FileName;
  }
  EXPECT_FALSE(Dlg().Showing());
  EXPECT_EQ(Dlg().InitialDir, "");
  EXPECT_EQ(Dlg().SusieDirEdit->Text(), dir);

  // Switched off means not asked: an MVT file finds no willing plug-in.
  mv::test::FixtureCounters* good = StatsOf(*Host().Plugins[static_cast<size_t>(IndexOf("mvt_good" MV_SPI_EXT))]);
  ASSERT_NE(good, nullptr);
  const std::string mvt = mv::test::BuildMvt(1, 1, 24, {}, std::string(4, '\0'));
  const std::string images = mvtest::MakeScratchDir("dlg_start_img");
  EXPECT_EQ(mvtest::AddListedBytes(images, "a.mvt", mvt), nullptr);
  EXPECT_EQ(good->isSupportedCalls, 0);
}

TEST_F(PluginDialogTest, ShowingCentresOverMainWindowAndCancelReloadsButKeepsSettings) {
  const std::string dir = FixtureCopy("dlg_cancel", {"mvt_good" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT});
  StartWith(dir, "[Plug-in]\r\nmvt_cfg5" MV_SPI_EXT "=0\r\n");
  const std::string ini_before = ReadFileBytes(mvtest::SettingsPath());
  // A main window narrower and lower than the dialog by odd amounts: the
  // halves of negative differences round towards minus infinity.
  ::SetWindowPos(frmMain->Handle(), nullptr, 37, 29, Dlg().Width() - 7, Dlg().Height() - 5,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  mvtest::Pump();
  StampLoadedPlugins();
  ASSERT_TRUE(StampsSurvived());

  int left = 0, top = 0, width = 0, height = 0, item_index = 0;
  bool visible = false, main_disabled = false, reloaded = false;
  std::string edit;
  const int result = ShowAndDo([&] {
    left = Dlg().Left();
    top = Dlg().Top();
    width = Dlg().Width();
    height = Dlg().Height();
    visible = ::IsWindowVisible(Dlg().Handle()) != FALSE;
    main_disabled = !::IsWindowEnabled(frmMain->Handle());
    item_index = Dlg().PluginCheckListBox->ItemIndex();
    edit = Dlg().SusieDirEdit->Text();
    reloaded = FreshlyLoaded();
    Dlg().CancelButton->Click();
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(visible);
  EXPECT_TRUE(main_disabled);
  EXPECT_TRUE(::IsWindowEnabled(frmMain->Handle()));
  EXPECT_TRUE(reloaded) << "showing must unload and load every plug-in again";
  EXPECT_EQ(item_index, -1);
  EXPECT_EQ(edit, dir);

  const int main_left = frmMain->Left(), main_top = frmMain->Top();
  const int dw = frmMain->Width() - width, dh = frmMain->Height() - height;
  ASSERT_EQ(dw, -7);
  ASSERT_EQ(dh, -5);
  EXPECT_EQ(left, main_left + (dw >> 1)) << "width difference " << dw;
  EXPECT_EQ(top, main_top + (dh >> 1)) << "height difference " << dh;
  // The client area as designed.
  EXPECT_EQ(Dlg().ClientSize().cx, 432);
  EXPECT_EQ(Dlg().ClientSize().cy, 364);

  EXPECT_EQ(Host().PluginDir, dir);
  EXPECT_EQ(Dlg().InitialDir, dir);
  EXPECT_EQ(Dlg().SusieDirEdit->Text(), dir);
  ASSERT_EQ(Host().Plugins.size(), 2u);
  EXPECT_EQ(Host().Plugins[static_cast<size_t>(IndexOf("mvt_good" MV_SPI_EXT))]->Enabled, 1);
  EXPECT_EQ(Host().Plugins[static_cast<size_t>(IndexOf("mvt_cfg5" MV_SPI_EXT))]->Enabled, 0);
  EXPECT_EQ(Dlg().PluginCheckListBox->ItemIndex(), -1);
  EXPECT_EQ(ReadFileBytes(mvtest::SettingsPath()), ini_before) << "Cancel writes nothing";
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(PluginDialogTest, NewFolderWithOkButNoRefreshSavesFolderKeepsOldPlugins) {
  const std::string a = FixtureCopy("dlg_ok_a", {"mvt_good" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT});
  const std::string b = FixtureCopy("dlg_ok_b", {"mvt_nocfg" MV_SPI_EXT});
  StartWith(a);
  const int result = ShowAndDo([&] {
    Dlg().SusieDirEdit->SetText(b);
    Dlg().PluginCheckListBox->Toggle(IndexOf("mvt_cfg5" MV_SPI_EXT));
    Dlg().OKButton->Click();
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(ProfileString("Setting", "Susie Plug-in Dir"), b);
  EXPECT_EQ(Host().PluginDir, b);
  // The old folder's plug-ins stay loaded, with the saved check marks.
  std::vector<std::string> names = PluginNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"mvt_cfg5" MV_SPI_EXT, "mvt_good" MV_SPI_EXT}));
  EXPECT_TRUE(mvtest::PluginLoaded(a + "mvt_good" MV_SPI_EXT));
  EXPECT_FALSE(mvtest::PluginLoaded(b + "mvt_nocfg" MV_SPI_EXT));
  EXPECT_EQ(Host().Plugins[static_cast<size_t>(IndexOf("mvt_good" MV_SPI_EXT))]->Enabled, 1);
  EXPECT_EQ(Host().Plugins[static_cast<size_t>(IndexOf("mvt_cfg5" MV_SPI_EXT))]->Enabled, 0);
  EXPECT_EQ(ProfileString("Plug-in", "mvt_good" MV_SPI_EXT), "1");
  EXPECT_EQ(ProfileString("Plug-in", "mvt_cfg5" MV_SPI_EXT), "0");
  EXPECT_EQ(ProfileString("Plug-in", "mvt_nocfg" MV_SPI_EXT), "<absent>");
  // OK leaves the list as it was: no refill after the close.
  EXPECT_FALSE(Dlg().PluginCheckListBox->Checked(IndexOf("mvt_cfg5" MV_SPI_EXT)));

  // Opening again shows (and loads) the folder OK saved.
  std::string shown, initial;
  std::vector<std::string> loaded;
  ShowAndDo([&] {
    shown = Dlg().SusieDirEdit->Text();
    initial = Dlg().InitialDir;
    loaded = PluginNames();
    Dlg().CancelButton->Click();
  });
  EXPECT_EQ(shown, b);
  EXPECT_EQ(initial, b);
  EXPECT_EQ(loaded, (std::vector<std::string>{"mvt_nocfg" MV_SPI_EXT}));
  EXPECT_FALSE(mvtest::PluginLoaded(a + "mvt_good" MV_SPI_EXT));

  // And so does the next start.
  StopApp();
  StartApp();
  EXPECT_EQ(Host().PluginDir, b);
}

TEST_F(PluginDialogTest, RefreshToNewFolderThenCancelKeepsNewPluginsWithStoredStates) {
  const std::string a = FixtureCopy("dlg_rc_a", {"mvt_good" MV_SPI_EXT});
  const std::string b = FixtureCopy("dlg_rc_b", {"mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT});
  StartWith(a, "[Plug-in]\r\nmvt_cfg5" MV_SPI_EXT "=0\r\n");
  const std::string ini_before = ReadFileBytes(mvtest::SettingsPath());
  std::vector<std::string> rows_after_refresh;
  int item_index = 0;
  const int result = ShowAndDo([&] {
    Dlg().SusieDirEdit->SetText(b);
    Dlg().PluginCheckListBox->SetItemIndex(0);
    Dlg().RefreshButton->Click();
    EXPECT_EQ(Host().PluginDir, b);
    rows_after_refresh = PluginNames();
    item_index = Dlg().PluginCheckListBox->ItemIndex();
    // Checking the stored-off row is lost by the Cancel.
    Dlg().PluginCheckListBox->SetChecked(IndexOf("mvt_cfg5" MV_SPI_EXT), true);
    Dlg().PluginCheckListBox->SetItemIndex(0);
    Dlg().CancelButton->Click();
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(item_index, -1);
  std::sort(rows_after_refresh.begin(), rows_after_refresh.end());
  EXPECT_EQ(rows_after_refresh, (std::vector<std::string>{"mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT}));
  EXPECT_EQ(Host().PluginDir, a);
  EXPECT_EQ(Dlg().SusieDirEdit->Text(), a);
  ASSERT_EQ(Host().Plugins.size(), 2u);
  EXPECT_EQ(Host().Plugins[static_cast<size_t>(IndexOf("mvt_cfg5" MV_SPI_EXT))]->Enabled, 0);
  EXPECT_EQ(Host().Plugins[static_cast<size_t>(IndexOf("mvt_nocfg" MV_SPI_EXT))]->Enabled, 1);
  EXPECT_FALSE(Dlg().PluginCheckListBox->Checked(IndexOf("mvt_cfg5" MV_SPI_EXT)));
  EXPECT_EQ(Dlg().PluginCheckListBox->Count(), 2);
  EXPECT_EQ(Dlg().PluginCheckListBox->ItemIndex(), -1) << "Cancel refills the list";
  EXPECT_FALSE(mvtest::PluginLoaded(a + "mvt_good" MV_SPI_EXT));
  EXPECT_TRUE(mvtest::PluginLoaded(b + "mvt_cfg5" MV_SPI_EXT));
  EXPECT_EQ(ReadFileBytes(mvtest::SettingsPath()), ini_before);
}

TEST_F(PluginDialogTest, UncheckedRowComesBackOnRefreshAndReset) {
  const std::string a = FixtureCopy("dlg_uncheck_a", {"mvt_good" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT});
  const std::string b = FixtureCopy("dlg_uncheck_b", {"mvt_nocfg" MV_SPI_EXT});
  StartWith(a);
  bool after_toggle = true, after_refresh = false, after_reset = false, reset_reloaded = false;
  int index_after_refresh = 0, index_after_reset = 0;
  std::string edit_after_reset;
  ShowAndDo([&] {
    auto& list = *Dlg().PluginCheckListBox;
    const int row = IndexOf("mvt_good" MV_SPI_EXT);
    // A click on the row's box flips it, as the user does it.
    RECT r{};
    ::SendMessageA(list.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM(r.left + 4, (r.top + r.bottom) / 2);
    ::SendMessageA(list.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageA(list.Handle(), WM_LBUTTONUP, 0, at);
    after_toggle = list.Checked(row);
    Dlg().RefreshButton->Click();
    after_refresh = list.Checked(IndexOf("mvt_good" MV_SPI_EXT));
    index_after_refresh = list.ItemIndex();

    // Reset goes back to the folder shown at opening and reloads it.
    Dlg().SusieDirEdit->SetText(b);
    Dlg().RefreshButton->Click();
    list.Toggle(0);
    list.SetItemIndex(0);
    StampLoadedPlugins();
    Dlg().ResetButton->Click();
    edit_after_reset = Dlg().SusieDirEdit->Text();
    reset_reloaded = FreshlyLoaded() && IndexOf("mvt_good" MV_SPI_EXT) >= 0 && IndexOf("mvt_cfg5" MV_SPI_EXT) >= 0;
    after_reset = list.Checked(IndexOf("mvt_good" MV_SPI_EXT));
    index_after_reset = list.ItemIndex();
    Dlg().CancelButton->Click();
  });
  EXPECT_FALSE(after_toggle);
  EXPECT_TRUE(after_refresh) << "the settings file still says in use";
  EXPECT_EQ(index_after_refresh, -1);
  EXPECT_EQ(edit_after_reset, a);
  EXPECT_TRUE(reset_reloaded);
  EXPECT_TRUE(after_reset);
  EXPECT_EQ(index_after_reset, -1);
  EXPECT_EQ(Host().PluginDir, a);
}

TEST_F(PluginDialogTest, RowsAreRightAlignedColumnsThatLongNamesPush) {
  const std::string dir =
      FixtureCopy("dlg_rows", {"mvt_good" MV_SPI_EXT, "mvt_noinfo" MV_SPI_EXT, "mvt_longname_fixture_plugin" MV_SPI_EXT});
  StartWith(dir);
  auto& list = *Dlg().PluginCheckListBox;
  ASSERT_EQ(list.Count(), 3);
  const std::string good = "      mvt_good" MV_SPI_EXT "              *.mvt    Morvane MVT fixture 1.0";
  const std::string noinfo = "    mvt_noinfo" MV_SPI_EXT + std::string(1 + 18 + 4, ' ');
  // 31 bytes: the name is not cut and the other columns move right.
  const std::string longname =
      "mvt_longname_fixture_plugin" MV_SPI_EXT "              *.mvt    Morvane MVT fixture 1.0 (longname)";
  int widest = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& name = Host().Plugins[static_cast<size_t>(i)]->FileName;
    const std::string expected = name == "mvt_good" MV_SPI_EXT ? good : name == "mvt_noinfo" MV_SPI_EXT ? noinfo : longname;
    EXPECT_EQ(list.Item(i), expected) << name;
    EXPECT_TRUE(list.Checked(i)) << "never saved means in use: " << name;
    widest = std::max(widest, TextWidth(list.Handle(), expected));
  }
  EXPECT_EQ(list.HorizontalExtent(), widest + 100);
  EXPECT_GT(TextWidth(list.Handle(), longname), TextWidth(list.Handle(), good));
  EXPECT_EQ(list.ItemIndex(), -1);

  // Scrolled sideways, the box moves with its row: a click where it stood
  // unscrolled lands on text and leaves the check alone.
  auto click_row0 = [&](int scrolled, int x) {
    ::SendMessageA(list.Handle(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, scrolled), 0);
    ::SendMessageA(list.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 6));
    ::SendMessageA(list.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, 6));
    return list.Checked(0);
  };
  EXPECT_TRUE(click_row0(50, 5));
  EXPECT_FALSE(click_row0(6, 2)) << "the box, scrolled to x = -5 ... 6";
}

TEST_F(PluginDialogTest, ConfigurationButtonReportsEachOutcome) {
  const std::string dir =
      FixtureCopy("dlg_cfg", {"mvt_good" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT});
  StartWith(dir);
  HWND dialog = nullptr;
  struct Outcome {
    std::string name;
    size_t boxes_after;
    int config_calls;
    HWND config_parent;
  };
  std::vector<Outcome> outcomes;
  size_t boxes_no_row = 0;
  ShowAndDo([&] {
    dialog = Dlg().Handle();
    // Every row is checked, none highlighted.
    Dlg().SettingButton->Click();
    boxes_no_row = boxes.Boxes().size();
    for (const char* name : {"mvt_good" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT, "mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT}) {
      const int row = IndexOf(name);
      Dlg().PluginCheckListBox->SetItemIndex(row);
      // The check box plays no part: the highlighted row is asked.
      Dlg().PluginCheckListBox->SetChecked(row, false);
      Dlg().SettingButton->Click();
      mv::test::FixtureCounters* s = StatsOf(*Host().Plugins[static_cast<size_t>(row)]);
      outcomes.push_back({name, boxes.Boxes().size(), s ? s->configCalls : -99,
                          s ? reinterpret_cast<HWND>(static_cast<UINT_PTR>(s->configParent)) : nullptr});
    }
    EXPECT_TRUE(Dlg().Showing()) << "the dialog stays open after every outcome";
    Dlg().CancelButton->Click();
  });
  const auto& b = boxes.Boxes();
  ASSERT_EQ(boxes_no_row, 1u);
  EXPECT_EQ(b[0].text, kNoRowText);
  EXPECT_EQ(b[0].caption, kNoRowCaption);
  EXPECT_EQ(b[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(b[0].owner, dialog);
  ASSERT_EQ(outcomes.size(), 4u);
  // 0: no box; -1: none; 5: error; no export: none.
  EXPECT_EQ(outcomes[0].boxes_after, 1u);
  EXPECT_EQ(outcomes[0].config_calls, 1);
  EXPECT_EQ(outcomes[0].config_parent, dialog);
  EXPECT_EQ(outcomes[1].boxes_after, 2u);
  EXPECT_EQ(outcomes[1].config_calls, 1);
  EXPECT_EQ(outcomes[2].boxes_after, 3u);
  EXPECT_EQ(outcomes[2].config_calls, 1);
  EXPECT_EQ(outcomes[2].config_parent, dialog);
  EXPECT_EQ(outcomes[3].boxes_after, 4u);
  EXPECT_EQ(outcomes[3].config_calls, 0) << "nothing to call";
  ASSERT_EQ(b.size(), 4u);
  for (size_t i : {size_t{1}, size_t{3}}) {
    EXPECT_EQ(b[i].text, kNoDialogText) << i;
    EXPECT_EQ(b[i].caption, kNoDialogCaption) << i;
    EXPECT_EQ(b[i].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION)) << i;
    EXPECT_EQ(b[i].owner, dialog) << i;
  }
  EXPECT_EQ(b[2].text, kErrorText);
  EXPECT_EQ(b[2].caption, kErrorCaption);
  EXPECT_EQ(b[2].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(b[2].owner, dialog);
}

// Only a plug-in in our process can subclass our window.
TEST_F(PluginDialogTest, APluginThatSubclassedTheDialogNeverHasItDestroyed) {
  StartWith(FixtureCopy("dlg_subclass", {"mvt_subclass_owner" MV_SPI_EXT}), mvtest::kInProcessLine);
  HWND dialog = nullptr;
  LONG_PTR ours = 0, subclassed = 0, after = 0;
  bool alive = false;
  const int result = ShowAndDo([&] {
    dialog = Dlg().Handle();
    ours = ::GetWindowLongPtrA(dialog, GWLP_WNDPROC);
    Dlg().PluginCheckListBox->SetItemIndex(0);
    Dlg().SettingButton->Click();
    subclassed = ::GetWindowLongPtrA(dialog, GWLP_WNDPROC);
    // A real click: its notification reaches the dialog through the plug-in's procedure.
    ::SendMessageA(Dlg().RefreshButton->Handle(), BM_CLICK, 0, 0);
    alive = ::IsWindow(dialog) && forms::Window::FromHandle(dialog) == &Dlg();
    after = ::GetWindowLongPtrA(dialog, GWLP_WNDPROC);
    Dlg().CancelButton->Click();
  });
  EXPECT_NE(subclassed, ours);
  EXPECT_TRUE(alive) << "the reload destroyed the dialog";
  EXPECT_EQ(after, ours);
  EXPECT_EQ(result, IDCANCEL);
}

// A plug-in's own message loop lets our windows act under its call: a
// reload and the plug-in dialog are refused, and the main window's close
// waits for the call's end.
// A worker's call lets only painting through; in our process the plug-in
// runs a message loop of its own.
TEST_F(PluginDialogTest, ReloadIsRefusedAndCloseWaitsWhileAPluginCallRuns) {
  StartWith(FixtureCopy("dlg_busy", {"mvt_modal_picture" MV_SPI_EXT}), mvtest::kInProcessLine);
  const QvSpiPlugin* plugin = Host().Plugins.at(0).get();
  bool same_plugin = false, closed_under_call = true, dialog_shown = true;
  forms::Timer act;
  act.SetInterval(1);
  act.OnTimer = [&] {
    HWND box = ::FindWindowA("#32770", "MVT busy");
    if (!box) return;
    act.SetEnabled(false);
    Dlg().RefreshButton->Click();
    same_plugin = Host().Plugins.size() == 1 && Host().Plugins[0].get() == plugin;
    ::SendMessageA(frmMain->Handle(), WM_CLOSE, 0, 0);
    closed_under_call = !frmMain->SpiCtrl || forms::Application::Instance().Terminated();
    ::SendMessageA(frmMain->Handle(), WM_COMMAND, static_cast<WPARAM>(frmMain->Menu_Plugin), 0);
    dialog_shown = Dlg().Showing();
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
  };
  act.SetEnabled(true);
  const std::string mvt = mv::test::BuildMvt(1, 1, 24, {}, std::string(4, '\0'));
  EXPECT_NE(mvtest::AddListedBytes(mvtest::MakeScratchDir("dlg_busy_img"), "a.mvt", mvt), nullptr);
  EXPECT_TRUE(same_plugin);
  EXPECT_FALSE(closed_under_call);
  EXPECT_FALSE(dialog_shown);
  EXPECT_TRUE(mvtest::PumpUntil([] { return forms::Application::Instance().Terminated(); }))
      << "the close did not follow the call";
  EXPECT_EQ(frmMain->SpiCtrl, nullptr);
}

TEST_F(PluginDialogTest, RegistryButtonTakesSusieFolderOnlyWhenKeyOpens) {
  const std::string a = FixtureCopy("dlg_reg_a", {"mvt_good" MV_SPI_EXT});
  const std::string c = FixtureCopy("dlg_reg_c", {"mvt_cfg5" MV_SPI_EXT});
  StartWith(a);
  // Without the key nothing happens: no text change, no reload.
  bool kept_without_key = false;
  std::string edit_without_key;
  // With the key but no "Path" value the text stays and the refresh runs.
  bool reloaded_without_value = false;
  std::string edit_without_value;
  // With the value the edit takes it and the list is reloaded from there.
  std::string edit_with_value;
  std::vector<std::string> loaded_with_value;
  int index_with_value = 0;
  ShowAndDo([&] {
    Dlg().SusieDirEdit->SetText(a + "typed");
    StampLoadedPlugins();
    Dlg().RegButton->Click();
    edit_without_key = Dlg().SusieDirEdit->Text();
    kept_without_key = StampsSurvived() && Host().PluginDir == a;

    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, settings::kSusieKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    Dlg().SusieDirEdit->SetText(a);
    StampLoadedPlugins();
    Dlg().RegButton->Click();
    edit_without_value = Dlg().SusieDirEdit->Text();
    reloaded_without_value = FreshlyLoaded();

    mvtest::SetSusieRegistryPath(c);
    Dlg().PluginCheckListBox->SetItemIndex(0);
    Dlg().RegButton->Click();
    edit_with_value = Dlg().SusieDirEdit->Text();
    loaded_with_value = PluginNames();
    index_with_value = Dlg().PluginCheckListBox->ItemIndex();
    Dlg().CancelButton->Click();
  });
  EXPECT_EQ(edit_without_key, a + "typed");
  EXPECT_TRUE(kept_without_key);
  EXPECT_EQ(edit_without_value, a);
  EXPECT_TRUE(reloaded_without_value);
  EXPECT_EQ(edit_with_value, c);
  EXPECT_EQ(loaded_with_value, (std::vector<std::string>{"mvt_cfg5" MV_SPI_EXT}));
  EXPECT_EQ(index_with_value, -1);
  EXPECT_EQ(Host().PluginDir, a) << "Cancel returns to the folder shown at opening";
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(PluginDialogTest, OkWithEmptyFolderWritesEmptyValueAndNextStartFallsBack) {
  const std::string a = FixtureCopy("dlg_empty_a", {"mvt_good" MV_SPI_EXT});
  const std::string reg = FixtureCopy("dlg_empty_reg", {"mvt_cfg5" MV_SPI_EXT});
  StartWith(a);
  EXPECT_EQ(ShowAndDo([&] {
              Dlg().SusieDirEdit->SetText("");
              Dlg().OKButton->Click();
            }),
            IDOK);
  EXPECT_EQ(Host().PluginDir, "");
  char buf[64] = "untouched";
  EXPECT_EQ(::GetPrivateProfileStringA("Setting", "Susie Plug-in Dir", "<absent>", buf, sizeof buf,
                                       mvtest::SettingsPath().c_str()),
            0u);
  EXPECT_STREQ(buf, "");
  const std::string raw = ReadFileBytes(mvtest::SettingsPath());
  EXPECT_NE(raw.find("Susie Plug-in Dir=\r\n"), std::string::npos) << raw;
  EXPECT_EQ(raw.find(a), std::string::npos) << raw;
  EXPECT_NE(raw.find("mvt_good" MV_SPI_EXT "=1"), std::string::npos) << raw;

  StopApp();
  mvtest::SetSusieRegistryPath(reg);
  StartApp();
  EXPECT_EQ(Host().PluginDir, reg);
  EXPECT_EQ(PluginNames(), (std::vector<std::string>{"mvt_cfg5" MV_SPI_EXT}));
}

TEST_F(PluginDialogTest, CloseBoxAndEscActAsCancelEnterAsOk) {
  const std::string a = FixtureCopy("dlg_keys_a", {"mvt_good" MV_SPI_EXT});
  const std::string b = FixtureCopy("dlg_keys_b", {"mvt_cfg5" MV_SPI_EXT});
  StartWith(a, "[Plug-in]\r\nmvt_cfg5" MV_SPI_EXT "=0\r\n");
  const std::string ini_before = ReadFileBytes(mvtest::SettingsPath());

  // Each way of closing other than OK, after a refresh to the other folder
  // and a changed check mark.
  auto leave_changed = [&] {
    Dlg().SusieDirEdit->SetText(b);
    Dlg().RefreshButton->Click();
    Dlg().PluginCheckListBox->SetChecked(0, true);
  };
  const std::vector<std::pair<const char*, std::function<void()>>> closers = {
      {"close box", [] { ::PostMessageA(Dlg().Handle(), WM_CLOSE, 0, 0); }},
      {"system menu", [] { ::PostMessageA(Dlg().Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
      {"Esc",
       [] {
         Dlg().SusieDirEdit->SetFocus();
         PostKey(Dlg().SusieDirEdit->Handle(), VK_ESCAPE);
       }},
  };
  for (const auto& [how, close] : closers) {
    const int result = ShowAndDo([&, close = close] {
      leave_changed();
      close();
    });
    EXPECT_EQ(result, IDCANCEL) << how;
    EXPECT_EQ(Host().PluginDir, a) << how;
    EXPECT_EQ(Dlg().SusieDirEdit->Text(), a) << how;
    ASSERT_EQ(PluginNames(), (std::vector<std::string>{"mvt_cfg5" MV_SPI_EXT})) << how;
    EXPECT_EQ(Host().Plugins[0]->Enabled, 0) << how;
    EXPECT_FALSE(Dlg().PluginCheckListBox->Checked(0)) << how;
    EXPECT_EQ(ReadFileBytes(mvtest::SettingsPath()), ini_before) << how;
  }

  // Enter in the folder edit presses OK: the typed folder is saved.
  const int result = ShowAndDo([&] {
    Dlg().SusieDirEdit->SetText(b);
    Dlg().SusieDirEdit->SetFocus();
    PostKey(Dlg().SusieDirEdit->Handle(), VK_RETURN);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(ProfileString("Setting", "Susie Plug-in Dir"), b);
  EXPECT_EQ(Host().PluginDir, b);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(PluginDialogTest, BrowseButtonTakesChosenFolderOrChangesNothing) {
  const std::string a = FixtureCopy("dlg_browse_a", {"mvt_good" MV_SPI_EXT});
  const std::string b = FixtureCopy("dlg_browse_b", {"mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT});
  StartWith(a);
  // The shell's folder browser cannot be answered reliably headless; its
  // answer is faked here (the real one is brought up in the next test).
  int asked = 0;
  bool answer = false;
  Dlg().BrowseForFolder = [&](std::string& folder) {
    ++asked;
    if (answer) folder = b;
    return answer;
  };
  bool kept_on_cancel = false;
  std::string edit_on_cancel, edit_on_pick;
  std::vector<std::string> loaded_on_pick;
  int index_on_pick = 0;
  ShowAndDo([&] {
    StampLoadedPlugins();
    Dlg().DirButton->Click();
    edit_on_cancel = Dlg().SusieDirEdit->Text();
    kept_on_cancel = StampsSurvived();
    answer = true;
    Dlg().PluginCheckListBox->SetItemIndex(0);
    Dlg().DirButton->Click();
    edit_on_pick = Dlg().SusieDirEdit->Text();
    loaded_on_pick = PluginNames();
    index_on_pick = Dlg().PluginCheckListBox->ItemIndex();
    Dlg().OKButton->Click();
  });
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(edit_on_cancel, a);
  EXPECT_TRUE(kept_on_cancel);
  EXPECT_EQ(edit_on_pick, b);
  std::sort(loaded_on_pick.begin(), loaded_on_pick.end());
  EXPECT_EQ(loaded_on_pick, (std::vector<std::string>{"mvt_cfg5" MV_SPI_EXT, "mvt_nocfg" MV_SPI_EXT}));
  EXPECT_EQ(index_on_pick, -1);
  EXPECT_EQ(ProfileString("Setting", "Susie Plug-in Dir"), b);
  EXPECT_EQ(ProfileString("Plug-in", "mvt_cfg5" MV_SPI_EXT), "1");
  EXPECT_EQ(ProfileString("Plug-in", "mvt_nocfg" MV_SPI_EXT), "1");
}

namespace {

// Finds, from another thread, a visible dialog of this process that shows
// the prompt text, and cancels it.
struct BrowserCanceller {
  volatile LONG seen = 0;
  HWND found = nullptr;
  HANDLE thread = nullptr;

  static BOOL CALLBACK HasPrompt(HWND child, LPARAM lp) {
    char text[256] = {};
    ::GetWindowTextA(child, text, sizeof text);
    if (std::string(text) == kBrowsePrompt) {
      *reinterpret_cast<bool*>(lp) = true;
      return FALSE;
    }
    return TRUE;
  }
  static BOOL CALLBACK Top(HWND hwnd, LPARAM lp) {
    auto* self = reinterpret_cast<BrowserCanceller*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[32] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (pid != ::GetCurrentProcessId() || std::string(cls) != "#32770" || !::IsWindowVisible(hwnd)) return TRUE;
    bool has = false;
    ::EnumChildWindows(hwnd, &HasPrompt, reinterpret_cast<LPARAM>(&has));
    if (!has) return TRUE;
    self->found = hwnd;
    return FALSE;
  }
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<BrowserCanceller*>(p);
    const DWORD end = ::GetTickCount() + 15000;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
      ::EnumWindows(&Top, reinterpret_cast<LPARAM>(self));
      if (self->found) {
        ::InterlockedExchange(&self->seen, 1);
        ::Sleep(200);
        ::PostMessageA(self->found, WM_COMMAND, IDCANCEL, 0);
        return 0;
      }
      ::Sleep(50);
    }
    return 0;
  }
  void Start() { thread = ::CreateThread(nullptr, 0, &Run, this, 0, nullptr); }
  bool Join() {
    if (thread) {
      ::WaitForSingleObject(thread, INFINITE);
      ::CloseHandle(thread);
      thread = nullptr;
    }
    return seen != 0;
  }
  ~BrowserCanceller() { Join(); }
};

}  // namespace

TEST_F(PluginDialogTest, RealFolderBrowserComesUpAndCancelChangesNothing) {
  const std::string a = FixtureCopy("dlg_shell", {"mvt_good" MV_SPI_EXT});
  StartWith(a);
  BrowserCanceller canceller;
  bool kept = false;
  std::string edit;
  ShowAndDo([&] {
    StampLoadedPlugins();
    canceller.Start();
    Dlg().DirButton->Click();  // runs the shell's browser modally until cancelled
    edit = Dlg().SusieDirEdit->Text();
    kept = StampsSurvived();
    Dlg().CancelButton->Click();
  });
  EXPECT_TRUE(canceller.Join()) << "no folder browser showing the prompt appeared";
  EXPECT_EQ(edit, a);
  EXPECT_TRUE(kept);
  EXPECT_EQ(Host().PluginDir, a);
}

// A fault inside a plug-in's ConfigurationDlg must come back as the
// "no settings dialog" box, and the program goes on. Should the guard ever
// fail, the fault would end the process, so the case runs in a child
// process (this executable again, with the disabled case switched on) and
// the other cases still run.
TEST(PluginDialogFault, FaultInConfigurationDialogGivesInformationBox) {
  char exe[MAX_PATH * 2] = {};
  ::GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string cmd = std::string("\"") + exe +
                    "\" --gtest_also_run_disabled_tests"
                    " --gtest_filter=PluginDialogTest.DISABLED_FaultInConfigurationDialogChild";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  ASSERT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ::CloseHandle(pi.hThread);
  DWORD code = 0xDEAD;
  if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_TIMEOUT) {
    ::TerminateProcess(pi.hProcess, 0xDEAD);
    ::WaitForSingleObject(pi.hProcess, 5000);
    ADD_FAILURE() << "the child hung";
  }
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hProcess);
  mvtest::RemoveSettingsFile();
  EXPECT_EQ(code, 0u) << "child exit code 0x" << std::hex << code
                      << " (a crash means the plug-in call is not guarded)";
}

TEST_F(PluginDialogTest, DISABLED_FaultInConfigurationDialogChild) {
  // No crash dialog or debugger for the fault this child may take.
  ::SetErrorMode(::SetErrorMode(0) | SEM_NOGPFAULTERRORBOX);
  const std::string dir = FixtureCopy("dlg_fault", {"mvt_fault_config" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  StartWith(dir);
  bool still_showing = false;
  int calls = 0;
  ShowAndDo([&] {
    const int row = IndexOf("mvt_fault_config" MV_SPI_EXT);
    Dlg().PluginCheckListBox->SetItemIndex(row);
    Dlg().SettingButton->Click();
    still_showing = Dlg().Showing();
    if (mv::test::FixtureCounters* s = StatsOf(*Host().Plugins[static_cast<size_t>(row)])) calls = s->configCalls;
    // The dialog still works afterwards.
    Dlg().PluginCheckListBox->SetItemIndex(IndexOf("mvt_good" MV_SPI_EXT));
    Dlg().SettingButton->Click();
    Dlg().OKButton->Click();
  });
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(still_showing);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, kNoDialogText);
  EXPECT_EQ(boxes.Boxes()[0].caption, kNoDialogCaption);
  EXPECT_EQ(boxes.Boxes()[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(ProfileString("Setting", "Susie Plug-in Dir"), dir);
}

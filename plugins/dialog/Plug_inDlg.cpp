#include "plugins/dialog/Plug_inDlg.h"

#include <algorithm>
#include <exception>

#include "app/MainForm.h"
#include "forms/application.h"
#include "forms/dialogs.h"
#include "forms/message_box.h"
#include "plugins/dialog/plugin_row.h"
#include "plugins/settings_file.h"
#include "plugins/spi_ctrl.h"
#include "resources/art_win.h"
#include "susie/spi_result_codes.h"

namespace {
constexpr char kFaultedMark[] = "  （異常終了したため使用を停止しました）";
// A plug-in whose worker cannot run: listed with the reason, never used.
std::string NotLoadableMark(const std::string& why) { return "  （読み込めません：" + why + "）"; }
}  // namespace

TdlgPlugin::TdlgPlugin() {
  forms::FormParams p;
  p.caption = "Susieプラグインの設定";
  p.border = forms::BorderStyle::Dialog;
  p.stay_on_top = true;
  p.client_width = 432;
  p.client_height = 364;
  p.owner = frmMain ? frmMain->Handle() : nullptr;
  CreateForm(p);
  icon_ = mv::MakeFormIcon(mv::FormIconKind::PluginDialog, 32);
  SetIcon(icon_.get());

  const forms::FontSpec bold15 = forms::DefaultFont().Bold().WithHeight(15);
  auto label = [this](const forms::LabelParams& p) { return std::make_unique<forms::Label>(this, p); };
  Label1 = label({.left = 4, .top = 4, .caption = "Susieプラグインのあるフォルダ", .font = bold15});
  Label2 = label({.left = 4, .top = 62, .caption = "プラグインリスト", .font = bold15});
  Label3 = label({.left = 259, .top = 57, .caption = "フォルダを変更したら更新ボタンを"});
  Label4 = label({.left = 259, .top = 70, .caption = "押してください。"});
  Label5 = label({.left = 3, .top = 335, .caption = "使用しないプラグインはチェックをはずして"});
  Label6 = label({.left = 5, .top = 351, .caption = "ください（使用状況はOKボタンで保存されます）"});
  Bevel1 = std::make_unique<forms::Bevel>(
      this, forms::BevelParams{.bounds = {-10, 51, 448, 3}, .shape = forms::Bevel::Shape::TopLine});

  // In tab order.
  auto button = [this](const forms::ButtonParams& p) { return std::make_unique<forms::Button>(this, p); };
  SusieDirEdit = std::make_unique<forms::Edit>(this, forms::ControlBounds{0, 24, 369, 23});
  SusieDirEdit->SetFont(forms::DefaultFont().WithHeight(15));
  ResetButton = button({.bounds = {257, 1, 112, 22}, .caption = "元に戻す(&R)"});
  RegButton = button({.bounds = {371, 1, 60, 22}, .caption = "レジストリ"});
  RegButton->SetFont(forms::DefaultFont().WithHeight(11));
  DirButton = button({.bounds = {371, 24, 60, 25}, .caption = "参照(&P)"});
  RefreshButton = button({.bounds = {186, 57, 65, 25}, .caption = "更新(&F)"});
  PluginCheckListBox = std::make_unique<forms::CheckListBox>(
      this, forms::CheckListBoxParams{.bounds = {0, 84, 433, 246}, .item_height = 12});
  PluginCheckListBox->SetFont(forms::DefaultFont().WithFace("ＭＳ ゴシック"));
  SettingButton = button({.bounds = {120, 57, 65, 25}, .caption = "設定(&S)"});
  OKButton = button({.bounds = {240, 332, 97, 32}, .caption = "Ｏ.Ｋ.(&O)", .is_default = true});
  CancelButton = button({.bounds = {336, 332, 96, 32}, .caption = "キャンセル(&C)"});
  SetDefaultButton(OKButton.get());
  SetCancelButton(CancelButton.get());

  auto hint = [this](forms::Button& b, const char* text) {
    hints_.push_back(std::make_unique<forms::Hint>(b.Handle()));
    hints_.back()->SetText(text);
  };
  hint(*ResetButton, "フォルダを最初の場所に戻します");
  hint(*RegButton, "Susieのレジストリからフォルダを調べます");
  hint(*DirButton, "フォルダを選択できます");
  hint(*RefreshButton, "新しいフォルダ内のプラグインを表示します");
  hint(*SettingButton, "各プラグインの設定ダイアログを表示します");

  ResetButton->OnClick = [this] { ResetButtonClick(); };
  RegButton->OnClick = [this] { RegButtonClick(); };
  DirButton->OnClick = [this] { DirButtonClick(); };
  RefreshButton->OnClick = [this] { RefreshButtonClick(); };
  SettingButton->OnClick = [this] { SettingButtonClick(); };
  OKButton->OnClick = [this] { OKButtonClick(); };
  CancelButton->OnClick = [this] { CancelButtonClick(); };
  OnShow = [this] { FormShow(); };
  OnClose = [this](forms::CloseAction& a) { FormClose(a); };
  BrowseForFolder = [this](std::string& folder) {
    return forms::SelectDirectory(Handle(), "Susieプラグインのあるフォルダを選択してください", folder);
  };
  FormCreate();
}

TdlgPlugin::~TdlgPlugin() = default;

void TdlgPlugin::ApplyChecksToPlugins() {
  auto& plugins = frmMain->SpiCtrl->Plugins;
  const int rows = PluginCheckListBox->Count();
  for (size_t i = 0; i < plugins.size(); ++i)
    plugins[i]->Enabled = (static_cast<int>(i) < rows && PluginCheckListBox->Checked(static_cast<int>(i))) ? 1 : 0;
}

void TdlgPlugin::FormCreate() { ApplySavedSettings(); }

void TdlgPlugin::ApplySavedSettings() {
  ShowCurrentSettings();
  ApplyChecksToPlugins();
}

void TdlgPlugin::RevertChanges() {
  frmMain->SpiCtrl->PluginDir = InitialDir;
  ApplySavedSettings();
}

void TdlgPlugin::ShowCurrentSettings() {
  SusieDirEdit->SetText(frmMain->SpiCtrl->PluginDir);
  FillPluginList();
}

void TdlgPlugin::FillPluginList() {
  PluginCheckListBox->Clear();
  int widest = 0;
  for (const auto& plugin : frmMain->SpiCtrl->Plugins) {
    std::string row = mv::FormatPluginRow(plugin->FileName, plugin->ExtFilter, plugin->Description);
    // The user sees which plug-in the program stopped using after a fault.
    if (plugin->Faulted) row += kFaultedMark;
    if (const std::string why = plugin->Problem(); !why.empty()) row += NotLoadableMark(why);
    const int i = PluginCheckListBox->Add(row);
    PluginCheckListBox->SetChecked(i, settings::ReadPluginEnabled(frmMain->SettingsPath, plugin->FileName));
    widest = std::max<int>(widest, forms::MeasureText(PluginCheckListBox->Font(), row).cx);
  }
  PluginCheckListBox->SetHorizontalExtent(widest + 100);
}

void TdlgPlugin::FormShow() {
  closed_by_ok_ = false;
  ShowCurrentSettings();
  InitialDir = frmMain->SpiCtrl->PluginDir;
  SetPosition(frmMain->Left() + ((frmMain->Width() - Width()) >> 1),
              frmMain->Top() + ((frmMain->Height() - Height()) >> 1));
  RefreshButtonClick();
}

void TdlgPlugin::RefreshButtonClick() {
  // A plug-in call is running (its own message loop let the click through):
  // the reload would free the plug-in under it.
  if (frmMain->SpiCtrl->CallInProgress()) {
    ::MessageBeep(MB_OK);
    return;
  }
  frmMain->SpiCtrl->PluginDir = SusieDirEdit->Text();
  frmMain->SpiCtrl->LoadPlugins();
  FillPluginList();
}

void TdlgPlugin::ResetButtonClick() {
  SusieDirEdit->SetText(InitialDir);
  RefreshButtonClick();
}

void TdlgPlugin::RegButtonClick() {
  std::string path;
  const settings::SusieRegistry found = settings::ReadSusieRegistryPath(path);
  if (found == settings::SusieRegistry::NoKey) return;
  if (found == settings::SusieRegistry::Found) SusieDirEdit->SetText(path);
  RefreshButtonClick();
}

void TdlgPlugin::DirButtonClick() {
  std::string folder;
  if (!BrowseForFolder || !BrowseForFolder(folder)) return;
  SusieDirEdit->SetText(folder);
  RefreshButtonClick();
}

void TdlgPlugin::SettingButtonClick() {
  const int row = PluginCheckListBox->ItemIndex();
  if (row < 0) {
    forms::ShowMessageBox(Handle(), "プラグインが選択されていません", "設定ダイアログが表示できません",
                          MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  int result = 0;
  bool failed = false;
  try {
    result = frmMain->SpiCtrl->ShowPluginConfig(row, Handle());
  } catch (...) {
    failed = true;
  }
  if (failed || result == spi::kNoFunction) {
    forms::ShowMessageBox(Handle(), "このプラグインには設定ダイアログはありません", "設定ダイアログ未実装",
                          MB_OK | MB_ICONINFORMATION);
  } else if (result != spi::kOk) {
    forms::ShowMessageBox(Handle(), "このプラグインの設定ダイアログを表示できません", "設定ダイアログ表示エラー",
                          MB_OK | MB_ICONEXCLAMATION);
  }
}

void TdlgPlugin::OKButtonClick() {
  const std::string dir = SusieDirEdit->Text();
  settings::WritePluginDir(frmMain->SettingsPath, dir);
  auto& plugins = frmMain->SpiCtrl->Plugins;
  for (size_t i = 0; i < plugins.size(); ++i) {
    const bool checked = static_cast<int>(i) < PluginCheckListBox->Count() &&
                         PluginCheckListBox->Checked(static_cast<int>(i));
    plugins[i]->Enabled = checked ? 1 : 0;
    settings::WritePluginEnabled(frmMain->SettingsPath, plugins[i]->FileName, checked);
  }
  frmMain->SpiCtrl->PluginDir = dir;
  closed_by_ok_ = true;
  SetModalResult(IDOK);
}

void TdlgPlugin::CancelButtonClick() {
  RevertChanges();
  SetModalResult(IDCANCEL);
}

void TdlgPlugin::FormClose(forms::CloseAction&) {
  if (closed_by_ok_) return;
  RevertChanges();
  SetModalResult(IDCANCEL);
}

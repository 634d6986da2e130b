#include "app/MainForm.h"

#include <algorithm>

#include "base/sjis_path.h"
#include "base/wide_text.h"
#include "decode/load_queue.h"
#include "forms/application.h"
#include "forms/message_box.h"
#include "image/before_image.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/dialog/Plug_inDlg.h"
#include "plugins/settings_file.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"
#include "resources/art_win.h"

TfrmMain* frmMain = nullptr;

namespace {
constexpr char kCaption[] = "Morvane Ver.0.9";
constexpr char kLoadHint[] = "画像を読み込みます";
constexpr int kClientWidth = 631;
constexpr int kClientHeight = 434;
}  // namespace

TfrmMain::TfrmMain() : instance_(frmMain, this) {
  forms::FormParams p;
  p.caption = kCaption;
  p.border = forms::BorderStyle::Single;
  p.maximize_box = false;
  p.left = 230;
  p.top = 105;
  p.client_width = kClientWidth;
  p.client_height = kClientHeight;
  CreateForm(p);
  icon_ = mv::MakeFormIcon(mv::FormIconKind::MainWindow, 32);
  SetIcon(icon_.get());
  BuildComponents();
  BuildMenu();
  OnClose = [this](forms::CloseAction& a) { FormClose(a); };
  OnMouseMove = [this](forms::ShiftState s, int x, int y) { FormMouseMove(s, x, y); };
  OnDropFiles = [this](const std::vector<std::wstring>& paths) { FormDropFiles(paths); };
  SetAcceptFiles(true);
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // A close that never ran (a test tearing down) still releases everything.
  if (PluginDlg || SpiCtrl || !BeforeImages.empty()) {
    forms::CloseAction a = forms::CloseAction::Free;
    FormClose(a);
  }
}

void TfrmMain::BuildComponents() {
  imglstToolButton = std::make_unique<forms::ImageList>(mv::MakeToolButtonImageList());
  imglstBits = std::make_unique<forms::ImageList>(mv::MakeBitDepthImageList());

  ToolBar = std::make_unique<forms::ToolBar>(
      this, forms::ToolBarParams{.bounds = {0, 0, 631, 38}, .button_width = 37, .button_height = 36,
                                 .images = imglstToolButton->Handle()});
  btnLoad = ToolBar->AddButton(
      0, kLoadHint, [this] { btnLoadClick(nullptr); },
      [this](forms::ShiftState s, int x, int y) { btnLoadMouseMove(s, x, y); });

  auto bevel = [this](const forms::BevelParams& p) { return std::make_unique<forms::Bevel>(this, p); };
  Bevel1 = bevel({.bounds = {-1, 38, 640, 2}, .shape = forms::Bevel::Shape::TopLine});
  Bevel2 = bevel({.bounds = {0, 40, 217, 377}});
  Bevel3 = bevel({.bounds = {224, 40, 409, 377}});
  const forms::FontSpec heading = forms::DefaultFont().Bold().WithHeight(16);
  auto label = [this](const forms::LabelParams& p) { return std::make_unique<forms::Label>(this, p); };
  Label1 = label({.left = 8, .top = 45, .caption = "作業前の画像リスト", .font = heading});
  Label2 = label({.left = 232, .top = 45, .caption = "作業後の画像リスト", .font = heading});

  auto button = [this](const forms::ButtonParams& p) { return std::make_unique<forms::Button>(this, p); };
  btnDel1 = button({.bounds = {151, 41, 65, 24}, .caption = "削除(&D)"});
  btnDel1->OnClick = [this] { btnDel1Click(nullptr); };
  btnDel2 = button({.bounds = {566, 41, 65, 24}, .caption = "削除(&R)"});

  lstBefore = std::make_unique<forms::ListBox>(
      this, forms::ListBoxParams{.bounds = {0, 64, 217, 351}, .owner_draw_variable = true, .extended_select = true});
  lstBefore->OnMeasureItem = [this](int i, int& h) { lstBeforeMeasureItem(i, h); };
  lstBefore->OnDrawItem = [this](forms::DrawItemArgs& a) { lstBeforeDrawItem(a); };
  lstBefore->OnMouseMove = [this](forms::ShiftState s, int x, int y) { lstBeforeMouseMove(s, x, y); };
  lstBefore->OnDblClick = [this] { lstBeforeDblClick(); };
  lstBefore->OnKeyDown = [this](WORD& k, forms::ShiftState s) { lstBeforeKeyDown(k, s); };
  lstBefore->SetShowHint(true);

  lstAfter = std::make_unique<forms::ListBox>(this, forms::ListBoxParams{.bounds = {224, 64, 409, 351}});
  StatusBar = std::make_unique<forms::StatusBar>(this, forms::ControlBounds{0, 413, 631, 21});
  prgLoad = std::make_unique<forms::ProgressBar>(StatusBar.get(), forms::ControlBounds{431, 3, 196, 16});
  tmrLoad = std::make_unique<forms::Timer>();
  // A load's results are taken at this pace (and at once when its room
  // ahead is full or it has ended): often enough to look live, seldom
  // enough that the lists take many images at a time (the system's list
  // box redoes its scroll bar for all its items each time it draws again).
  tmrLoad->SetInterval(100);
  tmrLoad->OnTimer = [this] { TakeLoadResults(); };
  ChooseFolder = [this](std::wstring& folder) {
    return forms::SelectFolder(Handle(), "読み込むフォルダーを選択してください", folder);
  };

  dlgLoad = std::make_unique<forms::OpenDialog>();
  dlgLoad->Title = "画像ファイルを開く";
}

void TfrmMain::BuildMenu() {
  auto menu = std::make_unique<forms::MainMenu>();
  HMENU file = menu->AddPopup("ファイル(&F)");
  Menu_Load = menu->AddItem(file, "画像を読み込む(&O)", [this] { Menu_LoadClick(nullptr); },
                            forms::Shortcut{'L', false, false, false, "L"});
  Menu_LoadFolder = menu->AddItem(file, "フォルダーを読み込む(&D)", [this] { Menu_LoadFolderClick(nullptr); });
  // Esc runs the exit item, which stops a running load first.
  Menu_StopLoad = menu->AddItem(file, "読み込みの中止(&T)", [this] { Menu_StopLoadClick(nullptr); },
                                forms::Shortcut{0, false, false, false, "Esc"});
  menu->AddSeparator(file);
  Menu_Exit = menu->AddItem(file, "Morvaneの終了(&X)", [this] { Menu_ExitClick(nullptr); },
                            forms::Shortcut{VK_ESCAPE, false, false, false, "Esc"});
  HMENU setting = menu->AddPopup("設定(&S)");
  Menu_Plugin = menu->AddItem(setting, "Susieプラグインの設定(&P)", [this] { Menu_PluginClick(nullptr); });
  menu->SetEnabled(Menu_StopLoad, false);
  SetMenu(std::move(menu));
  // The menu bar takes room from the client area: give it back.
  SetClientSize(kClientWidth, kClientHeight);
}

void TfrmMain::FormCreate() {
  // Centred with an arithmetic shift: a window larger than the screen
  // gets a negative position.
  const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
  SetPosition((sw - Width()) >> 1, (sh - Height()) >> 1);

  const std::string exe = settings::ExecutablePath();
  SettingsPath = settings::SettingsPathFor(exe);
  const std::string dir = settings::ReadPluginDir(SettingsPath);
  SpiCtrl = dir.empty() ? new QvSpiCtrl() : new QvSpiCtrl(dir);
  // The last call may end on a decoding thread.
  SpiCtrl->OnCallsEnded = [this] { PostCall([this] { ResumePendingClose(); }); };
  SpiCtrl->OwnerWindow = Handle();
  PluginDlg = new TdlgPlugin();
  LastFolder = mv::WideFromAnsi(mv::ExtractFileDir(exe));
  btnDel1->SetEnabled(false);
  btnDel2->SetEnabled(false);
}

void TfrmMain::FormClose(forms::CloseAction& action) {
  if (CloseMustWait()) {
    // A load stops first; the close follows once its decodes have ended.
    StopLoad();
    action = forms::CloseAction::None;
    close_pending_ = true;
    return;
  }
  close_pending_ = false;
  delete PluginDlg;
  PluginDlg = nullptr;
  delete SpiCtrl;
  SpiCtrl = nullptr;
  // Both viewers are hidden and let go of the records before they go.
  if (frmPreview) {
    frmPreview->Close();
    frmPreview->DropImage();
  }
  if (frmPrePalette) {
    frmPrePalette->Close();
    frmPrePalette->DropImage();
  }
  for (tag_BeforeImage* image : BeforeImages) delete image;
  BeforeImages.clear();
}

void TfrmMain::FormMouseMove(forms::ShiftState, int, int) { SetStatusText(""); }

void TfrmMain::btnLoadMouseMove(forms::ShiftState, int, int) { SetStatusText(kLoadHint); }

void TfrmMain::SetStatusText(const std::string& text) {
  if (load_progress_shown_)
    status_after_load_ = text;
  else
    StatusBar->SetSimpleText(text);
}

void TfrmMain::Menu_LoadClick(void* sender) { btnLoadClick(sender); }

bool TfrmMain::CloseMustWait() const {
  return load_ || (SpiCtrl && SpiCtrl->CallInProgress()) || (PluginDlg && PluginDlg->Showing());
}

void TfrmMain::ResumePendingClose() {
  if (!close_pending_ || CloseMustWait()) return;
  close_pending_ = false;
  // Posted: whatever ended the wait is still on the stack.
  ::PostMessageA(Handle(), WM_CLOSE, 0, 0);
}

void TfrmMain::Menu_PluginClick(void*) {
  // Showing the dialog reloads the plug-ins: not under a running call, nor
  // while a load runs (the item is greyed then).
  if (load_ || SpiCtrl->CallInProgress()) {
    ::MessageBeep(MB_OK);
    return;
  }
  PluginDlg->ShowModal();
  ResumePendingClose();
}

void TfrmMain::Menu_ExitClick(void*) {
  // The first Esc of a running load stops it; the next ends the program.
  if (load_ && !LoadStopped()) {
    StopLoad();
    return;
  }
  // A hidden preview keeps the state it will show in, but nothing is on
  // screen to restore: the first Esc then ends the program.
  if (frmPreview && frmPreview->Showing() && frmPreview->State() == forms::WindowState::Maximized) {
    frmPreview->SetState(forms::WindowState::Normal);
    return;
  }
  Close();
}

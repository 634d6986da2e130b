// The main window: owner of the image store, the plug-in host and the
// plug-in dialog; the load command, the source list and removal.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "base/handles.h"
#include "forms/bevel.h"
#include "forms/controls.h"
#include "forms/dialogs.h"
#include "forms/form.h"
#include "forms/global_instance.h"
#include "forms/image_list.h"
#include "forms/label.h"
#include "image/before_image.h"

class QvSpiCtrl;
class TdlgPlugin;

class TfrmMain : public forms::Form {
  // First member: set before anything else of the window is built.
  forms::GlobalInstance<TfrmMain> instance_;

 public:
  TfrmMain();
  ~TfrmMain() override;

  // Components, as laid out on the window.
  std::unique_ptr<forms::ImageList> imglstToolButton;
  std::unique_ptr<forms::ImageList> imglstBits;
  std::unique_ptr<forms::ToolBar> ToolBar;
  int btnLoad = 0;  // the tool bar's first button
  std::unique_ptr<forms::Bevel> Bevel1, Bevel2, Bevel3;
  std::unique_ptr<forms::Label> Label1, Label2;
  std::unique_ptr<forms::Button> btnDel1, btnDel2;
  std::unique_ptr<forms::ListBox> lstBefore;
  std::unique_ptr<forms::ListBox> lstAfter;
  std::unique_ptr<forms::StatusBar> StatusBar;
  std::unique_ptr<forms::OpenDialog> dlgLoad;
  int Menu_Load = 0, Menu_Exit = 0, Menu_Plugin = 0;  // menu item ids

  // Shared with the other windows.
  std::string SettingsPath;
  QvSpiCtrl* SpiCtrl = nullptr;
  TdlgPlugin* PluginDlg = nullptr;
  std::vector<tag_BeforeImage*> BeforeImages;
  std::wstring LastFolder;  // where the load dialog opens: the folder of the last file loaded

  // Event handlers.
  void FormCreate();
  void FormClose(forms::CloseAction& action);
  void FormMouseMove(forms::ShiftState shift, int x, int y);
  void btnLoadMouseMove(forms::ShiftState shift, int x, int y);
  void btnLoadClick(void* sender);
  // Loads files by their full paths, in order, as the load command does:
  // a failure message for each that does not decode, the rest appended.
  // The dialog, files dropped on the window and the command line come here.
  // Files that arrive while a plug-in call runs (its own box lets messages
  // through) load, in order, once the call has ended.
  void LoadPaths(const std::vector<std::wstring>& paths);
  void FormDropFiles(const std::vector<std::wstring>& paths);
  // The files named on the command line, loaded once the window is up.
  void LoadAtStart(std::vector<std::wstring> paths);
  void Menu_LoadClick(void* sender);
  void Menu_PluginClick(void* sender);
  void Menu_ExitClick(void* sender);
  void btnDel1Click(void* sender);
  void lstBeforeMeasureItem(int index, int& height);
  void lstBeforeDrawItem(forms::DrawItemArgs& item);
  void lstBeforeMouseMove(forms::ShiftState shift, int x, int y);
  void lstBeforeDblClick();
  void lstBeforeKeyDown(WORD& key, forms::ShiftState shift);

  void RemoveSelectedImages();

  // The store and the three lists that show it (the source list and both
  // viewers' pickers) change only together, through these.
  // Appends a decoded image to the store and its name to the lists.
  tag_BeforeImage* AppendImage(std::unique_ptr<tag_BeforeImage> image);
  // Takes the images marked by index in `removed` out of the store and
  // refills the lists in one pass; each picker keeps its selected image if
  // that stays, the source list its caret and scroll position on the
  // nearest image that stays.
  void RemoveImages(const std::vector<bool>& removed);
  // Holds the lists' drawing for a scope in which many images go in (each
  // insertion would repaint and re-measure them), then redraws them.
  class ListsRedrawPause {
   public:
    explicit ListsRedrawPause(TfrmMain& form);
    ~ListsRedrawPause();
    ListsRedrawPause(const ListsRedrawPause&) = delete;
    ListsRedrawPause& operator=(const ListsRedrawPause&) = delete;

   private:
    std::array<HWND, 3> lists_;
  };

 private:
  std::array<forms::ItemList*, 3> NameLists() const;
  // What closing destroys is in use: a plug-in call runs, or the plug-in
  // dialog's modal loop does. A close asked for meanwhile waits for them.
  bool CloseMustWait() const;
  void ResumePendingClose();
  bool close_pending_ = false;
  // What waits for the plug-in calls to end: loads, then a close.
  void OnCallsEnded();
  std::vector<std::wstring> pending_loads_;
  void BuildComponents();
  void BuildMenu();
  void OpenCurrentInPreview();
  void UpdateBeforeExtent();
  mv::unique_hicon icon_;
};

extern TfrmMain* frmMain;

// The main window: owner of the image store, the plug-in host and the
// plug-in dialog; the load command, the source list and removal.
#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <functional>
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
#include "forms/timer.h"
#include "image/before_image.h"

class LoadQueue;

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
  std::unique_ptr<forms::ProgressBar> prgLoad;  // in the status bar while a load shows its progress
  std::unique_ptr<forms::OpenDialog> dlgLoad;
  std::unique_ptr<forms::Timer> tmrLoad;  // a load's progress and its end
  int Menu_Load = 0, Menu_LoadFolder = 0, Menu_StopLoad = 0, Menu_Exit = 0, Menu_Plugin = 0;  // menu item ids

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
  // Loads files by their full paths, as the load command does: they decode
  // on threads of their own, several at once, and each that decodes is
  // appended in the order given; those that do not are named in one
  // message at the end. A folder gives the files directly in it that a
  // bitmap's extension or an enabled plug-in's filter claims. The dialog,
  // files dropped on the window and the command line come here; a load
  // asked for while one runs waits for it.
  void LoadPaths(const std::vector<std::wstring>& paths);
  // Whether a load runs: files decode, or wait to be listed.
  bool Loading() const { return load_ != nullptr; }
  // Stops the load: nothing more starts, what is listed stays, and the
  // loads waiting behind it are dropped.
  void StopLoad();
  // The folder command's choice of a folder: the shell's folder browser
  // (replaced by the tests).
  std::function<bool(std::wstring& folder)> ChooseFolder;
  void FormDropFiles(const std::vector<std::wstring>& paths);
  // The files named on the command line, loaded once the window is up.
  void LoadAtStart(std::vector<std::wstring> paths);
  void Menu_LoadClick(void* sender);
  void Menu_LoadFolderClick(void* sender);
  void Menu_StopLoadClick(void* sender);
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
  // What closing destroys is in use: a load runs, a plug-in call runs, or
  // the plug-in dialog's modal loop does. A close asked for meanwhile waits
  // for them.
  bool CloseMustWait() const;
  void ResumePendingClose();
  bool close_pending_ = false;

  // The load running, and what it gathers until its end.
  std::vector<std::wstring> ExpandFolders(const std::vector<std::wstring>& paths) const;
  void StartLoad(std::vector<std::wstring> files);
  // Asks for the results ready to be listed; any thread.
  void WakeLoad();
  void TakeLoadResults();
  void ShowLoadProgress();
  void FinishLoad();
  void ShowLoadFailures();
  // The status bar's text, unless a load shows its progress there: then
  // the text it goes back to.
  void SetStatusText(const std::string& text);
  bool LoadStopped() const;
  std::unique_ptr<LoadQueue> load_;
  std::deque<std::vector<std::wstring>> queued_loads_;
  std::vector<std::wstring> load_failures_;
  bool load_palette_failed_ = false;
  std::atomic<bool> load_woken_ = false;
  DWORD load_started_ = 0;
  bool load_progress_shown_ = false;
  std::string status_after_load_;
  void BuildComponents();
  void BuildMenu();
  void OpenCurrentInPreview();
  // The source list's scroll width for its widest name; `from` on, only
  // the images appended since.
  void UpdateBeforeExtent(std::size_t from = 0);
  mv::unique_hicon icon_;
};

extern TfrmMain* frmMain;

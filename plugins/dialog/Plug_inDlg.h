// The plug-in settings dialog: the plug-in folder, the plug-ins found
// there, switching single plug-ins off, their own settings dialogs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/handles.h"
#include "forms/bevel.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/hint.h"
#include "forms/label.h"

class TdlgPlugin : public forms::Form {
 public:
  TdlgPlugin();
  ~TdlgPlugin() override;

  std::unique_ptr<forms::Edit> SusieDirEdit;
  std::unique_ptr<forms::Button> ResetButton, RegButton, DirButton, RefreshButton, SettingButton;
  std::unique_ptr<forms::CheckListBox> PluginCheckListBox;
  std::unique_ptr<forms::Button> OKButton, CancelButton;
  std::unique_ptr<forms::Label> Label1, Label2, Label3, Label4, Label5, Label6;
  std::unique_ptr<forms::Bevel> Bevel1;

  std::string InitialDir;

  void FormCreate();
  void FormShow();
  void FormClose(forms::CloseAction& action);
  void RefreshButtonClick();
  void ResetButtonClick();
  void RegButtonClick();
  void DirButtonClick();
  void SettingButtonClick();
  void OKButtonClick();
  void CancelButtonClick();

  // Asks for the folder when the browse button is pressed; tests replace it.
  std::function<bool(std::string& folder)> BrowseForFolder;

 private:
  // Shows the host's plug-in folder and its plug-ins, checked as the
  // settings file says, and switches the plug-ins to match.
  void ApplySavedSettings();
  // Drops what the dialog changed: the host's folder back to the one it
  // opened with, the list and the plug-ins back to the saved settings.
  void RevertChanges();
  void FillPluginList();
  void ShowCurrentSettings();
  void ApplyChecksToPlugins();
  std::vector<std::unique_ptr<forms::Hint>> hints_;
  mv::unique_hicon icon_;
  bool closed_by_ok_ = false;
};

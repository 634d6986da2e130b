// Files that reach the main window from outside the load dialog: dropped
// from the shell, or named on the command line.
#include <utility>

#include "app/MainForm.h"
#include "forms/application.h"
#include "forms/message_box.h"
#include "plugins/spi_ctrl.h"

void TfrmMain::FormDropFiles(const std::vector<std::wstring>& paths) {
  // The window takes nothing while a dialog or message box of ours is up
  // (it is disabled then). A drop during a load (a plug-in's own box may
  // have disabled the window) loads after it; a folder gives its images.
  if (forms::Application::Instance().modal_level > 0 || forms::OpenMessageBoxes() > 0 ||
      (!::IsWindowEnabled(Handle()) && !Loading() && !(SpiCtrl && SpiCtrl->CallInProgress())))
    return;
  LoadPaths(paths);
}

void TfrmMain::LoadAtStart(std::vector<std::wstring> paths) {
  if (paths.empty()) return;
  PostCall([this, paths = std::move(paths)] {
    // Painted first: the first failure message or a long load would
    // otherwise face an empty frame.
    ::UpdateWindow(Handle());
    LoadPaths(paths);
  });
}

// Files that reach the main window from outside the load dialog: dropped
// from the shell, or named on the command line.
#include <utility>

#include "app/MainForm.h"
#include "base/open_file.h"
#include "forms/application.h"
#include "forms/message_box.h"
#include "plugins/spi_ctrl.h"

void TfrmMain::FormDropFiles(const std::vector<std::wstring>& paths) {
  // The window takes nothing while a dialog or message box of ours is up
  // (it is disabled then). A drop during a plug-in call loads after it.
  if (forms::Application::Instance().modal_level > 0 || forms::OpenMessageBoxes() > 0 ||
      (!::IsWindowEnabled(Handle()) && !(SpiCtrl && SpiCtrl->CallInProgress())))
    return;
  // Folders are passed over: the load dialog names files only, and what a
  // folder holds that is an image depends on the plug-ins of the moment.
  std::vector<std::wstring> files;
  for (const std::wstring& path : paths) {
    const DWORD attributes = ::GetFileAttributesW(mv::FileCallPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    files.push_back(path);
  }
  if (!files.empty()) LoadPaths(files);
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

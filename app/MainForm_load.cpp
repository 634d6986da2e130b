// The load command: choose files, decode each, append the images.
#include <memory>
#include <optional>
#include <utility>

#include "app/MainForm.h"
#include "base/sjis_path.h"
#include "forms/message_box.h"
#include "plugins/spi_ctrl.h"

void TfrmMain::btnLoadClick(void*) {
  for (;;) {
    try {
      dlgLoad->FileName.clear();
      dlgLoad->InitialDir = LastFolder;
      if (!dlgLoad->Execute(Handle())) return;
      std::vector<std::wstring> paths;
      for (const std::string& f : dlgLoad->Files) {
        const int n = ::MultiByteToWideChar(CP_ACP, 0, f.c_str(), static_cast<int>(f.size()), nullptr, 0);
        std::wstring w(static_cast<size_t>(n), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, f.c_str(), static_cast<int>(f.size()), w.data(), n);
        paths.push_back(w);
      }
      LoadPaths(paths);
      return;
    } catch (const forms::FileOpenError& e) {
      if (forms::ShowMessageBox(Handle(), e.what(), "オープンエラー", MB_RETRYCANCEL) != IDRETRY) return;
    }
  }
}

void TfrmMain::LoadPaths(const std::vector<std::wstring>& paths) {
  std::optional<ListsRedrawPause> pause(std::in_place, *this);
  for (forms::ItemList* list : NameLists()) list->Reserve(static_cast<int>(paths.size()));
  for (const std::wstring& wide : paths) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), path.data(), n, nullptr, nullptr);
    LastFolder = mv::ExtractFileDir(path);
    auto image = std::make_unique<tag_BeforeImage>();
    image->FilePath = path;
    if (!SpiCtrl->DecodeImage(image.get())) {
      // The lists draw while the box is up, so the images added so far
      // show, and repaint what it uncovers before they pause again.
      pause.reset();
      forms::ShowMessageBox(Handle(), "指定のファイル：\r\n" + path + "\r\nを読み込むことができません", "読み込み失敗",
                            MB_OK);
      for (forms::ItemList* list : NameLists()) ::UpdateWindow(list->Handle());
      pause.emplace(*this);
      continue;
    }
    AppendImage(std::move(image));
  }
  UpdateBeforeExtent();
}

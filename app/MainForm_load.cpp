// The load command: choose files, decode each, append the images.
#include <memory>
#include <optional>
#include <utility>

#include "app/MainForm.h"
#include "base/wide_text.h"
#include "decode/decode_image.h"
#include "forms/message_box.h"
#include "plugins/spi_ctrl.h"

void TfrmMain::btnLoadClick(void*) {
  for (;;) {
    try {
      dlgLoad->FileName.clear();
      dlgLoad->InitialDir = LastFolder;
      if (!dlgLoad->Execute(Handle())) return;
      LoadPaths(dlgLoad->Files);
      return;
    } catch (const forms::FileOpenError& e) {
      if (forms::ShowMessageBox(Handle(), e.what(), "オープンエラー", MB_RETRYCANCEL) != IDRETRY) return;
    }
  }
}

void TfrmMain::LoadPaths(const std::vector<std::wstring>& paths) {
  if (paths.empty()) return;
  if (SpiCtrl->CallInProgress()) {
    pending_loads_.insert(pending_loads_.end(), paths.begin(), paths.end());
    return;
  }
  std::optional<ListsRedrawPause> pause(std::in_place, *this);
  for (forms::ItemList* list : NameLists()) list->Reserve(static_cast<int>(paths.size()));
  for (const std::wstring& path : paths) {
    LastFolder = mv::ExtractFileDirW(path);
    auto image = std::make_unique<tag_BeforeImage>();
    image->WidePath = path;
    if (!DecodeImage(*SpiCtrl, image.get())) {
      // The lists draw while the box is up, so the images added so far
      // show, and repaint what it uncovers before they pause again.
      pause.reset();
      forms::ShowMessageBox(Handle(),
                            mv::WideFromAnsi("指定のファイル：\r\n") + path + mv::WideFromAnsi("\r\nを読み込むことができません"),
                            "読み込み失敗", MB_OK);
      for (forms::ItemList* list : NameLists()) ::UpdateWindow(list->Handle());
      pause.emplace(*this);
      continue;
    }
    // A native bitmap whose palette the system refused stays listed
    // without one; the user is told.
    if (image->FormatIndex == 0 && image->BitCount <= 8 && !image->Palette)
      forms::ShowMessageBox(nullptr, "パレットの作成に失敗しました", "パレット作成失敗", MB_OK | MB_ICONSTOP);
    AppendImage(std::move(image));
  }
  UpdateBeforeExtent();
}

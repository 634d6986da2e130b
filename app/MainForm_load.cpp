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
      std::optional<ListsRedrawPause> pause(std::in_place, *this);
      for (forms::ItemList* list : NameLists()) list->Reserve(static_cast<int>(dlgLoad->Files.size()));
      for (size_t i = 0; i < dlgLoad->Files.size(); ++i) {
        const std::string path = dlgLoad->Files[i];
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
      return;
    } catch (const forms::FileOpenError& e) {
      if (forms::ShowMessageBox(Handle(), e.what(), "オープンエラー", MB_RETRYCANCEL) != IDRETRY) return;
    }
  }
}

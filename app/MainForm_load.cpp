// The load command: choose files, decode each, append the images.
#include <memory>
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
      ListsRedrawPause pause(*this);
      for (size_t i = 0; i < dlgLoad->Files.size(); ++i) {
        const std::string path = dlgLoad->Files[i];
        LastFolder = mv::ExtractFileDir(path);
        auto image = std::make_unique<tag_BeforeImage>();
        image->FilePath = path;
        if (!SpiCtrl->DecodeImage(image.get())) {
          forms::ShowMessageBox(Handle(), "指定のファイル：\r\n" + path + "\r\nを読み込むことができません", "読み込み失敗",
                                MB_OK);
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

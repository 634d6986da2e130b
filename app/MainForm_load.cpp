// The load command: choose files, decode each, append the images.
#include <memory>

#include "app/MainForm.h"
#include "base/sjis_path.h"
#include "forms/message_box.h"
#include "palette/PreviewPaletteFrom.h"
#include "plugins/spi_ctrl.h"
#include "preview/PreviewForm.h"

namespace {
// Holds a list's drawing while many items go in; each insertion would
// otherwise repaint and re-measure the list.
class RedrawPause {
 public:
  explicit RedrawPause(HWND list) : list_(list) { ::SendMessageA(list_, WM_SETREDRAW, FALSE, 0); }
  ~RedrawPause() {
    ::SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
  }
  RedrawPause(const RedrawPause&) = delete;
  RedrawPause& operator=(const RedrawPause&) = delete;

 private:
  HWND list_;
};
}  // namespace

void TfrmMain::btnLoadClick(void*) {
  for (;;) {
    try {
      dlgLoad->FileName.clear();
      dlgLoad->InitialDir = LastFolder;
      if (!dlgLoad->Execute(Handle())) return;
      RedrawPause pause_list(lstBefore->Handle());
      RedrawPause pause_preview(frmPreview->cmbPreview->Handle());
      RedrawPause pause_palette(frmPrePalette->cmbPreview->Handle());
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
        const std::string name = image->FileName;
        BeforeImages.push_back(image.release());
        lstBefore->Add(name);
        frmPreview->cmbPreview->Add(name);
        frmPrePalette->cmbPreview->Add(name);
        btnDel1->SetEnabled(true);
      }
      UpdateBeforeExtent();
      return;
    } catch (const forms::FileOpenError& e) {
      if (forms::ShowMessageBox(Handle(), e.what(), "オープンエラー", MB_RETRYCANCEL) != IDRETRY) return;
    }
  }
}

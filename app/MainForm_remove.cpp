// Removing the selected images: asked first, then out of the store and all
// four lists.
#include <vector>

#include "app/MainForm.h"
#include "forms/message_box.h"
#include "palette/PreviewPaletteFrom.h"
#include "preview/PreviewForm.h"

void TfrmMain::btnDel1Click(void*) { RemoveSelectedImages(); }

void TfrmMain::RemoveSelectedImages() {
  if (forms::ShowMessageBox(Handle(), "選択した画像をリストから削除してよろしいですか？", "画像をリストから削除します",
                            MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  frmPreview->Hide();
  frmPrePalette->Hide();

  const int count = lstBefore->Count();
  std::vector<bool> removed(static_cast<size_t>(count), false);
  bool any = false;
  for (int i = 0; i < count; ++i) {
    if (lstBefore->Selected(i)) {
      removed[static_cast<size_t>(i)] = true;
      any = true;
    }
  }
  if (any) RemoveImages(removed);
  UpdateBeforeExtent();
  if (lstBefore->Count() == 0) {
    // A disabled button keeps no focus: hand it to the list, so the keys
    // still reach something.
    const bool had_focus = ::GetFocus() == btnDel1->Handle();
    btnDel1->SetEnabled(false);
    if (had_focus) ::SetFocus(lstBefore->Handle());
  }
}

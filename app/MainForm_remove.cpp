// Removing the selected images from the store and from all four lists.
#include <vector>

#include "app/MainForm.h"
#include "forms/message_box.h"
#include "palette/PreviewPaletteFrom.h"
#include "preview/PreviewForm.h"

namespace {

// Where an item that survived ends up: its old index less the removed ones
// before it; -1 for a removed item.
int MapIndex(int old_index, const std::vector<bool>& removed, const std::vector<int>& removed_before) {
  if (old_index < 0 || old_index >= static_cast<int>(removed.size()) || removed[old_index]) return -1;
  return old_index - removed_before[old_index];
}

// Refills a list with the surviving names in one pass: deleting items one
// by one would move the rest of the list for every item removed.
template <class List>
void Refill(List& list, const std::vector<tag_BeforeImage*>& images, int selected) {
  ::SendMessageA(list.Handle(), WM_SETREDRAW, FALSE, 0);
  list.Clear();
  for (const tag_BeforeImage* image : images) list.Add(image->FileName);
  if (selected >= 0) list.SetItemIndex(selected);
  ::SendMessageA(list.Handle(), WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(list.Handle(), nullptr, TRUE);
}

}  // namespace

void TfrmMain::btnDel1Click(void*) { RemoveSelectedImages(); }

void TfrmMain::RemoveSelectedImages() {
  if (forms::ShowMessageBox(Handle(), "選択した画像をリストから削除してよろしいですか？", "画像をリストから削除します",
                            MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  frmPreview->Hide();
  frmPrePalette->Hide();

  const int count = lstBefore->Count();
  std::vector<bool> removed(static_cast<size_t>(count), false);
  int n = 0;
  for (int i = 0; i < count; ++i) {
    if (lstBefore->Selected(i)) {
      removed[static_cast<size_t>(i)] = true;
      ++n;
    }
  }
  if (n > 0) {
    std::vector<int> removed_before(static_cast<size_t>(count), 0);
    for (int i = 1; i < count; ++i)
      removed_before[static_cast<size_t>(i)] = removed_before[static_cast<size_t>(i - 1)] + (removed[static_cast<size_t>(i - 1)] ? 1 : 0);
    const int caret = lstBefore->ItemIndex();
    const int top = lstBefore->TopIndex();
    const int preview_sel = frmPreview->cmbPreview->ItemIndex();
    const int palette_sel = frmPrePalette->cmbPreview->ItemIndex();

    std::vector<tag_BeforeImage*> kept;
    kept.reserve(BeforeImages.size() - static_cast<size_t>(n));
    for (size_t i = 0; i < BeforeImages.size(); ++i) {
      if (i < removed.size() && removed[i])
        delete BeforeImages[i];  // bitmap, view and palette go with it
      else
        kept.push_back(BeforeImages[i]);
    }
    BeforeImages.swap(kept);

    Refill(*lstBefore, BeforeImages, -1);
    Refill(*frmPreview->cmbPreview, BeforeImages, MapIndex(preview_sel, removed, removed_before));
    Refill(*frmPrePalette->cmbPreview, BeforeImages, MapIndex(palette_sel, removed, removed_before));
    // The caret and the scroll position stay on the nearest surviving item.
    auto nearest = [&](int old_index) {
      for (int i = std::max(old_index, 0); i < count; ++i)
        if (!removed[static_cast<size_t>(i)]) return i - removed_before[static_cast<size_t>(i)];
      return lstBefore->Count() - 1;
    };
    if (lstBefore->Count() > 0) {
      lstBefore->SetTopIndex(nearest(top));
      if (caret >= 0) lstBefore->SetItemIndex(nearest(caret));
    }
  }
  UpdateBeforeExtent();
  if (lstBefore->Count() == 0) {
    // A disabled button keeps no focus: hand it to the list, so the keys
    // still reach something.
    const bool had_focus = ::GetFocus() == btnDel1->Handle();
    btnDel1->SetEnabled(false);
    if (had_focus) ::SetFocus(lstBefore->Handle());
  }
}

// The image store and the three lists that show it: the source list and
// the pickers of both viewers. They change together, here.
#include <algorithm>
#include <vector>

#include "app/MainForm.h"
#include "palette/PreviewPaletteFrom.h"
#include "preview/PreviewForm.h"

namespace {

// Where an item that stays ends up: its old index less the removed ones
// before it; -1 for a removed item.
int MapIndex(int old_index, const std::vector<bool>& removed, const std::vector<int>& removed_before) {
  if (old_index < 0 || old_index >= static_cast<int>(removed.size()) || removed[old_index]) return -1;
  return old_index - removed_before[old_index];
}

}  // namespace

std::array<forms::ItemList*, 3> TfrmMain::NameLists() const {
  return {lstBefore.get(), frmPreview->cmbPreview, frmPrePalette->cmbPreview};
}

TfrmMain::ListsRedrawPause::ListsRedrawPause(TfrmMain& form) {
  const auto lists = form.NameLists();
  for (size_t i = 0; i < lists.size(); ++i) {
    lists_[i] = lists[i]->Handle();
    ::SendMessageA(lists_[i], WM_SETREDRAW, FALSE, 0);
  }
}

TfrmMain::ListsRedrawPause::~ListsRedrawPause() {
  for (HWND list : lists_) {
    ::SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
  }
}

tag_BeforeImage* TfrmMain::AppendImage(std::unique_ptr<tag_BeforeImage> image) {
  tag_BeforeImage* appended = image.get();
  BeforeImages.push_back(image.release());
  for (forms::ItemList* list : NameLists()) list->Add(appended->FileName);
  // Removal waits for a load's end; asked once, not for every image.
  if (!Loading() && !btnDel1->Enabled()) btnDel1->SetEnabled(true);
  return appended;
}

void TfrmMain::RemoveImages(const std::vector<bool>& removed) {
  const int count = lstBefore->Count();
  std::vector<int> removed_before(static_cast<size_t>(count), 0);
  for (int i = 1; i < count; ++i)
    removed_before[static_cast<size_t>(i)] =
        removed_before[static_cast<size_t>(i - 1)] + (removed[static_cast<size_t>(i - 1)] ? 1 : 0);
  const int caret = lstBefore->ItemIndex();
  const int top = lstBefore->TopIndex();
  const int preview_selected = frmPreview->cmbPreview->ItemIndex();
  const int palette_selected = frmPrePalette->cmbPreview->ItemIndex();

  // Neither viewer keeps anything of a record that goes, shown or hidden.
  frmPreview->DropImage();
  frmPrePalette->DropImage();
  std::vector<tag_BeforeImage*> kept;
  kept.reserve(BeforeImages.size());
  for (size_t i = 0; i < BeforeImages.size(); ++i) {
    if (i < removed.size() && removed[i])
      delete BeforeImages[i];  // bitmap, view and palette go with it
    else
      kept.push_back(BeforeImages[i]);
  }
  BeforeImages.swap(kept);

  {
    // Refilled in one pass: deleting items one by one would move the rest
    // of a list for every item removed.
    ListsRedrawPause pause(*this);
    for (forms::ItemList* list : NameLists()) {
      list->Clear();
      list->Reserve(static_cast<int>(BeforeImages.size()));
      for (const tag_BeforeImage* image : BeforeImages) list->Add(image->FileName);
    }
    const int preview_now = MapIndex(preview_selected, removed, removed_before);
    if (preview_now >= 0) frmPreview->cmbPreview->SetItemIndex(preview_now);
    const int palette_now = MapIndex(palette_selected, removed, removed_before);
    if (palette_now >= 0) frmPrePalette->cmbPreview->SetItemIndex(palette_now);
  }
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

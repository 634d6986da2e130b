// The source list: drawing its items, the path tooltip, opening the
// current item in the preview window, Ctrl+A.
#include "app/MainForm.h"
#include "app/image_item.h"
#include "forms/application.h"
#include "preview/PreviewForm.h"

void TfrmMain::lstBeforeMeasureItem(int, int& height) { height = mv::ImageItemHeight(*imglstBits); }

void TfrmMain::lstBeforeDrawItem(forms::DrawItemArgs& item) {
  mv::DrawImageItem(item, *imglstBits, BeforeImages, lstBefore->Item(item.index));
}

void TfrmMain::lstBeforeMouseMove(forms::ShiftState, int, int y) {
  lstBefore->SetShowHint(false);
  const int count = lstBefore->Count();
  if (count == 0) return;
  const int i = y / mv::ImageItemHeight(*imglstBits) + lstBefore->TopIndex();
  if (i >= 0 && i < count && i < static_cast<int>(BeforeImages.size())) lstBefore->SetHint(BeforeImages[i]->WidePath);
  lstBefore->SetShowHint(true);
}

void TfrmMain::OpenCurrentInPreview() {
  const int i = lstBefore->ItemIndex();
  if (i < 0 || i >= lstBefore->Count()) return;
  frmPreview->ImageIndex = i;
  frmPreview->Hide();
  frmPreview->Show();
  forms::Application::Instance().ProcessMessages();
}

void TfrmMain::lstBeforeDblClick() { OpenCurrentInPreview(); }

void TfrmMain::lstBeforeKeyDown(WORD& key, forms::ShiftState shift) {
  if (key == VK_RETURN) {
    OpenCurrentInPreview();
    return;
  }
  if (key == 'A' && shift.ctrl) {
    const int count = lstBefore->Count();
    for (int i = 0; i < count; ++i) lstBefore->SetSelected(i, true);
    key = 0;
  }
}

void TfrmMain::UpdateBeforeExtent(std::size_t from) {
  // Item i's text is the name of image i: taken from the store, and
  // measured in one context, as a load may list thousands. Images appended
  // from `from` on can only widen what the list had.
  const forms::TextMeasure measure(lstBefore->Font());
  const int text_left = mv::ImageItemTextLeft(*imglstBits);
  int widest = from == 0 ? 0 : lstBefore->HorizontalExtent();
  for (std::size_t i = from; i < BeforeImages.size(); ++i)
    if (const tag_BeforeImage* image = BeforeImages[i])
      widest = std::max<int>(widest, measure.Of(image->WideName).cx + text_left + 2);
  lstBefore->SetHorizontalExtent(widest);
}

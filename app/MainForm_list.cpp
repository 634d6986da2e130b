// The source list: drawing its items, the path tooltip, opening the
// current item in the preview window, Ctrl+A.
#include "app/MainForm.h"
#include "forms/application.h"
#include "preview/PreviewForm.h"

namespace {
constexpr int kItemPadding = 4;  // icon height + 4 = item height; icon width + 4 = text start
constexpr int kIconInset = 2;
}  // namespace

void TfrmMain::lstBeforeMeasureItem(int, int& height) { height = imglstBits->Height() + kItemPadding; }

void TfrmMain::lstBeforeDrawItem(forms::DrawItemArgs& item) {
  const RECT& r = item.rect;
  item.canvas.FillRect(r);
  if (item.index >= 0 && item.index < static_cast<int>(BeforeImages.size()) && BeforeImages[item.index])
    imglstBits->Draw(item.canvas.Handle(), BeforeImages[item.index]->DepthIcon, r.left + kIconInset, r.top + kIconInset);
  const std::string text = lstBefore->Item(item.index);
  const int th = item.canvas.TextHeight(text);
  const int y = r.top + (r.bottom - r.top - th) / 2;
  const int x = r.left + imglstBits->Width() + kItemPadding;
  item.canvas.TextOut(x, y, text);
}

void TfrmMain::lstBeforeMouseMove(forms::ShiftState, int, int y) {
  lstBefore->SetShowHint(false);
  const int count = lstBefore->Count();
  if (count == 0) return;
  const int i = y / (imglstBits->Height() + kItemPadding) + lstBefore->TopIndex();
  if (i >= 0 && i < count && i < static_cast<int>(BeforeImages.size())) lstBefore->SetHint(BeforeImages[i]->FilePath);
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

void TfrmMain::UpdateBeforeExtent() {
  int widest = 0;
  const int count = lstBefore->Count();
  for (int i = 0; i < count; ++i) {
    SIZE s = forms::MeasureText(lstBefore->Font(), lstBefore->Item(i));
    widest = std::max<int>(widest, s.cx + imglstBits->Width() + kItemPadding + 2);
  }
  lstBefore->SetHorizontalExtent(widest);
}

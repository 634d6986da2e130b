#include "preview/image_picker.h"

#include "app/MainForm.h"
#include "base/sjis_path.h"
#include "resources/art_win.h"

namespace {
constexpr int kItemPadding = 4;
constexpr int kIconInset = 2;
constexpr int kFaceHeight = 20;
}  // namespace

ImagePicker::ImagePicker(forms::Window* strip) : glyphs_(mv::MakeTriangleImageList()) {
  spbUp = std::make_unique<forms::SpeedButton>(strip, forms::ControlBounds{0, 1, 25, 25});
  spbUp->SetGlyph(glyphs_.get(), 0);
  spbDown = std::make_unique<forms::SpeedButton>(strip, forms::ControlBounds{25, 1, 25, 25});
  spbDown->SetGlyph(glyphs_.get(), 1);
  cmbPreview = std::make_unique<forms::ComboBox>(
      strip, forms::ComboBoxParams{.bounds = {50, 1, 184, 400}, .item_height = kFaceHeight});
  cmbPreview->OnMeasureItem = [this](int i, int& h) { cmbPreviewMeasureItem(i, h); };
  cmbPreview->OnDrawItem = [this](forms::DrawItemArgs& a) { cmbPreviewDrawItem(a); };
  // The face's height was measured while the list was made.
  ::SendMessageA(cmbPreview->Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kFaceHeight);
}

void ImagePicker::Connect(forms::NotifyHandler up, forms::NotifyHandler down, forms::NotifyHandler change) {
  spbUp->OnClick = std::move(up);
  spbDown->OnClick = std::move(down);
  cmbPreview->OnChange = std::move(change);
}

void ImagePicker::cmbPreviewMeasureItem(int, int& height) { height = frmMain->imglstBits->Height() + kItemPadding; }

void ImagePicker::cmbPreviewDrawItem(forms::DrawItemArgs& item) {
  const RECT& r = item.rect;
  item.canvas.FillRect(r);
  const auto& images = frmMain->BeforeImages;
  if (item.index >= 0 && item.index < static_cast<int>(images.size()) && images[item.index])
    frmMain->imglstBits->Draw(item.canvas.Handle(), images[item.index]->DepthIcon, r.left + kIconInset,
                              r.top + kIconInset);
  const std::string text = cmbPreview->Item(item.index);
  const int th = item.canvas.TextHeight(text);
  item.canvas.TextOut(r.left + frmMain->imglstBits->Width() + kItemPadding, r.top + (r.bottom - r.top - th) / 2, text);
}

int ImagePicker::IndexOfCurrentText() const {
  const int current = cmbPreview->ItemIndex();
  if (current < 0) return -1;
  const std::string text = cmbPreview->Item(current);
  const int count = cmbPreview->Count();
  for (int i = 0; i < count; ++i)
    if (mv::SameTextIgnoreCase(cmbPreview->Item(i), text)) return i;
  return current;
}

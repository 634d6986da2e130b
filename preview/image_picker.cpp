#include "preview/image_picker.h"

#include <algorithm>

#include "app/MainForm.h"
#include "app/image_item.h"
#include "base/wide_text.h"
#include "resources/art_win.h"

namespace {
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
  ::SendMessageW(cmbPreview->Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kFaceHeight);
}

void ImagePicker::Connect(forms::NotifyHandler up, forms::NotifyHandler down, forms::NotifyHandler change) {
  spbUp->OnClick = std::move(up);
  spbDown->OnClick = std::move(down);
  cmbPreview->OnChange = std::move(change);
}

void ImagePicker::cmbPreviewMeasureItem(int, int& height) { height = mv::ImageItemHeight(*frmMain->imglstBits); }

void ImagePicker::cmbPreviewDrawItem(forms::DrawItemArgs& item) {
  mv::DrawImageItem(item, *frmMain->imglstBits, frmMain->BeforeImages, cmbPreview->Item(item.index));
}

int ImagePicker::IndexOfCurrentText() const {
  const int current = cmbPreview->ItemIndex();
  if (current < 0) return -1;
  // The names as the file system has them: two names the code page turns
  // into the same '?' text are different files.
  const std::vector<tag_BeforeImage*>& images = frmMain->BeforeImages;
  const int count = std::min<int>(cmbPreview->Count(), static_cast<int>(images.size()));
  if (current >= count || !images[static_cast<size_t>(current)]) return current;
  const std::wstring& name = images[static_cast<size_t>(current)]->WideName;
  for (int i = 0; i < count; ++i) {
    const tag_BeforeImage* image = images[static_cast<size_t>(i)];
    if (image && mv::SameNameIgnoreCase(image->WideName, name)) return i;
  }
  return current;
}

int ImagePicker::Previous(int index) {
  const int count = frmMain->lstBefore->Count();
  return index - 1 < 0 ? count - 1 : index - 1;
}

int ImagePicker::Next(int index) {
  const int count = frmMain->lstBefore->Count();
  return index + 1 >= count ? 0 : index + 1;
}

int ImagePicker::StepByKey(char key, int index) {
  if (key == ' ') return Next(index);
  if (key == 'B' || key == 'b') return Previous(index);
  return -1;
}

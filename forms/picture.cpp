#include "forms/picture.h"

namespace forms {

void Image::SetPicture(std::shared_ptr<Bitmap> picture) {
  picture_ = std::move(picture);
  Invalidate();
}

COLORREF Image::PicturePixel(int x, int y) const {
  if (!picture_ || picture_->Empty() || x < 0 || y < 0 || x >= picture_->Width() || y >= picture_->Height())
    return CLR_INVALID;
  return ::GetPixel(picture_->CanvasHandle(), x, y);
}

void Image::Paint(HDC dc, const RECT& rect) {
  if (PaintOverride) {
    PaintOverride(dc, rect);
    return;
  }
  if (!picture_ || picture_->Empty()) return;
  HPALETTE pal = picture_->Palette();
  mv::PaletteGuard use(dc, pal, TRUE);
  if (pal) ::RealizePalette(dc);
  ::BitBlt(dc, rect.left, rect.top, picture_->Width(), picture_->Height(), picture_->CanvasHandle(), 0, 0, SRCCOPY);
}

SpeedButton::SpeedButton(Window* parent, const ControlBounds& bounds) : GraphicControl(parent) { SetBounds(bounds); }

void SpeedButton::SetCaption(const std::string& caption, const FontSpec& font) {
  caption_ = caption;
  font_ = GetFont(font);
  Invalidate();
}

void SpeedButton::SetDown(bool down) {
  if (down && group_ != 0) {
    for (GraphicControl* g : Parent()->Graphics()) {
      auto* other = dynamic_cast<SpeedButton*>(g);
      if (other && other != this && other->group_ == group_ && other->down_) {
        other->down_ = false;
        other->Invalidate();
      }
    }
  }
  down_ = down;
  Invalidate();
}

void SpeedButton::Click() {
  // In a group, pressing the button that is down leaves it down.
  if (group_ != 0) SetDown(true);
  if (OnClick) OnClick();
}

void SpeedButton::MouseDown(MouseButton button, ShiftState shift, int x, int y) {
  if (button == MouseButton::Left && Enabled()) {
    pressed_ = true;
    Invalidate();
  }
  GraphicControl::MouseDown(button, shift, x, y);
}

void SpeedButton::MouseUp(MouseButton button, ShiftState, int x, int y) {
  const bool was_pressed = pressed_;
  pressed_ = false;
  Invalidate();
  if (button == MouseButton::Left && was_pressed && x >= 0 && y >= 0 && x < Width() && y < Height()) Click();
}

void SpeedButton::Paint(HDC dc, const RECT& rect) {
  RECT r = rect;
  const bool sunken = pressed_ || down_;
  ::FillRect(dc, &r, ::GetSysColorBrush(down_ && !pressed_ ? COLOR_3DLIGHT : COLOR_BTNFACE));
  ::DrawEdge(dc, &r, sunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  const int shift = sunken ? 1 : 0;
  if (images_ && image_index_ >= 0) {
    int w = 0, h = 0;
    ImageList_GetIconSize(images_, &w, &h);
    ImageList_Draw(images_, image_index_, dc, rect.left + (Width() - w) / 2 + shift,
                   rect.top + (Height() - h) / 2 + shift, ILD_TRANSPARENT);
  }
  if (!caption_.empty()) {
    mv::SelectGuard font(dc, font_ ? font_ : GetFont(DefaultFont()));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    RECT t = r;
    ::OffsetRect(&t, shift, shift);
    ::DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

}  // namespace forms

#include "forms/label.h"

#include "base/handles.h"

namespace forms {

Label::Label(Window* parent, const LabelParams& p)
    : GraphicControl(parent), caption_(p.caption), font_(GetFont(p.font)), color_(p.color) {
  SetBounds(p.left, p.top, 0, 0);
  Fit();
}

void Label::Fit() {
  if (!auto_size_) return;
  SIZE s = MeasureText(font_, caption_.empty() ? std::string(" ") : caption_);
  if (caption_.empty()) s.cx = 0;
  SetBounds(Left(), Top(), s.cx, s.cy);
}

void Label::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Invalidate();
  Fit();
}

void Label::SetAutoSize(bool on) {
  auto_size_ = on;
  Fit();
}

void Label::SetColor(COLORREF color) {
  color_ = color;
  Invalidate();
}

void Label::Paint(HDC dc, const RECT& rect) {
  mv::SelectGuard font(dc, font_);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color_);
  ::TextOutA(dc, rect.left, rect.top, caption_.c_str(), static_cast<int>(caption_.size()));
}

}  // namespace forms

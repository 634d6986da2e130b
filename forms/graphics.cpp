#include "forms/graphics.h"

namespace forms {

Label::Label(Window* parent, int x, int y, const std::string& caption, const FontSpec& font, COLORREF color)
    : GraphicControl(parent), caption_(caption), font_(GetFont(font)), color_(color) {
  SetBounds(x, y, 0, 0);
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
  HGDIOBJ old = ::SelectObject(dc, font_);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, color_);
  ::TextOutA(dc, rect.left, rect.top, caption_.c_str(), static_cast<int>(caption_.size()));
  ::SelectObject(dc, old);
}

Bevel::Bevel(Window* parent, int x, int y, int width, int height, Shape shape)
    : GraphicControl(parent), shape_(shape) {
  SetBounds(x, y, width, height);
}

void Bevel::Paint(HDC dc, const RECT& rect) {
  RECT r = rect;
  switch (shape_) {
    case Shape::Box:
      ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
      break;
    case Shape::Frame:
      ::DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
      break;
    case Shape::TopLine:
      ::DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
      break;
  }
}

}  // namespace forms

#include "forms/canvas.h"

namespace forms {

Canvas::Canvas(HDC dc) : dc_(dc), saved_(::SaveDC(dc)) {
  brush_.reset(::CreateSolidBrush(brush_color_));
  pen_.reset(::CreatePen(PS_SOLID, 1, pen_color_));
  ::SelectObject(dc_, brush_.get());
  ::SelectObject(dc_, pen_.get());
}

Canvas::~Canvas() {
  // Puts back what was selected before, so our brush and pen can go.
  ::RestoreDC(dc_, saved_);
}

void Canvas::SetBrushColor(COLORREF color) {
  brush_color_ = color;
  mv::unique_hbrush brush(::CreateSolidBrush(color));
  ::SelectObject(dc_, brush.get());
  brush_ = std::move(brush);
}

void Canvas::SetPenColor(COLORREF color) {
  pen_color_ = color;
  mv::unique_hpen pen(::CreatePen(PS_SOLID, 1, color));
  ::SelectObject(dc_, pen.get());
  pen_ = std::move(pen);
}

void Canvas::SetFont(HFONT font) { ::SelectObject(dc_, font); }

void Canvas::SetFontColor(COLORREF color) { ::SetTextColor(dc_, color); }

void Canvas::FillRect(const RECT& rect) { ::FillRect(dc_, &rect, brush_.get()); }

void Canvas::Rectangle(int left, int top, int right, int bottom) { ::Rectangle(dc_, left, top, right, bottom); }

void Canvas::TextOut(int x, int y, const std::string& text) {
  ::SetBkMode(dc_, OPAQUE);
  ::SetBkColor(dc_, brush_color_);
  ::TextOutA(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
}

void Canvas::TextOut(int x, int y, const std::wstring& text) {
  ::SetBkMode(dc_, OPAQUE);
  ::SetBkColor(dc_, brush_color_);
  ::TextOutW(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
}

void Canvas::TextOutTransparent(int x, int y, const std::string& text) {
  ::SetBkMode(dc_, TRANSPARENT);
  ::TextOutA(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
}

SIZE Canvas::TextExtent(const std::string& text) {
  SIZE s{0, 0};
  ::GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &s);
  return s;
}

SIZE Canvas::TextExtent(const std::wstring& text) {
  SIZE s{0, 0};
  ::GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &s);
  return s;
}

}  // namespace forms

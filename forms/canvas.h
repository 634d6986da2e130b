// Drawing on a borrowed device context with a current brush colour, pen
// colour and font, the way owner-drawn items and windowless controls draw.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"

namespace forms {

class Canvas {
 public:
  // The canvas does not own dc; it restores what it selected on destruction.
  explicit Canvas(HDC dc);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Handle() const { return dc_; }

  void SetBrushColor(COLORREF color);
  COLORREF BrushColor() const { return brush_color_; }
  void SetPenColor(COLORREF color);
  void SetFont(HFONT font);
  void SetFontColor(COLORREF color);

  // Fills with the brush colour.
  void FillRect(const RECT& rect);
  // A rectangle outlined with the pen and filled with the brush; right and
  // bottom excluded, as GDI's Rectangle.
  void Rectangle(int left, int top, int right, int bottom);
  // Text whose cells are filled with the brush colour.
  void TextOut(int x, int y, const std::string& text);
  void TextOut(int x, int y, const std::wstring& text);
  // Text without a background.
  void TextOutTransparent(int x, int y, const std::string& text);
  SIZE TextExtent(const std::string& text);
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  SIZE TextExtent(const std::wstring& text);
  COLORREF Pixel(int x, int y) const { return ::GetPixel(dc_, x, y); }

 private:
  HDC dc_;
  int saved_;
  COLORREF brush_color_ = RGB(255, 255, 255);
  COLORREF pen_color_ = RGB(0, 0, 0);
  mv::unique_hbrush brush_;
  mv::unique_hpen pen_;
};

}  // namespace forms

// Windowless controls: labels and bevels.
#pragma once

#include <windows.h>

#include <string>

#include "forms/control.h"
#include "forms/font.h"

namespace forms {

// Text on the parent's background; sizes itself to its text.
class Label : public GraphicControl {
 public:
  Label(Window* parent, int x, int y, const std::string& caption, const FontSpec& font = DefaultFont(),
        COLORREF color = ::GetSysColor(COLOR_WINDOWTEXT));
  void SetCaption(const std::string& caption);
  const std::string& Caption() const { return caption_; }
  void SetAutoSize(bool on);
  void SetColor(COLORREF color);
  void Paint(HDC dc, const RECT& rect) override;
  // A label is text on what lies under it: the mouse goes to that.
  bool HitTest(int, int) const override { return false; }

 private:
  void Fit();
  std::string caption_;
  HFONT font_;
  COLORREF color_;
  bool auto_size_ = true;
};

class Bevel : public GraphicControl {
 public:
  enum class Shape { Box, Frame, TopLine };
  Bevel(Window* parent, int x, int y, int width, int height, Shape shape = Shape::Box);
  void Paint(HDC dc, const RECT& rect) override;

 private:
  Shape shape_;
};

}  // namespace forms

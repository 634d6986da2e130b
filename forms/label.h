// A label: text on its parent's background, sized to the text.
#pragma once

#include <windows.h>

#include <string>

#include "forms/control.h"
#include "forms/font.h"

namespace forms {

struct LabelParams {
  int left = 0, top = 0;
  std::string caption;
  FontSpec font = DefaultFont();
  COLORREF color = ::GetSysColor(COLOR_WINDOWTEXT);
};

class Label : public GraphicControl {
 public:
  Label(Window* parent, const LabelParams& params);
  // In positions, as the palette viewer makes its labels.
  Label(Window* parent, int x, int y, const std::string& caption, const FontSpec& font = DefaultFont(),
        COLORREF color = ::GetSysColor(COLOR_WINDOWTEXT))
      : Label(parent, LabelParams{x, y, caption, font, color}) {}
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

}  // namespace forms

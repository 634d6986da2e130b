// Fonts by description, created once and shared for the life of the program.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"

namespace forms {

struct FontSpec {
  std::string face = "ＭＳ Ｐゴシック";
  int height = 12;  // character height in pixels
  bool bold = false;
  BYTE charset = SHIFTJIS_CHARSET;

  FontSpec Bold() const { FontSpec f = *this; f.bold = true; return f; }
  FontSpec WithHeight(int h) const { FontSpec f = *this; f.height = h; return f; }
  FontSpec WithFace(const std::string& name) const { FontSpec f = *this; f.face = name; return f; }
  bool operator<(const FontSpec& o) const;
};

// The shared font for a description; the cache owns it.
HFONT GetFont(const FontSpec& wanted);
// The forms' default: "ＭＳ Ｐゴシック", 12 pixels, Shift-JIS.
inline FontSpec DefaultFont() { return FontSpec{}; }

// Width and height of a text drawn with a font.
SIZE MeasureText(HFONT font, const std::string& text);

// Measures many texts in one font through one device context, where
// MeasureText takes a context of the screen for each.
class TextMeasure {
 public:
  explicit TextMeasure(HFONT font) : dc_(::CreateCompatibleDC(nullptr)), select_(dc_.get(), font) {}
  SIZE Of(const std::string& text) const;
  SIZE Of(const std::wstring& text) const;

 private:
  mv::unique_hdc dc_;
  mv::SelectGuard select_;  // after dc_: the font goes back before the context
};

}  // namespace forms

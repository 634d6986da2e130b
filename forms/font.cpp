#include "forms/font.h"

#include <map>
#include <tuple>

#include "base/handles.h"

namespace forms {

bool FontSpec::operator<(const FontSpec& o) const {
  return std::tie(face, height, bold, charset) < std::tie(o.face, o.height, o.bold, o.charset);
}

HFONT GetFont(const FontSpec& wanted) {
  static std::map<FontSpec, mv::unique_hfont> cache;
  auto it = cache.find(wanted);
  if (it != cache.end()) return it->second.get();
  LOGFONTA lf{};
  lf.lfHeight = -wanted.height;  // negative: character height, not cell height
  lf.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = wanted.charset;
  lf.lfQuality = DEFAULT_QUALITY;
  lstrcpynA(lf.lfFaceName, wanted.face.c_str(), LF_FACESIZE);
  mv::unique_hfont font(::CreateFontIndirectA(&lf));
  HFONT h = font.get();
  cache.emplace(wanted, std::move(font));
  return h;
}

SIZE MeasureText(HFONT font, const std::string& text) {
  SIZE size{0, 0};
  HDC dc = ::GetDC(nullptr);
  {
    mv::SelectGuard select(dc, font);
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  }
  ::ReleaseDC(nullptr, dc);
  return size;
}

SIZE TextMeasure::Of(const std::string& text) const {
  SIZE size{0, 0};
  ::GetTextExtentPoint32A(dc_.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

SIZE TextMeasure::Of(const std::wstring& text) const {
  SIZE size{0, 0};
  ::GetTextExtentPoint32W(dc_.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

}  // namespace forms

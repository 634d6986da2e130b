#include "forms/logical_palette.h"

#include <algorithm>

namespace forms {

mv::unique_hpalette MakeLogicalPalette(const RGBQUAD* colors, int count) {
  count = std::clamp(count, 1, 256);
  // LOGPALETTE declares one entry; room for 256 follows it.
  struct {
    WORD version;
    WORD entries;
    PALETTEENTRY colors[256];
  } lp{0x300, static_cast<WORD>(count), {}};
  for (int i = 0; i < count; ++i) lp.colors[i] = PALETTEENTRY{colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue, 0};
  return mv::unique_hpalette(::CreatePalette(reinterpret_cast<const LOGPALETTE*>(&lp)));
}

}  // namespace forms

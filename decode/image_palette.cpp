#include "decode/image_palette.h"

#include <windows.h>

#include <vector>

#include "app/before_image.h"
#include "forms/message_box.h"

void CreateImagePalette(tag_BeforeImage& image) {
  if (!image.FileView || image.BitCount < 1 || image.BitCount > 8) return;
  const int n = 1 << image.BitCount;
  const mv::ColorTable table = mv::ReadColorTable(image.Layout, image.View(), image.FileSize);
  std::vector<std::uint8_t> storage(sizeof(LOGPALETTE) + static_cast<size_t>(n) * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(storage.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(n);
  for (int i = 0; i < n; ++i) {
    const mv::RgbQuad& c = table.entries[static_cast<size_t>(i)];
    lp->palPalEntry[i] = PALETTEENTRY{c.red, c.green, c.blue, 0};
  }
  image.Palette.reset(::CreatePalette(lp));
  if (!image.Palette)
    forms::ShowMessageBox(nullptr, "パレットの作成に失敗しました", "パレット作成失敗", MB_OK | MB_ICONSTOP);
}

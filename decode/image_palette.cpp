#include "decode/image_palette.h"

#include <windows.h>

#include <vector>

#include "app/before_image.h"
#include "forms/message_box.h"
#include "plugins/fault_guard.h"

bool CreateImagePalette(tag_BeforeImage& image) {
  if (!image.FileView || image.BitCount < 1 || image.BitCount > 8) return true;
  const int n = 1 << image.BitCount;
  mv::ColorTable table;
  // The table is read from the mapped file: a read error fails the file.
  if (!spi::GuardedRun([&] { table = mv::ReadColorTable(image.Layout, image.View(), image.FileSize); })) return false;
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
  return true;
}

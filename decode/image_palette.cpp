#include "decode/image_palette.h"

#include <windows.h>

#include "app/before_image.h"
#include "forms/logical_palette.h"
#include "forms/message_box.h"
#include "plugins/fault_guard.h"

bool CreateImagePalette(tag_BeforeImage& image) {
  if (!image.FileView || image.BitCount < 1 || image.BitCount > 8) return true;
  mv::ColorTable table;
  // The table is read from the mapped file: a read error (removed media, a
  // file cut short) fails the file.
  if (!spi::GuardedRead({image.View(), image.FileSize},
                        [&] { table = mv::ReadColorTable(image.Layout, image.View(), image.FileSize); }))
    return false;
  for (size_t i = 0; i < image.Colors.size(); ++i) {
    const mv::RgbQuad& c = table.entries[i];
    image.Colors[i] = RGBQUAD{c.blue, c.green, c.red, 0};
  }
  image.Palette = forms::MakeLogicalPalette(image.Colors.data(), 1 << image.BitCount);
  if (!image.Palette)
    forms::ShowMessageBox(nullptr, "パレットの作成に失敗しました", "パレット作成失敗", MB_OK | MB_ICONSTOP);
  return true;
}

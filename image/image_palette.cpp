#include "image/image_palette.h"

#include <windows.h>

#include "base/mapped_file.h"
#include "forms/logical_palette.h"
#include "image/before_image.h"

bool CreateImagePalette(tag_BeforeImage& image) {
  if (!image.FileView || image.BitCount < 1 || image.BitCount > 8) return true;
  mv::ColorTable table;
  // The table is read from the mapped file: a read error (removed media, a
  // file cut short) fails the file.
  if (!mv::GuardedRead({image.View(), image.FileSize},
                        [&] { table = mv::ReadColorTable(image.Layout, image.View(), image.FileSize); }))
    return false;
  for (size_t i = 0; i < image.Colors.size(); ++i) {
    const mv::RgbQuad& c = table.entries[i];
    image.Colors[i] = RGBQUAD{c.blue, c.green, c.red, 0};
  }
  // A palette the system refuses leaves Palette null; the load command
  // tells the user.
  image.Palette = forms::MakeLogicalPalette(image.Colors.data(), 1 << image.BitCount);
  return true;
}

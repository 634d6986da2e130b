// One loaded image. A Windows bitmap read by the program stays in its file,
// mapped read-only; a plug-in's image is copied into a bitmap object.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "base/handles.h"
#include "forms/bitmap.h"
#include "image/bmp_layout.h"
#include "image/image_surface.h"

struct tag_BeforeImage {
  // The path as the file system has it: everything that opens the file
  // uses it, everything that shows a name shows WideName. FilePath and
  // FileName are the same in the program's code page, '?' for what it
  // cannot say. The decoder fills whichever pair was left empty.
  std::wstring WidePath;
  std::wstring WideName;  // the name without its folder
  std::string FilePath;
  std::string FileName;
  int FormatIndex = 1;    // 0: read natively; 1: decoded by a plug-in
  std::unique_ptr<forms::Bitmap> Bitmap;  // plug-in images only
  int DepthIcon = 0;      // index into the bit-depth icons
  int BitCount = 0;
  int Width = 0;
  int Height = 0;         // with the header's sign: negative for top-down
  mv::unique_view FileView;   // native bitmaps: the whole file, read-only
  std::size_t FileSize = 0;   // bytes of FileView; nothing reads beyond
  mv::unique_hpalette Palette;  // native bitmaps of 8 bits or fewer
  mv::BmpLayout Layout;         // native bitmaps: what the file holds, checked
  // The colour table of an image of 8 bits or fewer, read once where the
  // image keeps it; entries it does not hold are black.
  ColorTable256 Colors{};
  // What the viewers draw; made by the decoder with the rest.
  std::unique_ptr<ImageSurface> Surface;

  tag_BeforeImage() = default;
  tag_BeforeImage(const tag_BeforeImage&) = delete;
  tag_BeforeImage& operator=(const tag_BeforeImage&) = delete;
  // Releases the surface, the bitmap, then the view, then the palette.
  ~tag_BeforeImage() {
    Surface.reset();
    Bitmap.reset();
    FileView.reset();
    Palette.reset();
  }

  const unsigned char* View() const { return static_cast<const unsigned char*>(FileView.get()); }
  // The logical palette of Colors for an image of 8 bits or fewer: the
  // native bitmap's Palette, or the one the plug-in's bitmap keeps.
  HPALETTE LogicalPalette() const { return Palette ? Palette.get() : Bitmap ? Bitmap->Palette() : nullptr; }
};

// The bit-depth icon for a bit count: 1, 4, 8, 16, 24, 32 or "?".
int DepthIconFor(int bit_count);

namespace mv {

// A picture a plug-in made, wherever it ran: a bitmap object and what the
// plug-in said of it.
struct DecodedPicture {
  std::unique_ptr<forms::Bitmap> bitmap;
  int width = 0;
  int height = 0;  // with the plug-in's sign: negative for top-down
  int bitCount = 0;
  ColorTable256 colors{};  // 8 bits or fewer; entries it did not give are black
};

// Makes the picture the record's: size, depth and its icon, colours, the
// bitmap and the surface the viewers draw.
void TakePicture(tag_BeforeImage& image, DecodedPicture&& picture);

}  // namespace mv

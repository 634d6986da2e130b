// What the viewers draw of one loaded image: its upright size, and the
// picture painted into a device context. Two kinds: a Windows bitmap drawn
// from its mapped file, and a plug-in's picture held in a bitmap object.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/bmp_layout.h"

namespace forms {
class Bitmap;
}

class ImageSurface {
 public:
  virtual ~ImageSurface() = default;
  ImageSurface(const ImageSurface&) = delete;
  ImageSurface& operator=(const ImageSurface&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }  // upright, whatever the row order

  // Paints the picture with its top-left corner at (x, y); GDI clips to the
  // DC. A picture GDI cannot draw as it is stored is rendered for the DC's
  // clip box alone into `offscreen`, the viewer's own bitmap, which thus
  // never outgrows the paints it served; where the memory or the file's
  // bytes are not to be had, that part paints black. Throws nothing.
  virtual void Paint(HDC dc, int x, int y, forms::Bitmap& offscreen) const = 0;

 protected:
  ImageSurface(int width, int height) : width_(width), height_(height) {}
  // Black over the picture's area at (x, y).
  void PaintBlack(HDC dc, int x, int y) const;

 private:
  int width_, height_;
};

using ColorTable256 = std::array<RGBQUAD, 256>;

// A Windows bitmap read in place: `file` is the mapped file of `size`
// bytes, `layout` what the checker found in it and `colors` its colour
// table. The mapping and the layout must outlive the surface.
std::unique_ptr<ImageSurface> MakeNativeSurface(const mv::BmpLayout& layout, const std::uint8_t* file,
                                                std::size_t size, const ColorTable256& colors);
// A plug-in's picture; the bitmap must outlive the surface.
std::unique_ptr<ImageSurface> MakeBitmapSurface(forms::Bitmap& bitmap);

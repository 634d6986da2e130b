// A bitmap object: a device-independent bitmap section with a pixel format,
// a colour table, a canvas to draw on, and a logical palette built from its
// colour table when asked for and kept until dropped.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "base/handles.h"

namespace forms {

enum class PixelFormat { pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit };

int BitsOf(PixelFormat format);
// The pixel format for a bit count: 1, 4, 8, 16 (5-6-5), 24, else 32.
PixelFormat PixelFormatFor(int bit_count);

class Bitmap {
 public:
  Bitmap();
  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  // Becomes a copy of another bitmap: size, format, colour table, pixels.
  void Assign(const Bitmap& other);

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  // Keeps what fits of the old pixels.
  void SetSize(int width, int height);
  PixelFormat Format() const { return format_; }
  // Converts the present pixels to the new format.
  void SetPixelFormat(PixelFormat format);
  // A new size and format with blank pixels (nothing converted or kept).
  void Reshape(int width, int height, PixelFormat format);
  // A bitmap whose pixels already lie in a section (in the layout of
  // forms/dib_format.h, at offset 0): the bitmap keeps the section, nothing
  // is copied. The caller has checked that the section holds them all.
  // False when the system makes no bitmap of it.
  bool CreateOnSection(int width, int height, PixelFormat format, const RGBQUAD* table, mv::unique_handle section);
  // Gives up the pixels (size 0 × 0): memory goes back at once.
  void Clear();
  bool Empty() const { return !section_; }

  HBITMAP Handle() const { return section_.get(); }
  // A memory DC with the bitmap selected; valid while the bitmap lives.
  HDC CanvasHandle();
  std::uint8_t* Bits() const { return bits_; }
  int Stride() const;  // bytes per row (rows are stored bottom-up)

  // Colour table of an indexed bitmap.
  void SetColorTable(const RGBQUAD* colors, int first, int count);
  int ColorTable(RGBQUAD* colors, int first, int count);

  // The logical palette of the colour table (indexed formats), built when
  // first asked for; null for formats without a table.
  HPALETTE Palette();
  // Drops (and deletes) the cached logical palette.
  void ReleasePalette();

  // Live bitmaps, for tests that count what the program holds.
  static int LiveCount();

 private:
  void SyncTable();
  void Recreate(int width, int height, PixelFormat format, bool keep_pixels);

  int width_ = 0, height_ = 0;
  PixelFormat format_ = PixelFormat::pf24bit;
  mv::unique_hbitmap section_;
  mv::unique_handle shared_;  // the section the pixels lie in, when made on one
  std::uint8_t* bits_ = nullptr;
  mv::unique_hdc dc_;
  HGDIOBJ dc_old_ = nullptr;
  mv::unique_hpalette palette_;
  std::array<RGBQUAD, 256> table_{};
};

}  // namespace forms

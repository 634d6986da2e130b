#include "preview/native_preview.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "app/before_image.h"
#include "decode/bmp_render.h"
#include "decode/rle.h"

namespace {

using DibHeader = decltype(NativeDib::info);

void FillHeader(DibHeader& h, const mv::BmpLayout& l, int height, const mv::ColorTable& table) {
  h = DibHeader{};
  h.header.biSize = sizeof(BITMAPINFOHEADER);
  h.header.biWidth = l.width;
  h.header.biHeight = height;
  h.header.biPlanes = 1;
  h.header.biBitCount = l.bitCount;
  h.header.biCompression = BI_RGB;
  if (l.bitCount <= 8) {
    for (int i = 0; i < (1 << l.bitCount); ++i) {
      const mv::RgbQuad& c = table.entries[static_cast<size_t>(i)];
      h.colors[i] = RGBQUAD{c.blue, c.green, c.red, 0};
    }
  } else if (l.hasMasks && l.compression != mv::kBiRgb) {
    h.header.biCompression = BI_BITFIELDS;
    h.masks[0] = l.masks.red;
    h.masks[1] = l.masks.green;
    h.masks[2] = l.masks.blue;
  }
}

bool GdiDrawsDirectly(const mv::BmpLayout& l) {
  if (l.isRle()) return false;
  switch (l.bitCount) {
    case 1: case 4: case 8: case 24: return l.compression == mv::kBiRgb;
    case 16: case 32: return true;
    default: return false;
  }
}

}  // namespace

bool PrepareNativeDib(const tag_BeforeImage& image, NativeDib& dib) {
  const mv::BmpLayout& l = image.Layout;
  if (!image.FileView || !l.ok || !GdiDrawsDirectly(l) || l.rowsPresent == 0) return false;
  const mv::ColorTable table = mv::ReadColorTable(l, image.View(), image.FileSize);
  dib.width = l.width;
  dib.height = static_cast<int>(l.absHeight);
  dib.rows = static_cast<int>(l.rowsPresent);
  FillHeader(dib.info, l, l.topDown ? -dib.rows : dib.rows, table);
  // A cut-short bottom-up file holds its lowest rows.
  dib.dest_y = l.topDown ? 0 : dib.height - dib.rows;
  dib.pixels = image.View() + l.pixelOffset;
  return true;
}

void PaintNativeDib(HDC dc, int x, int y, const NativeDib& dib) {
  // Rows a cut-short file lacks are black, not whatever the screen held.
  if (dib.rows < dib.height) {
    const int band_top = dib.dest_y == 0 ? y + dib.rows : y;
    RECT band{x, band_top, x + dib.width, band_top + dib.height - dib.rows};
    ::FillRect(dc, &band, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
  }
  ::SetDIBitsToDevice(dc, x, y + dib.dest_y, static_cast<DWORD>(dib.width), static_cast<DWORD>(dib.rows), 0, 0, 0,
                      static_cast<UINT>(dib.rows), dib.pixels, reinterpret_cast<const BITMAPINFO*>(&dib.info),
                      DIB_RGB_COLORS);
}

void DrawNativeImage(forms::Bitmap& target, const tag_BeforeImage& image) {
  const mv::BmpLayout& l = image.Layout;
  const int width = l.width;
  const int height = static_cast<int>(l.absHeight);
  if (GdiDrawsDirectly(l) && l.rowsPresent == 0) {
    // No row in the file: all black, which an indexed picture's own table
    // may not even hold.
    target.Reshape(width, height, forms::PixelFormat::pf24bit);
    if (target.Empty()) return;
    RECT all{0, 0, width, height};
    ::FillRect(target.CanvasHandle(), &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::GdiFlush();
    return;
  }
  target.Reshape(width, height, forms::PixelFormatFor(l.bitCount));
  if (target.Empty()) return;
  const std::uint8_t* file = image.View();
  const mv::ColorTable table = mv::ReadColorTable(l, file, image.FileSize);
  HDC dc = target.CanvasHandle();
  if (l.bitCount <= 8) {
    RGBQUAD colors[256];
    for (int i = 0; i < 256; ++i) {
      const mv::RgbQuad& c = table.entries[static_cast<size_t>(i)];
      colors[i] = RGBQUAD{c.blue, c.green, c.red, 0};
    }
    ::SetDIBColorTable(dc, 0, 1u << l.bitCount, colors);
  }

  if (GdiDrawsDirectly(l)) {
    // Only the rows inside the file: a cut-short file shows what it holds.
    const int rows = static_cast<int>(l.rowsPresent);
    if (rows <= 0) return;
    DibHeader h;
    FillHeader(h, l, l.topDown ? -rows : rows, table);
    const int dest_y = l.topDown ? 0 : height - rows;
    ::SetDIBitsToDevice(dc, 0, dest_y, static_cast<DWORD>(width), static_cast<DWORD>(rows), 0, 0, 0,
                        static_cast<UINT>(rows), file + l.pixelOffset, reinterpret_cast<BITMAPINFO*>(&h),
                        DIB_RGB_COLORS);
    ::GdiFlush();
    return;
  }
  if (l.isRle()) {
    // Expanded straight into the bitmap's own rows (same bit count, bottom-up).
    ::GdiFlush();
    mv::ExpandRle(file + l.pixelOffset, static_cast<std::size_t>(l.rleBytes), l.compression == mv::kBiRle4,
                  static_cast<std::uint32_t>(width), l.absHeight, static_cast<std::size_t>(target.Stride()),
                  target.Bits());
    return;
  }
  // What GDI cannot draw (2 bits per pixel): rendered to 32-bit pixels.
  std::vector<std::uint32_t> pixels(static_cast<size_t>(mv::BgraPixelCount(l)));
  if (!mv::RenderBgra(l, file, image.FileSize, pixels.data())) return;
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = width;
  h.biHeight = -height;
  h.biPlanes = 1;
  h.biBitCount = 32;
  ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS);
  ::GdiFlush();
}

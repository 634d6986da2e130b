// A Windows bitmap drawn from its mapped file. GDI draws most files as they
// stand, from a private header built from the checked layout (GDI reads as
// many bytes as a header implies, so it never sees the file's own); RLE,
// 2 bits per pixel and other forms GDI cannot draw are rendered at each
// paint, only the part the paint can show.
// Every read of the mapping runs under the fault guard: a file whose medium
// went away, or that was cut short on disk, paints black instead of ending
// the program.
#include <windows.h>

#include <algorithm>
#include <new>
#include <vector>

#include "base/mapped_file.h"
#include "forms/bitmap.h"
#include "forms/dib_format.h"
#include "image/bmp_render.h"
#include "image/image_surface.h"

namespace {

using DibInfo = forms::DibHeader;

// The header GDI is given for `rows` rows of the file (negative: top-down).
DibInfo MakeInfo(const mv::BmpLayout& l, int rows, const ColorTable256& colors) {
  DibInfo h{};
  h.header.biSize = sizeof(BITMAPINFOHEADER);
  h.header.biWidth = l.width;
  h.header.biHeight = rows;
  h.header.biPlanes = 1;
  h.header.biBitCount = l.bitCount;
  h.header.biCompression = BI_RGB;
  if (l.bitCount <= 8) {
    for (int i = 0; i < (1 << l.bitCount); ++i) h.colors[i] = colors[static_cast<size_t>(i)];
  } else if (l.hasMasks && l.compression != mv::kBiRgb) {
    h.header.biCompression = BI_BITFIELDS;
    h.masks[0] = l.masks.red;
    h.masks[1] = l.masks.green;
    h.masks[2] = l.masks.blue;
  }
  return h;
}

bool GdiDrawsAsStored(const mv::BmpLayout& l) {
  if (l.isRle()) return false;
  switch (l.bitCount) {
    case 1: case 4: case 8: case 24: return l.compression == mv::kBiRgb;
    case 16: case 32: return true;
    default: return false;
  }
}

// Drawn straight from the mapping, only the rows the file really holds.
class StoredSurface final : public ImageSurface {
 public:
  StoredSurface(const mv::BmpLayout& l, const std::uint8_t* file, std::size_t size, const ColorTable256& colors)
      : ImageSurface(l.width, static_cast<int>(l.absHeight)),
        file_{file, size},
        rows_(static_cast<int>(l.rowsPresent)),
        // A cut-short bottom-up file holds its lowest rows.
        dest_y_(l.topDown ? 0 : Height() - rows_),
        pixels_(file + l.pixelOffset),
        info_(MakeInfo(l, l.topDown ? -rows_ : rows_, colors)) {}

  void Paint(HDC dc, int x, int y, forms::Bitmap&) const override {
    // Rows a cut-short file lacks are black, not whatever the screen held.
    if (rows_ < Height()) {
      const int band_top = dest_y_ == 0 ? y + rows_ : y;
      RECT band{x, band_top, x + Width(), band_top + Height() - rows_};
      ::FillRect(dc, &band, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    }
    if (rows_ == 0) return;
    // GDI may meet the read error itself and draw nothing, or leave it to us.
    int lines = 0;
    const bool read = mv::GuardedRead(file_, [&] {
      lines = ::SetDIBitsToDevice(dc, x, y + dest_y_, static_cast<DWORD>(Width()), static_cast<DWORD>(rows_), 0, 0,
                                  0, static_cast<UINT>(rows_), pixels_, reinterpret_cast<const BITMAPINFO*>(&info_),
                                  DIB_RGB_COLORS);
    });
    if (!read || lines == 0) PaintBlack(dc, x, y);
  }

 private:
  spi::MappedBytes file_;
  int rows_;
  int dest_y_;
  const std::uint8_t* pixels_;
  DibInfo info_;
};

// Rendered into the viewer's bitmap at each paint, only where the paint can
// show it: what a picture costs follows the window, never the size its
// header declares.
class ExpandedSurface final : public ImageSurface {
 public:
  ExpandedSurface(const mv::BmpLayout& l, const std::uint8_t* file, std::size_t size)
      : ImageSurface(l.width, static_cast<int>(l.absHeight)), layout_(l), file_(file), size_(size) {}

  void Paint(HDC dc, int x, int y, forms::Bitmap& offscreen) const override {
    RECT clip{}, picture{x, y, x + Width(), y + Height()}, part{};
    if (::GetClipBox(dc, &clip) == ERROR || !::IntersectRect(&part, &clip, &picture)) return;
    const mv::PixelRect wanted{static_cast<std::uint32_t>(part.left - x), static_cast<std::uint32_t>(part.top - y),
                               static_cast<std::uint32_t>(part.right - part.left),
                               static_cast<std::uint32_t>(part.bottom - part.top)};
    if (!Render(wanted, offscreen)) {
      ::FillRect(dc, &part, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
      return;
    }
    ::BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, offscreen.CanvasHandle(), 0, 0,
             SRCCOPY);
  }

 private:
  // The part at the top-left corner of `target`, a 32-bit bitmap kept while
  // it is large enough: no larger than the paints it served.
  bool Render(const mv::PixelRect& part, forms::Bitmap& target) const {
    const int w = static_cast<int>(part.width), h = static_cast<int>(part.height);
    std::vector<std::uint8_t> scratch;
    try {
      if (target.Empty() || target.Format() != forms::PixelFormat::pf32bit || target.Width() < w ||
          target.Height() < h)
        target.Reshape(std::max(w, target.Width()), std::max(h, target.Height()), forms::PixelFormat::pf32bit);
      scratch.resize(static_cast<std::size_t>(mv::PartScratchBytes(layout_, part)));
    } catch (const std::bad_alloc&) {
      target.Clear();  // no room for the pixels: the part shows black
      return false;
    }
    if (target.Empty()) return false;
    ::GdiFlush();
    // Rows are stored bottom-up: the top one is the last in memory.
    const std::ptrdiff_t pitch = target.Stride() / 4;
    auto* top = reinterpret_cast<std::uint32_t*>(target.Bits()) + pitch * (target.Height() - 1);
    bool rendered = false;
    return mv::GuardedRead(File(), [&] {
             rendered = mv::RenderBgraPart(layout_, file_, size_, part, scratch.data(), top, -pitch);
           }) &&
           rendered;
  }

  spi::MappedBytes File() const { return {file_, size_}; }

  mv::BmpLayout layout_;
  const std::uint8_t* file_;
  std::size_t size_;
};

}  // namespace

std::unique_ptr<ImageSurface> MakeNativeSurface(const mv::BmpLayout& layout, const std::uint8_t* file,
                                                std::size_t size, const ColorTable256& colors) {
  if (GdiDrawsAsStored(layout)) return std::make_unique<StoredSurface>(layout, file, size, colors);
  return std::make_unique<ExpandedSurface>(layout, file, size);
}

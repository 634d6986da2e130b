// A Windows bitmap drawn from its mapped file. GDI draws most files as they
// stand, from a private header built from the checked layout (GDI reads as
// many bytes as a header implies, so it never sees the file's own); RLE,
// 2 bits per pixel and other forms GDI cannot draw are expanded first.
// Every read of the mapping runs under the fault guard: a file whose medium
// went away, or that was cut short on disk, paints black instead of ending
// the program.
#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

#include "decode/bmp_render.h"
#include "decode/image_surface.h"
#include "decode/rle.h"
#include "forms/bitmap.h"
#include "plugins/fault_guard.h"

namespace {

struct DibInfo {
  BITMAPINFOHEADER header;
  union {
    RGBQUAD colors[256];
    DWORD masks[3];
  };
};

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
    const bool read = spi::GuardedRead(file_, [&] {
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

// Expanded into the viewer's bitmap before it can be drawn.
class ExpandedSurface final : public ImageSurface {
 public:
  ExpandedSurface(const mv::BmpLayout& l, const std::uint8_t* file, std::size_t size, const ColorTable256& colors)
      : ImageSurface(l.width, static_cast<int>(l.absHeight)), layout_(l), file_(file), size_(size), colors_(colors) {}

  bool Prepare(forms::Bitmap& offscreen) const override {
    bool done = false;
    try {
      done = Expand(offscreen);
    } catch (const std::bad_alloc&) {
      done = false;  // no room for the pixels: the picture shows black
    }
    if (!done) offscreen.Clear();
    return done;
  }

  void Paint(HDC dc, int x, int y, forms::Bitmap& offscreen) const override {
    if (offscreen.Empty()) {
      PaintBlack(dc, x, y);
      return;
    }
    ::BitBlt(dc, x, y, Width(), Height(), offscreen.CanvasHandle(), 0, 0, SRCCOPY);
  }

 private:
  bool Expand(forms::Bitmap& target) const {
    const mv::BmpLayout& l = layout_;
    // RLE keeps its bit count; everything else becomes 32-bit pixels.
    target.Reshape(Width(), Height(), l.isRle() ? forms::PixelFormatFor(l.bitCount) : forms::PixelFormat::pf32bit);
    if (target.Empty()) return false;
    ::GdiFlush();
    if (l.isRle()) {
      ::SetDIBColorTable(target.CanvasHandle(), 0, 1u << l.bitCount, colors_.data());
      // Straight into the bitmap's own rows (same bit count, bottom-up).
      return spi::GuardedRead(File(), [&] {
        mv::ExpandRle(file_ + l.pixelOffset, static_cast<std::size_t>(l.rleBytes), l.compression == mv::kBiRle4,
                      static_cast<std::uint32_t>(Width()), l.absHeight, static_cast<std::size_t>(target.Stride()),
                      target.Bits());
      });
    }
    // Rendered top-down straight into the bitmap's rows, then turned over
    // in place: no second copy of a large picture.
    bool rendered = false;
    auto* out = reinterpret_cast<std::uint32_t*>(target.Bits());
    if (!spi::GuardedRead(File(), [&] { rendered = mv::RenderBgra(l, file_, size_, out); }) || !rendered) return false;
    const std::size_t stride = static_cast<std::size_t>(target.Stride());
    std::vector<std::uint8_t> row(stride);
    for (int top = 0, bottom = Height() - 1; top < bottom; ++top, --bottom) {
      std::uint8_t* a = target.Bits() + stride * static_cast<std::size_t>(top);
      std::uint8_t* b = target.Bits() + stride * static_cast<std::size_t>(bottom);
      std::memcpy(row.data(), a, stride);
      std::memcpy(a, b, stride);
      std::memcpy(b, row.data(), stride);
    }
    return true;
  }

  spi::MappedBytes File() const { return {file_, size_}; }

  mv::BmpLayout layout_;
  const std::uint8_t* file_;
  std::size_t size_;
  ColorTable256 colors_;
};

}  // namespace

std::unique_ptr<ImageSurface> MakeNativeSurface(const mv::BmpLayout& layout, const std::uint8_t* file,
                                                std::size_t size, const ColorTable256& colors) {
  if (GdiDrawsAsStored(layout)) return std::make_unique<StoredSurface>(layout, file, size, colors);
  return std::make_unique<ExpandedSurface>(layout, file, size, colors);
}

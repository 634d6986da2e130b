#include "forms/bitmap.h"

#include "forms/dib_format.h"
#include "forms/logical_palette.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

namespace forms {

namespace {
std::atomic<int> g_live = 0;  // bitmaps are made on the decoding threads too

BITMAPINFO* MakeInfo(std::vector<std::uint8_t>& storage, int width, int height, PixelFormat format,
                     const std::array<RGBQUAD, 256>& table) {
  storage.assign(sizeof(DibHeader), 0);
  auto* header = reinterpret_cast<DibHeader*>(storage.data());
  FillDibHeader(*header, width, height, BitsOf(format), table.data());
  return reinterpret_cast<BITMAPINFO*>(header);
}
}  // namespace

int BitsOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::pf1bit: return 1;
    case PixelFormat::pf4bit: return 4;
    case PixelFormat::pf8bit: return 8;
    case PixelFormat::pf16bit: return 16;
    case PixelFormat::pf24bit: return 24;
    case PixelFormat::pf32bit: return 32;
  }
  return 32;
}

PixelFormat PixelFormatFor(int bit_count) {
  switch (StoredBits(bit_count)) {
    case 1: return PixelFormat::pf1bit;
    case 4: return PixelFormat::pf4bit;
    case 8: return PixelFormat::pf8bit;
    case 16: return PixelFormat::pf16bit;
    case 24: return PixelFormat::pf24bit;
    default: return PixelFormat::pf32bit;
  }
}

Bitmap::Bitmap() { ++g_live; }

Bitmap::~Bitmap() {
  Clear();
  --g_live;
}

int Bitmap::LiveCount() { return g_live; }

void Bitmap::Clear() {
  palette_.reset();
  if (dc_ && dc_old_) ::SelectObject(dc_.get(), dc_old_);
  dc_old_ = nullptr;
  section_.reset();
  shared_.reset();
  bits_ = nullptr;
  width_ = height_ = 0;
}

int Bitmap::Stride() const { return ((width_ * BitsOf(format_) + 31) / 32) * 4; }

void Bitmap::SyncTable() {
  // The table may have been set on the canvas directly.
  if (section_ && dc_ && BitsOf(format_) <= 8)
    ::GetDIBColorTable(dc_.get(), 0, 1u << BitsOf(format_), table_.data());
}

void Bitmap::Recreate(int width, int height, PixelFormat format, bool keep_pixels) {
  SyncTable();
  width = std::max(width, 0);
  height = std::max(height, 0);
  mv::unique_hbitmap fresh;
  std::uint8_t* fresh_bits = nullptr;
  if (width > 0 && height > 0) {
    std::vector<std::uint8_t> storage;
    BITMAPINFO* bi = MakeInfo(storage, width, height, format, table_);
    void* bits = nullptr;
    fresh.reset(::CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!fresh) throw std::bad_alloc();
    fresh_bits = static_cast<std::uint8_t*>(bits);
    // A fresh section's pages come zeroed from the system: no need to
    // touch every byte of a large picture here.
  }
  if (!dc_) dc_.reset(::CreateCompatibleDC(nullptr));
  if (keep_pixels && section_ && fresh) {
    // Let GDI convert the old pixels into the new format.
    mv::unique_hdc src(::CreateCompatibleDC(nullptr));
    mv::unique_hdc dst(::CreateCompatibleDC(nullptr));
    if (dc_old_) {
      ::SelectObject(dc_.get(), dc_old_);
      dc_old_ = nullptr;
    }
    mv::SelectGuard s(src.get(), section_.get());
    mv::SelectGuard d(dst.get(), fresh.get());
    ::BitBlt(dst.get(), 0, 0, std::min(width, width_), std::min(height, height_), src.get(), 0, 0, SRCCOPY);
  }
  palette_.reset();
  if (dc_old_) ::SelectObject(dc_.get(), dc_old_);
  dc_old_ = nullptr;
  section_ = std::move(fresh);
  shared_.reset();
  bits_ = fresh_bits;
  width_ = section_ ? width : 0;
  height_ = section_ ? height : 0;
  format_ = format;
  if (section_) dc_old_ = ::SelectObject(dc_.get(), section_.get());
}

bool Bitmap::CreateOnSection(int width, int height, PixelFormat format, const RGBQUAD* table,
                             mv::unique_handle section) {
  Clear();
  if (width <= 0 || height <= 0 || !section) return false;
  std::copy_n(table, 256, table_.begin());
  std::vector<std::uint8_t> storage;
  BITMAPINFO* bi = MakeInfo(storage, width, height, format, table_);
  void* bits = nullptr;
  mv::unique_hbitmap made(::CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, section.get(), 0));
  if (!made) return false;
  if (!dc_) dc_.reset(::CreateCompatibleDC(nullptr));
  section_ = std::move(made);
  shared_ = std::move(section);
  bits_ = static_cast<std::uint8_t*>(bits);
  width_ = width;
  height_ = height;
  format_ = format;
  dc_old_ = ::SelectObject(dc_.get(), section_.get());
  return true;
}

void Bitmap::Reshape(int width, int height, PixelFormat format) {
  palette_.reset();
  Clear();
  Recreate(width, height, format, false);
}

void Bitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_ && section_) return;
  Recreate(width, height, format_, true);
}

void Bitmap::SetPixelFormat(PixelFormat format) {
  if (format == format_) return;
  if (!section_) {
    format_ = format;
    return;
  }
  Recreate(width_, height_, format, true);
}

HDC Bitmap::CanvasHandle() {
  if (!dc_) dc_.reset(::CreateCompatibleDC(nullptr));
  return dc_.get();
}

void Bitmap::SetColorTable(const RGBQUAD* colors, int first, int count) {
  first = std::clamp(first, 0, 256);
  count = std::clamp(count, 0, 256 - first);
  std::copy_n(colors, count, table_.begin() + first);
  if (section_ && BitsOf(format_) <= 8) ::SetDIBColorTable(CanvasHandle(), static_cast<UINT>(first), static_cast<UINT>(count), colors);
}

int Bitmap::ColorTable(RGBQUAD* colors, int first, int count) {
  if (!section_ || BitsOf(format_) > 8) return 0;
  return static_cast<int>(::GetDIBColorTable(CanvasHandle(), static_cast<UINT>(first), static_cast<UINT>(count), colors));
}

HPALETTE Bitmap::Palette() {
  if (palette_) return palette_.get();
  const int bits = BitsOf(format_);
  if (bits > 8 || !section_) return nullptr;
  std::array<RGBQUAD, 256> colors{};
  ColorTable(colors.data(), 0, 1 << bits);
  palette_ = MakeLogicalPalette(colors.data(), 1 << bits);
  return palette_.get();
}

void Bitmap::ReleasePalette() { palette_.reset(); }

void Bitmap::Assign(const Bitmap& other) {
  if (&other == this) return;
  const_cast<Bitmap&>(other).SyncTable();
  table_ = other.table_;
  Recreate(other.width_, other.height_, other.format_, false);
  if (section_ && other.section_) {
    const size_t bytes = static_cast<size_t>(Stride()) * static_cast<size_t>(height_);
    std::memcpy(bits_, other.bits_, bytes);
    if (BitsOf(format_) <= 8) ::SetDIBColorTable(CanvasHandle(), 0, 1u << BitsOf(format_), table_.data());
  }
}

}  // namespace forms

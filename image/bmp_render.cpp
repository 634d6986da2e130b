#include "image/bmp_render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>
#include <vector>

#include "image/le_read.h"
#include "image/rle.h"

namespace mv {
namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

struct Channel {
  std::uint32_t mask = 0;
  unsigned shift = 0, bits = 0;
  explicit Channel(std::uint32_t m) : mask(m) {
    if (m != 0) {
      shift = static_cast<unsigned>(std::countr_zero(m));
      bits = static_cast<unsigned>(std::popcount(m));
    }
  }
  std::uint32_t operator()(std::uint32_t px) const {
    return ScaleChannel((px & mask) >> shift, bits);
  }
};

struct MaskDecoder {
  Channel r, g, b, a;
  explicit MaskDecoder(const BmpMasks& m) : r(m.red), g(m.green), b(m.blue), a(m.alpha) {}
  std::uint32_t operator()(std::uint32_t px) const {
    const std::uint32_t alpha = a.mask != 0 ? a(px) : 0xFFu;
    return (alpha << 24) | (r(px) << 16) | (g(px) << 8) | b(px);
  }
};

// `count` pixels of a packed row, from column `first`.
void IndexedRow(const std::uint8_t* src, unsigned bits, std::uint32_t first, std::uint32_t count,
                const std::uint32_t* palette, std::uint32_t* dst) {
  const unsigned perByte = 8 / bits;
  const unsigned low = (1u << bits) - 1;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t x = first + i;
    const unsigned slot = x % perByte;  // pixels are packed from the high bits down
    const unsigned idx = (src[x / perByte] >> (8 - bits * (slot + 1))) & low;
    dst[i] = palette[idx];
  }
}

using SrgbTable = std::array<std::uint8_t, 65536>;

// Every raw 16-bit channel value (indexed as unsigned) to its 8-bit result:
// one lookup per channel instead of pow(). Built on first use; the
// initialisation of a local static is thread-safe.
const SrgbTable& LinearToSrgbTable() {
  static const SrgbTable table = [] {
    SrgbTable t{};
    for (std::uint32_t i = 0; i < t.size(); ++i) {
      const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(i));
      const double v = std::clamp(raw / 8192.0, 0.0, 1.0);
      const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
      t[i] = static_cast<std::uint8_t>(std::lround(s * 255));  // s is within 0..1
    }
    return t;
  }();
  return table;
}

void Linear64Row(const std::uint8_t* src, std::uint32_t width, const SrgbTable& srgb,
                 std::uint32_t* dst) {
  for (std::uint32_t x = 0; x < width; ++x, src += 8)  // B, G, R, A; A is dropped
    dst[x] = kOpaqueBlack | (std::uint32_t{srgb[Rd16(src + 4)]} << 16) |
             (std::uint32_t{srgb[Rd16(src + 2)]} << 8) | srgb[Rd16(src)];
}

}  // namespace

std::uint8_t Linear16ToSrgb8(std::int16_t value) {
  return LinearToSrgbTable()[static_cast<std::uint16_t>(value)];
}

std::uint8_t ScaleChannel(std::uint32_t value, unsigned bits) {
  if (bits == 0) return 0;
  if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
  unsigned out = 0, filled = 0;
  while (filled < 8) {
    out = (out << bits) | value;
    filled += bits;
  }
  return static_cast<std::uint8_t>(out >> (filled - 8));
}

std::uint64_t PartScratchBytes(const BmpLayout& l, const PixelRect& part) {
  return l.ok && l.isRle() ? BmpStride(part.width, l.bitCount) * part.height : 0;
}

bool RenderBgra(const BmpLayout& l, const std::uint8_t* data, std::size_t size,
                std::uint32_t* out) {
  const PixelRect all{0, 0, static_cast<std::uint32_t>(l.width), l.absHeight};
  std::vector<std::uint8_t> scratch;
  try {
    scratch.resize(static_cast<std::size_t>(PartScratchBytes(l, all)));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return RenderBgraPart(l, data, size, all, scratch.data(), out, static_cast<std::ptrdiff_t>(all.width));
}

bool RenderBgraPart(const BmpLayout& l, const std::uint8_t* data, std::size_t size, const PixelRect& part,
                    std::uint8_t* scratch, std::uint32_t* out, std::ptrdiff_t pitch) {
  if (!l.ok || data == nullptr || out == nullptr) return false;
  const std::uint32_t width = static_cast<std::uint32_t>(l.width);
  const std::uint32_t height = l.absHeight;
  if (part.left > width || part.width > width - part.left || part.top > height ||
      part.height > height - part.top)
    return false;
  if (part.width == 0 || part.height == 0) return true;
  const std::size_t stride = static_cast<std::size_t>(l.stride);

  std::uint32_t palette[256];
  const ColorTable table = ReadColorTable(l, data, size);
  for (int i = 0; i < 256; ++i) {
    const RgbQuad& q = table.entries[i];
    palette[i] = kOpaqueBlack | (std::uint32_t{q.red} << 16) | (std::uint32_t{q.green} << 8) |
                 q.blue;
  }

  // Uncompressed rows come from the file; an RLE part is first expanded into
  // the scratch at the file's bit count, its rows bottom-up from the part's
  // lowest one and its columns from the part's left edge.
  const std::uint8_t* pixels = nullptr;
  std::uint32_t rows = 0;
  const std::size_t partStride = static_cast<std::size_t>(BmpStride(part.width, l.bitCount));
  if (l.isRle()) {
    if (scratch == nullptr) return false;
    if (l.rleBytes > 0 && (l.pixelOffset >= size || l.rleBytes > size - l.pixelOffset))
      return false;
    const std::uint8_t* stream = l.rleBytes > 0 ? data + l.pixelOffset : nullptr;
    const RleWindow window{part.left, height - part.top - part.height, part.width, part.height};
    ExpandRle(stream, static_cast<std::size_t>(l.rleBytes), l.compression == kBiRle4, width,
              height, window, partStride, scratch);
  } else if (l.rowsPresent > 0) {
    if (l.rowsPresent > height || l.pixelOffset >= size ||
        std::uint64_t{l.rowsPresent} * l.stride > size - l.pixelOffset)
      return false;
    pixels = data + l.pixelOffset;
    rows = l.rowsPresent;
  }

  const MaskDecoder decode(l.masks);
  const SrgbTable* srgb = l.bitCount == 64 ? &LinearToSrgbTable() : nullptr;
  for (std::uint32_t r = 0; r < part.height; ++r) {
    std::uint32_t* dst = out + static_cast<std::ptrdiff_t>(r) * pitch;
    const std::uint8_t* src = nullptr;
    std::uint32_t first = 0;
    if (l.isRle()) {
      src = scratch + std::size_t{part.height - 1 - r} * partStride;
    } else {
      const std::uint32_t y = part.top + r;
      const std::uint32_t fileRow = l.topDown ? y : height - 1 - y;
      if (fileRow >= rows) {
        std::fill_n(dst, part.width, kOpaqueBlack);
        continue;
      }
      src = pixels + std::size_t{fileRow} * stride;
      first = part.left;
    }
    const std::uint32_t n = part.width;
    switch (l.bitCount) {
      case 1: case 2: case 4: case 8:
        IndexedRow(src, l.bitCount, first, n, palette, dst);
        break;
      case 16:
        src += 2 * std::size_t{first};
        for (std::uint32_t x = 0; x < n; ++x)
          dst[x] = decode(std::uint32_t{src[2 * x]} | (std::uint32_t{src[2 * x + 1]} << 8));
        break;
      case 24:
        src += 3 * std::size_t{first};
        for (std::uint32_t x = 0; x < n; ++x, src += 3)
          dst[x] = kOpaqueBlack | (std::uint32_t{src[2]} << 16) | (std::uint32_t{src[1]} << 8) |
                   src[0];
        break;
      case 32:
        src += 4 * std::size_t{first};
        for (std::uint32_t x = 0; x < n; ++x, src += 4)
          dst[x] = decode(std::uint32_t{src[0]} | (std::uint32_t{src[1]} << 8) |
                          (std::uint32_t{src[2]} << 16) | (std::uint32_t{src[3]} << 24));
        break;
      case 64:
        Linear64Row(src + 8 * std::size_t{first}, n, *srgb, dst);
        break;
      default:
        return false;
    }
  }
  return true;
}

}  // namespace mv

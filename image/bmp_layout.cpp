#include "image/bmp_layout.h"

#include <algorithm>
#include <bit>

#include "image/le_read.h"

namespace mv {
namespace {

bool IsWindowsHeaderSize(std::uint32_t s) {
  return s == 40 || s == 52 || s == 56 || s == 108 || s == 124;
}

bool OneRun(std::uint32_t m) {
  m >>= std::countr_zero(m);
  return (m & (m + 1)) == 0;
}

BmpLayout Refused(BmpLayout l, BmpRefusal why) {
  l.ok = false;
  l.refusal = why;
  return l;
}

bool BitCountFits(std::uint32_t compression, unsigned bits) {
  switch (compression) {
    case kBiRgb:
      return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
             bits == 32 || bits == 64;
    case kBiRle8: return bits == 8;
    case kBiRle4: return bits == 4;
    case kBiBitfields:
    case kBiAlphaBitfields: return bits == 16 || bits == 32;
    default: return false;
  }
}

}  // namespace

const char* BmpRefusalName(BmpRefusal r) {
  switch (r) {
    case BmpRefusal::None: return "none";
    case BmpRefusal::TooShort: return "too short";
    case BmpRefusal::NotBmp: return "not a bitmap";
    case BmpRefusal::BadHeaderSize: return "unknown header size";
    case BmpRefusal::TruncatedHeader: return "truncated header";
    case BmpRefusal::BadWidth: return "bad width";
    case BmpRefusal::BadHeight: return "bad height";
    case BmpRefusal::TooLarge: return "too large";
    case BmpRefusal::BadPlanes: return "bad planes";
    case BmpRefusal::BadCompression: return "unsupported compression";
    case BmpRefusal::BadBitCount: return "unsupported bit count";
    case BmpRefusal::TopDownRle: return "top-down RLE";
    case BmpRefusal::TruncatedMasks: return "truncated masks";
    case BmpRefusal::BadMasks: return "bad masks";
    case BmpRefusal::BadPixelOffset: return "bad pixel offset";
    case BmpRefusal::TruncatedColorTable: return "truncated colour table";
  }
  return "?";
}

bool MasksUsable(const BmpMasks& m, unsigned bitCount) {
  if (m.red == 0 || m.green == 0 || m.blue == 0) return false;
  const std::uint32_t limit = bitCount >= 32 ? 0xFFFFFFFFu : ((1u << bitCount) - 1);
  std::uint32_t seen = 0;
  for (std::uint32_t mask : {m.red, m.green, m.blue, m.alpha}) {
    if (mask == 0) continue;  // only alpha can get here
    if ((mask & ~limit) != 0 || (mask & seen) != 0 || !OneRun(mask)) return false;
    seen |= mask;
  }
  return true;
}

BmpLayout ParseBmpLayout(const std::uint8_t* data, std::size_t size) {
  BmpLayout l;
  if (data == nullptr || size < 18) return Refused(l, BmpRefusal::TooShort);
  if (data[0] != 'B' || data[1] != 'M') return Refused(l, BmpRefusal::NotBmp);

  l.pixelOffset = Rd32(data + 10);
  const std::uint32_t hs = Rd32(data + 14);
  l.headerSize = hs;
  const bool core = hs == 12;
  const bool windows = IsWindowsHeaderSize(hs);
  const bool os2v2 = !windows && hs >= 16 && hs <= 64;
  if (!core && !windows && !os2v2) return Refused(l, BmpRefusal::BadHeaderSize);
  if (14 + std::uint64_t{hs} > size) return Refused(l, BmpRefusal::TruncatedHeader);

  const std::uint8_t* ih = data + 14;
  l.os2Core = core;
  if (core) {
    l.width = Rd16(ih + 4);
    l.height = Rd16(ih + 6);
    l.planes = Rd16(ih + 8);
    l.bitCount = Rd16(ih + 10);
  } else {
    // OS/2 v2 headers may stop after any field: read only those present.
    l.width = static_cast<std::int32_t>(Rd32(ih + 4));
    l.height = static_cast<std::int32_t>(Rd32(ih + 8));
    l.planes = Rd16(ih + 12);
    l.bitCount = Rd16(ih + 14);
    if (hs >= 20) l.compression = Rd32(ih + 16);
    if (hs >= 24) l.sizeImage = Rd32(ih + 20);
    if (hs >= 36) l.clrUsed = Rd32(ih + 32);
  }

  if (l.width <= 0) return Refused(l, BmpRefusal::BadWidth);
  if (l.height == 0 || l.height == INT32_MIN) return Refused(l, BmpRefusal::BadHeight);
  l.topDown = l.height < 0;
  l.absHeight = l.topDown ? static_cast<std::uint32_t>(-std::int64_t{l.height})
                          : static_cast<std::uint32_t>(l.height);
  if (static_cast<std::uint32_t>(l.width) > kMaxBmpSide || l.absHeight > kMaxBmpSide)
    return Refused(l, BmpRefusal::TooLarge);
  if (l.planes != 1) return Refused(l, BmpRefusal::BadPlanes);

  // OS/2 v2 numbers 3 and 4 are Huffman 1D and RLE24, not bit fields and JPEG.
  if (os2v2 && l.compression >= 3) return Refused(l, BmpRefusal::BadCompression);
  switch (l.compression) {
    case kBiRgb: case kBiRle8: case kBiRle4: case kBiBitfields: case kBiAlphaBitfields: break;
    default: return Refused(l, BmpRefusal::BadCompression);
  }
  if (!BitCountFits(l.compression, l.bitCount)) return Refused(l, BmpRefusal::BadBitCount);
  if (l.isRle() && l.topDown) return Refused(l, BmpRefusal::TopDownRle);

  l.stride = BmpStride(static_cast<std::uint64_t>(l.width), l.bitCount);
  l.pixelBytesNeeded = l.stride * l.absHeight;
  if (l.pixelBytesNeeded > kMaxBmpPixelBytes) return Refused(l, BmpRefusal::TooLarge);

  std::uint64_t headersEnd = 14 + std::uint64_t{hs};
  if (l.compression == kBiBitfields || l.compression == kBiAlphaBitfields) {
    if (hs == 40) {
      // The masks follow a 40-byte header: 12 bytes, or 16 with alpha.
      const std::uint64_t n = l.compression == kBiAlphaBitfields ? 16 : 12;
      if (headersEnd + n > size) return Refused(l, BmpRefusal::TruncatedMasks);
      const std::uint8_t* m = data + headersEnd;
      l.masks = {Rd32(m), Rd32(m + 4), Rd32(m + 8), n == 16 ? Rd32(m + 12) : 0u};
      headersEnd += n;
    } else {
      l.masks = {Rd32(ih + 40), Rd32(ih + 44), Rd32(ih + 48), hs >= 56 ? Rd32(ih + 52) : 0u};
    }
    if (!MasksUsable(l.masks, l.bitCount)) return Refused(l, BmpRefusal::BadMasks);
    l.hasMasks = true;
  } else if (l.bitCount == 16) {
    l.masks = {0x7C00, 0x03E0, 0x001F, 0};
    l.hasMasks = true;
  } else if (l.bitCount == 32) {
    l.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    l.hasMasks = true;
  }

  if (l.pixelOffset < headersEnd) return Refused(l, BmpRefusal::BadPixelOffset);

  l.colorTableOffset = headersEnd;
  l.colorEntrySize = core ? 3 : 4;
  if (l.bitCount <= 8) {
    const std::uint32_t max = 1u << l.bitCount;
    l.colorCount = (l.clrUsed >= 1 && l.clrUsed <= max) ? l.clrUsed : max;
    // The table ends where the pixels begin, whatever the header says.
    const std::uint64_t room = (l.pixelOffset - headersEnd) / l.colorEntrySize;
    l.colorsPresent = static_cast<std::uint32_t>(std::min<std::uint64_t>(l.colorCount, room));
    if (headersEnd + std::uint64_t{l.colorsPresent} * l.colorEntrySize > size)
      return Refused(l, BmpRefusal::TruncatedColorTable);
  }

  const std::uint64_t avail = l.pixelOffset < size ? size - l.pixelOffset : 0;
  if (l.isRle()) {
    l.rleBytes = l.sizeImage != 0 ? std::min<std::uint64_t>(l.sizeImage, avail) : avail;
    l.pixelBytesPresent = l.rleBytes;
    l.complete = avail > 0 && (l.sizeImage == 0 || l.sizeImage <= avail);
  } else {
    l.pixelBytesPresent = std::min(l.pixelBytesNeeded, avail);
    l.rowsPresent = static_cast<std::uint32_t>(l.pixelBytesPresent / l.stride);
    l.complete = l.rowsPresent == l.absHeight;
  }
  l.ok = true;
  return l;
}

ColorTable ReadColorTable(const BmpLayout& layout, const std::uint8_t* data, std::size_t size) {
  ColorTable t;
  t.count = layout.colorCount;
  if (!layout.ok || data == nullptr || layout.colorsPresent > 256) return t;
  const std::uint64_t entry = layout.colorEntrySize == 3 ? 3 : 4;
  if (layout.colorTableOffset + layout.colorsPresent * entry > size) return t;
  const std::uint8_t* p = data + layout.colorTableOffset;
  for (std::uint32_t i = 0; i < layout.colorsPresent; ++i, p += entry)
    t.entries[i] = {p[0], p[1], p[2], entry == 4 ? p[3] : std::uint8_t{0}};
  t.present = layout.colorsPresent;
  return t;
}

}  // namespace mv

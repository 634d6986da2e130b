#include "image/dib_check.h"

#include "image/le_read.h"

namespace mv {
namespace {

DibCheck Refused(DibCheck c, DibRefusal why) {
  c.ok = false;
  c.refusal = why;
  return c;
}

}  // namespace

const char* DibRefusalName(DibRefusal r) {
  switch (r) {
    case DibRefusal::None: return "none";
    case DibRefusal::NoInfo: return "no info block";
    case DibRefusal::BadHeaderSize: return "unknown header size";
    case DibRefusal::InfoTooSmall: return "info block too small";
    case DibRefusal::BadWidth: return "bad width";
    case DibRefusal::BadHeight: return "bad height";
    case DibRefusal::TooLarge: return "too large";
    case DibRefusal::BadPlanes: return "bad planes";
    case DibRefusal::BadBitCount: return "unsupported bit count";
    case DibRefusal::BadCompression: return "unsupported compression";
    case DibRefusal::BadMasks: return "bad masks";
    case DibRefusal::ColorsCut: return "colour table cut";
    case DibRefusal::BitsTooSmall: return "bits block too small";
  }
  return "?";
}

DibCheck CheckPluginDib(const std::uint8_t* info, std::size_t infoSize, std::size_t bitsSize) {
  DibCheck c;
  if (info == nullptr || infoSize < 4) return Refused(c, DibRefusal::NoInfo);
  const std::uint32_t hs = Rd32(info);
  c.headerSize = hs;
  if (hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124)
    return Refused(c, DibRefusal::BadHeaderSize);
  if (infoSize < hs) return Refused(c, DibRefusal::InfoTooSmall);

  c.width = static_cast<std::int32_t>(Rd32(info + 4));
  c.height = static_cast<std::int32_t>(Rd32(info + 8));
  const std::uint16_t planes = Rd16(info + 12);
  c.bitCount = Rd16(info + 14);
  c.compression = Rd32(info + 16);
  const std::uint32_t clrUsed = Rd32(info + 32);

  if (c.width <= 0) return Refused(c, DibRefusal::BadWidth);
  if (c.height == 0 || c.height == INT32_MIN) return Refused(c, DibRefusal::BadHeight);
  c.topDown = c.height < 0;
  c.absHeight = c.topDown ? static_cast<std::uint32_t>(-std::int64_t{c.height})
                          : static_cast<std::uint32_t>(c.height);
  if (static_cast<std::uint32_t>(c.width) > kMaxBmpSide || c.absHeight > kMaxBmpSide)
    return Refused(c, DibRefusal::TooLarge);
  if (planes != 1) return Refused(c, DibRefusal::BadPlanes);

  const unsigned bpp = c.bitCount;
  if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    return Refused(c, DibRefusal::BadBitCount);
  if (c.compression != kBiRgb && !(c.compression == kBiBitfields && (bpp == 16 || bpp == 32)))
    return Refused(c, DibRefusal::BadCompression);

  c.stride = BmpStride(static_cast<std::uint64_t>(c.width), bpp);
  c.bytesNeeded = c.stride * c.absHeight;
  if (c.bytesNeeded > kMaxBmpPixelBytes) return Refused(c, DibRefusal::TooLarge);

  std::uint64_t tableStart = hs;
  if (c.compression == kBiBitfields) {
    // GDI takes the masks from byte 40 whatever the header size.
    if (hs == 40) tableStart += 12;
    if (infoSize < 52) return Refused(c, DibRefusal::InfoTooSmall);
    c.masks = {Rd32(info + 40), Rd32(info + 44), Rd32(info + 48),
               hs >= 56 ? Rd32(info + 52) : 0u};
    if (!MasksUsable(c.masks, bpp)) return Refused(c, DibRefusal::BadMasks);
  } else if (bpp == 16) {
    c.masks = {0x7C00, 0x03E0, 0x001F, 0};
  } else if (bpp == 32) {
    c.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
  }

  c.colorTableOffset = static_cast<std::size_t>(tableStart);
  if (bpp <= 8) {
    const std::uint32_t max = 1u << bpp;
    c.colorCount = (clrUsed >= 1 && clrUsed <= max) ? clrUsed : max;
  }
  if (tableStart + std::uint64_t{c.colorCount} * 4 > infoSize)
    return Refused(c, DibRefusal::ColorsCut);
  if (c.bytesNeeded > bitsSize) return Refused(c, DibRefusal::BitsTooSmall);
  c.ok = true;
  return c;
}

}  // namespace mv

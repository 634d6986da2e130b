// Checks the two memory blocks a Susie plug-in returns (a BITMAPINFO and the
// pixel bits) before anything reads them. The plug-in is untrusted: the block
// sizes (GlobalSize) are the only bounds, and everything GDI will read from an
// accepted pair lies inside them.
//
// Accepted:
//  - info header of 40, 52, 56, 108 or 124 bytes (no OS/2 core headers);
//  - width 1..65535, height non-zero (negative = top-down), |height| <= 65535,
//    planes 1, stride * |height| <= 512 MiB;
//  - BI_RGB at 1, 2, 4, 8, 16, 24, 32 bits; BI_BITFIELDS at 16 and 32 bits
//    with usable masks (see MasksUsable). 2 bits passes the bounds check only:
//    whether it can be drawn is then up to SetDIBits, which may refuse it.
//  - RLE is refused: GDI reads an RLE stream by biSizeImage alone, and a
//    GlobalSize is only an upper bound of what the plug-in wrote.
//
// Colour table: it starts at biSize (plus 12 mask bytes for BI_BITFIELDS with
// a 40-byte header, where GDI looks for the masks) and has biClrUsed entries
// when that is 1..2^bpp, else 2^bpp; above 8 bits none is read. GDI honours
// biClrUsed on its own terms, so the caller should hand GDI a private copy of
// the header with biClrUsed set to colorCount (0 above 8 bits) and
// biSizeImage set to bytesNeeded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/bmp_layout.h"

namespace mv {

enum class DibRefusal : std::uint8_t {
  None,
  NoInfo,          // null pointer or fewer than 4 bytes
  BadHeaderSize,   // biSize of no accepted form
  InfoTooSmall,    // the block is shorter than the header (and masks)
  BadWidth,
  BadHeight,
  TooLarge,
  BadPlanes,
  BadBitCount,
  BadCompression,
  BadMasks,
  ColorsCut,       // the block ends inside the colour table
  BitsTooSmall,    // the bits block is shorter than stride * |height|
};

const char* DibRefusalName(DibRefusal r);

struct DibCheck {
  bool ok = false;
  DibRefusal refusal = DibRefusal::None;
  std::uint32_t headerSize = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;         // as given, sign kept
  std::uint32_t absHeight = 0;
  bool topDown = false;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = kBiRgb;
  BmpMasks masks;                  // 16/32 bits: given or the BI_RGB defaults
  std::size_t colorTableOffset = 0;  // inside the info block
  std::uint32_t colorCount = 0;
  std::uint64_t stride = 0;
  std::uint64_t bytesNeeded = 0;   // stride * absHeight
};

DibCheck CheckPluginDib(const std::uint8_t* info, std::size_t infoSize, std::size_t bitsSize);

}  // namespace mv

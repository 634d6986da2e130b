// Builds BMP files (and plug-in style BITMAPINFO blocks) of every variant the
// tests need: header sizes 12, 16..64 (OS/2 v2), 40, 52, 56, 108, 124; any
// bit count and compression; short colour tables; given pixel bytes or RLE
// streams; and any field forced to any value afterwards.
//
//   mv::test::BmpSpec recipe;
//   recipe.width = 3; recipe.height = -2; recipe.bitCount = 8;
//   recipe.palette = {0xFF0000, 0x00FF00};          // 0xRRGGBB
//   recipe.pixels = mv::test::PackRows({{0, 1, 1}, {1, 0, 0}}, 8);
//   std::string bytes = mv::test::BuildBmp(recipe);
//
// Portable (no <windows.h>): used by native and Wine tests alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mv::test {

struct BmpSpec {
  std::uint32_t headerSize = 40;     // 12, 16..64, 40, 52, 56, 108, 124
  std::int32_t width = 4;            // 12-byte headers store the low 16 bits
  std::int32_t height = 4;           // negative = top-down
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;     // BI_RGB
  // Colour table as 0xRRGGBB (reserved byte 0). Empty with bitCount <= 8: a
  // grey ramp of 2^bitCount entries.
  std::vector<std::uint32_t> palette;
  bool noPalette = false;            // write no table even at <= 8 bits
  std::optional<std::uint32_t> clrUsed;  // default: palette size when <= 8 bits, else 0
  // Masks red, green, blue, alpha. Written after a 40-byte header for
  // BI_BITFIELDS (12 bytes) / BI_ALPHABITFIELDS (16 bytes), and inside 52+
  // byte headers whenever set. Default for bit fields: 5-6-5 or 8-8-8-0.
  std::optional<std::vector<std::uint32_t>> masks;
  // Pixel bytes exactly as stored (padded rows, file order) or the RLE stream.
  // Empty: a deterministic pattern for uncompressed data, "end of bitmap" for RLE.
  std::vector<std::uint8_t> pixels;
  std::uint32_t gapBeforePixels = 0;     // zero bytes between table and pixels
  std::optional<std::uint32_t> offBits;  // default: where the pixels really start
  std::optional<std::uint32_t> sizeImage;  // default: pixel byte count
  std::optional<std::uint32_t> fileSize;   // bfSize; default: real size
};

std::string BuildBmp(const BmpSpec& recipe);
// A small well-formed file of this depth, with the default pattern.
std::string PlainBmp(int bitCount, std::int32_t width = 4, std::int32_t height = 4);

// Info block as a plug-in returns it: the header (recipe.headerSize >= 40), the
// masks after a 40-byte BI_BITFIELDS header, then the colour table. Pixels,
// offBits and fileSize are ignored.
std::string BuildDibInfo(const BmpSpec& recipe);

// Bytes per stored row.
std::size_t RowStride(std::int32_t width, unsigned bitCount);

// Packs rows of pixel values (indices, or 16/24/32-bit values as 0xRRGGBB /
// raw for 16 and 32) at bitCount into padded rows in the given order.
std::vector<std::uint8_t> PackRows(const std::vector<std::vector<std::uint32_t>>& rows,
                                   unsigned bitCount);

// One 64-bit pixel: raw signed channel values (linear light, 8192 = 1.0).
struct Pixel64 {
  std::int16_t b = 0, g = 0, r = 0, a = 0;
};

// Packs rows of 64-bit pixels in the given order (8 bytes a pixel, no padding
// needed).
std::vector<std::uint8_t> PackRows64(const std::vector<std::vector<Pixel64>>& rows);

// Field access for overrides (little-endian, at a file offset).
void Put16(std::string& bytes, std::size_t offset, std::uint16_t v);
void Put32(std::string& bytes, std::size_t offset, std::uint32_t v);
std::uint32_t Get32(const std::string& bytes, std::size_t offset);

// File offsets of common fields of a file with a Windows info header.
inline constexpr std::size_t kOffBfSize = 2;
inline constexpr std::size_t kOffBfOffBits = 10;
inline constexpr std::size_t kOffBiSize = 14;
inline constexpr std::size_t kOffBiWidth = 18;
inline constexpr std::size_t kOffBiHeight = 22;
inline constexpr std::size_t kOffBiPlanes = 26;
inline constexpr std::size_t kOffBiBitCount = 28;
inline constexpr std::size_t kOffBiCompression = 30;
inline constexpr std::size_t kOffBiSizeImage = 34;
inline constexpr std::size_t kOffBiClrUsed = 46;

inline const std::uint8_t* U8(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

}  // namespace mv::test

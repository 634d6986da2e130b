// Row arithmetic of the DIBs the WIC plug-in hands out: 4-byte aligned
// rows, a cap on the size of the pixel block, and widening packed 2-bit
// indices to 4 bits (a DIB has no 2-bit form that hosts draw), and packing
// 32-bit pixels into 24-bit ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv::wic {

// Largest pixel block handed out; beyond it the answer is "no memory".
constexpr std::uint64_t kMaxPixelBytes = 512ull << 20;

constexpr std::uint64_t DibStride(std::uint64_t width, unsigned bits_per_pixel) {
  return (width * bits_per_pixel + 31) / 32 * 4;
}

// The pixel block's size, or 0 when it would exceed the cap or the
// dimensions cannot be described by a BITMAPINFOHEADER.
constexpr std::uint64_t DibPixelBytes(std::uint64_t width, std::uint64_t height, unsigned bits_per_pixel) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return 0;
  const std::uint64_t bytes = DibStride(width, bits_per_pixel) * height;
  return bytes <= kMaxPixelBytes ? bytes : 0;
}

// Widens `width` 2-bit indices (high bits first) to 4-bit ones; dst holds
// (width + 1) / 2 bytes, a trailing odd pixel leaves the low nibble 0.
inline void Widen2To4(const std::uint8_t* src, std::uint8_t* dst, std::size_t width) {
  for (std::size_t x = 0; x < width; x += 2) {
    const unsigned a = (src[x / 4] >> (6 - 2 * (x % 4))) & 3u;
    const unsigned b = x + 1 < width ? (src[(x + 1) / 4] >> (6 - 2 * ((x + 1) % 4))) & 3u : 0u;
    dst[x / 2] = static_cast<std::uint8_t>(a << 4 | b);
  }
}

// Packs `width` 4-byte pixels (B, G, R, unused) into 3-byte ones.
inline void Pack32To24(const std::uint8_t* src, std::uint8_t* dst, std::size_t width) {
  for (std::size_t x = 0; x < width; ++x) {
    dst[3 * x] = src[4 * x];
    dst[3 * x + 1] = src[4 * x + 1];
    dst[3 * x + 2] = src[4 * x + 2];
  }
}

}  // namespace mv::wic

#include "decode/rle.h"

#include <algorithm>
#include <cstring>

namespace mv {

RleResult ExpandRle(const std::uint8_t* src, std::size_t length, bool rle4, std::uint32_t width,
                    std::uint32_t height, std::size_t stride, std::uint8_t* out) {
  RleResult r;
  if (out == nullptr) return r;
  std::memset(out, 0, stride * height);
  if (src == nullptr) length = 0;

  std::uint32_t x = 0, y = 0;
  std::size_t i = 0;
  auto put = [&](std::uint32_t px, std::uint8_t v) {
    std::uint8_t* row = out + std::size_t{y} * stride;
    if (!rle4) {
      row[px] = v;
    } else if (px & 1) {
      row[px >> 1] = static_cast<std::uint8_t>((row[px >> 1] & 0xF0) | (v & 0x0F));
    } else {
      row[px >> 1] = static_cast<std::uint8_t>((row[px >> 1] & 0x0F) | (v << 4));
    }
  };
  // In RLE4 the k-th pixel of a byte pair alternates high and low nibble.
  auto nibble = [](std::uint8_t b, std::uint32_t k) -> std::uint8_t {
    return (k & 1) ? (b & 0x0F) : (b >> 4);
  };

  for (;;) {
    if (y >= height) { r.stop = RleStop::RowsFilled; break; }
    if (length - i < 2) { r.stop = RleStop::StreamEnded; break; }
    const std::uint8_t n = src[i], code = src[i + 1];
    i += 2;
    if (n > 0) {  // encoded run, clamped at the row end
      const std::uint32_t end = std::min<std::uint32_t>(x + n, width);
      for (std::uint32_t k = 0; x < end; ++x, ++k) put(x, rle4 ? nibble(code, k) : code);
      continue;
    }
    if (code == 0) { x = 0; ++y; continue; }
    if (code == 1) { r.stop = RleStop::EndOfBitmap; break; }
    if (code == 2) {
      if (length - i < 2) { r.stop = RleStop::StreamEnded; break; }
      x += src[i];
      y += src[i + 1];
      i += 2;
      if (x > width || y >= height) { r.stop = RleStop::DeltaOutside; break; }
      continue;
    }
    // Absolute run of `code` pixels, data padded to an even byte count.
    const std::size_t dataBytes = rle4 ? (code + 1u) / 2 : code;
    const std::size_t have = std::min(dataBytes, length - i);
    const std::uint32_t pixels =
        static_cast<std::uint32_t>(rle4 ? std::min<std::size_t>(code, have * 2) : have);
    for (std::uint32_t k = 0; k < pixels && x + k < width; ++k)
      put(x + k, rle4 ? nibble(src[i + k / 2], k) : src[i + k]);
    if (have < dataBytes) { i += have; r.stop = RleStop::StreamEnded; break; }
    x = std::min<std::uint32_t>(x + code, width);
    i += std::min(dataBytes + (dataBytes & 1), length - i);
  }
  r.stopRow = std::min(y, height);
  r.bytesUsed = i;
  return r;
}

}  // namespace mv

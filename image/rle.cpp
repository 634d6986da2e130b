#include "image/rle.h"

#include <algorithm>
#include <cstring>

namespace mv {

RleResult ExpandRle(const std::uint8_t* src, std::size_t length, bool rle4, std::uint32_t width,
                    std::uint32_t height, const RleWindow& window, std::size_t stride, std::uint8_t* out) {
  RleResult r;
  if (out == nullptr) return r;
  std::memset(out, 0, stride * window.height);
  if (src == nullptr) length = 0;
  // Rows above the window are of no use: decoding ends below them.
  const std::uint32_t rows =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(height, std::uint64_t{window.bottom} + window.height));
  const std::uint64_t right = std::uint64_t{window.left} + window.width;

  std::uint32_t x = 0, y = 0;
  std::size_t i = 0;
  auto put = [&](std::uint8_t* row, std::uint64_t px, std::uint8_t v) {
    if (!rle4) {
      row[px] = v;
    } else if (px & 1) {
      row[px >> 1] = static_cast<std::uint8_t>((row[px >> 1] & 0xF0) | (v & 0x0F));
    } else {
      row[px >> 1] = static_cast<std::uint8_t>((row[px >> 1] & 0x0F) | (v << 4));
    }
  };
  // Pixels x .. x + count - 1 of row y, pixel(k) the k-th of them: only the
  // ones inside the window are visited.
  auto run = [&](std::uint32_t count, auto pixel) {
    if (y < window.bottom) return;
    std::uint8_t* row = out + std::size_t{y - window.bottom} * stride;
    const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{x} + count, right);
    for (std::uint64_t px = std::max<std::uint64_t>(x, window.left); px < to; ++px)
      put(row, px - window.left, pixel(static_cast<std::uint32_t>(px - x)));
  };
  // In RLE4 the k-th pixel of a byte pair alternates high and low nibble.
  auto nibble = [](std::uint8_t b, std::uint32_t k) -> std::uint8_t {
    return (k & 1) ? (b & 0x0F) : (b >> 4);
  };

  for (;;) {
    if (y >= rows) { r.stop = RleStop::RowsFilled; break; }
    if (length - i < 2) { r.stop = RleStop::StreamEnded; break; }
    const std::uint8_t n = src[i], code = src[i + 1];
    i += 2;
    if (n > 0) {  // encoded run, clamped at the row end
      const std::uint32_t end = std::min<std::uint32_t>(x + n, width);
      run(end - x, [&](std::uint32_t k) { return rle4 ? nibble(code, k) : code; });
      x = end;
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
    const std::uint8_t* data = src + i;
    run(std::min(pixels, width - x), [&](std::uint32_t k) { return rle4 ? nibble(data[k / 2], k) : data[k]; });
    if (have < dataBytes) { i += have; r.stop = RleStop::StreamEnded; break; }
    x = std::min<std::uint32_t>(x + code, width);
    i += std::min(dataBytes + (dataBytes & 1), length - i);
  }
  r.stopRow = std::min(y, rows);
  r.bytesUsed = i;
  return r;
}

}  // namespace mv

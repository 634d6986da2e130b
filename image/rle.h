// Expansion of BI_RLE8 / BI_RLE4 pixel streams into plain 8- or 4-bit rows.
//
// The output has the layout of an uncompressed bottom-up DIB at the same bit
// count, over a window of the picture: row y of the stream (y = 0 is the
// bottom row) lives at out + (y - window.bottom) * stride, its pixel x at
// x - window.left. Only pixels inside the window are stored, and decoding
// ends above the window's top row, so the cost is the stream up to there
// plus the window's own pixels, never the whole declared picture. Pixels the
// stream never reaches stay index 0. Damage is contained, never reported as
// an error that loses the picture:
//  - no byte at or past src + length is read (ops, delta bytes and absolute
//    data are checked first; an absolute run whose data is cut keeps the
//    pixels whose bytes are there);
//  - encoded runs clamp at the end of the row; absolute runs past the row end
//    are cut (their data is still skipped);
//  - a delta that leaves the picture ends decoding;
//  - decoding ends at end-of-bitmap, at the end of the stream, or when the
//    rows (up to the window's top) run out.
// Top-down RLE is not decoded here: ParseBmpLayout refuses it (GDI does too).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv {

enum class RleStop : std::uint8_t {
  EndOfBitmap,    // 00 01 seen
  RowsFilled,     // an end-of-line moved past the top row (of the window)
  StreamEnded,    // the bytes ran out before end-of-bitmap
  DeltaOutside,   // a delta pointed outside the picture
};

struct RleResult {
  RleStop stop = RleStop::StreamEnded;
  std::uint32_t stopRow = 0;      // row where decoding stopped (height once past the top)
  std::size_t bytesUsed = 0;      // stream bytes consumed
  bool complete() const { return stop == RleStop::EndOfBitmap || stop == RleStop::RowsFilled; }
};

// Columns [left, left + width) of rows [bottom, bottom + height), rows
// counted from the bottom as the stream counts them; inside the picture.
struct RleWindow {
  std::uint32_t left = 0, bottom = 0, width = 0, height = 0;
};

// out must hold stride * window.height bytes, stride >= the packed row size
// of window.width pixels at 8 (rle4 false) or 4 bits. The window's rows are
// cleared first.
RleResult ExpandRle(const std::uint8_t* src, std::size_t length, bool rle4, std::uint32_t width,
                    std::uint32_t height, const RleWindow& window, std::size_t stride, std::uint8_t* out);

// The whole picture: out holds stride * height bytes.
inline RleResult ExpandRle(const std::uint8_t* src, std::size_t length, bool rle4, std::uint32_t width,
                           std::uint32_t height, std::size_t stride, std::uint8_t* out) {
  return ExpandRle(src, length, rle4, width, height, RleWindow{0, 0, width, height}, stride, out);
}

}  // namespace mv

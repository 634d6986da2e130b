// Expansion of BI_RLE8 / BI_RLE4 pixel streams into plain 8- or 4-bit rows.
//
// The output has the layout of an uncompressed bottom-up DIB at the same bit
// count: row y of the stream (y = 0 is the bottom row) lives at out + y*stride.
// Pixels the stream never reaches stay index 0. Damage is contained, never
// reported as an error that loses the picture:
//  - no byte at or past src + length is read (ops, delta bytes and absolute
//    data are checked first; an absolute run whose data is cut keeps the
//    pixels whose bytes are there);
//  - encoded runs clamp at the end of the row; absolute runs past the row end
//    are cut (their data is still skipped);
//  - a delta that leaves the picture ends decoding;
//  - decoding ends at end-of-bitmap, at the end of the stream, or when the
//    rows run out.
// Top-down RLE is not decoded here: ParseBmpLayout refuses it (GDI does too).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mv {

enum class RleStop : std::uint8_t {
  EndOfBitmap,    // 00 01 seen
  RowsFilled,     // an end-of-line moved past the top row
  StreamEnded,    // the bytes ran out before end-of-bitmap
  DeltaOutside,   // a delta pointed outside the picture
};

struct RleResult {
  RleStop stop = RleStop::StreamEnded;
  std::uint32_t stopRow = 0;      // row where decoding stopped (height once past the top)
  std::size_t bytesUsed = 0;      // stream bytes consumed
  bool complete() const { return stop == RleStop::EndOfBitmap || stop == RleStop::RowsFilled; }
};

// out must hold stride * height bytes, stride >= the packed row size of width
// pixels at 8 (rle4 false) or 4 bits. The whole output is cleared first.
RleResult ExpandRle(const std::uint8_t* src, std::size_t length, bool rle4, std::uint32_t width,
                    std::uint32_t height, std::size_t stride, std::uint8_t* out);

}  // namespace mv

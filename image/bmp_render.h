// Conversion of any bitmap that ParseBmpLayout accepted into 32-bit pixels,
// for the formats GDI cannot draw straight from the file (short files, RLE
// with damage, 2-bit, 64-bit, odd bit fields) and for checking the decoder.
// A viewer renders only the part of the picture it shows (RenderBgraPart):
// the header's declared size costs nothing by itself.
//
// Output: rows top-down (row 0 is the top of the picture whatever the file's
// row order). Each pixel is 0xAARRGGBB as a uint32, i.e. bytes B, G, R, A in
// memory: the layout of a 32-bit BI_RGB DIB.
// Alpha is 0xFF unless the file declares an alpha mask (bit fields), in which
// case it is that channel scaled to 8 bits. A 64-bit file declares no mask, so
// its alpha channel is dropped like the top byte of a 32-bit BI_RGB one: the
// picture shows opaque.
//
// 64 bits: each channel is a signed 16-bit linear-light value in fixed point
// s2.13 (8192 = 1.0). It is clamped to 0..1, put through the sRGB curve and
// rounded to 8 bits (Linear16ToSrgb8), by a table built once.
//
// Colours: indices go through the 256-entry table of ReadColorTable, so entries
// the file lacks and indices past the table are black. Mask channels are
// widened by repeating their bits (5 bits v -> v<<3 | v>>2) and narrowed by
// dropping low bits. Rows the file does not hold are opaque black; pixels an
// RLE stream does not reach are index 0 (the table's first colour).
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/bmp_layout.h"

namespace mv {

// Number of uint32 the output of RenderBgra needs.
inline std::uint64_t BgraPixelCount(const BmpLayout& l) {
  return l.ok ? std::uint64_t(static_cast<std::uint32_t>(l.width)) * l.absHeight : 0;
}

// The whole picture, width * absHeight pixels. False when the layout is not
// ok, a pointer is null, the layout does not fit `size` (it was made for
// other bytes), or RLE scratch memory is not to be had. Reads nothing outside
// [data, data + size).
bool RenderBgra(const BmpLayout& layout, const std::uint8_t* data, std::size_t size,
                std::uint32_t* out);

// Columns [left, left + width) of rows [top, top + height) of the upright
// picture (row 0 the top).
struct PixelRect {
  std::uint32_t left = 0, top = 0, width = 0, height = 0;
};

// Bytes of scratch memory RenderBgraPart needs for `part`: an RLE file's
// part expanded at its own bit count; 0 for other files.
std::uint64_t PartScratchBytes(const BmpLayout& layout, const PixelRect& part);

// Only `part` of the picture: its row r at out + r * pitch (pitch in pixels,
// negative for a bottom-up target). Costs the part's pixels, and for RLE the
// stream up to the part's top row. `scratch` holds PartScratchBytes; it is
// the caller's, so that nothing here owns memory (a read of the mapping may
// fault and abandon these frames). False as RenderBgra, when the part does
// not lie inside the picture, or when an RLE file has no scratch.
bool RenderBgraPart(const BmpLayout& layout, const std::uint8_t* data, std::size_t size, const PixelRect& part,
                    std::uint8_t* scratch, std::uint32_t* out, std::ptrdiff_t pitch);

// Widens or narrows a mask channel value of `bits` bits (0..32) to 8 bits.
std::uint8_t ScaleChannel(std::uint32_t value, unsigned bits);

// One channel of a 64-bit pixel (linear s2.13) as an 8-bit sRGB value.
std::uint8_t Linear16ToSrgb8(std::int16_t value);

}  // namespace mv

// Layout of a Windows/OS-2 bitmap file, decided from its bytes and its length
// alone. The file is untrusted and is read in place from a read-only mapping,
// so every offset below has been checked against the real length before it is
// reported: code that follows a BmpLayout with ok == true never needs to read
// outside [data, data + size).
//
// What is accepted:
//  - info headers of 12 bytes (OS/2 v1: 16-bit unsigned sizes, 3-byte colour
//    entries), 16..64 bytes (OS/2 v2; the 40-byte one is read as Windows) and
//    the Windows forms 40, 52, 56, 108, 124;
//  - BI_RGB at 1, 2, 4, 8, 16, 24, 32 and 64 bits (64: four signed 16-bit
//    linear-light channels per pixel, see RenderBgra; no colour table, as at
//    24 and 32 bits); BI_RLE8 at 8 and BI_RLE4 at 4
//    (bottom-up only: a top-down RLE file is refused, as GDI refuses it);
//    BI_BITFIELDS and BI_ALPHABITFIELDS at 16 and 32 bits with masks that are
//    non-zero (red, green, blue), contiguous, inside the pixel and disjoint.
//  - width 1..65535, |height| 1..65535, and the decoded picture at its own bit
//    count (stride * |height|, which for RLE is the expanded size) at most
//    512 MiB. Larger declarations are refused before anything is allocated.
//
// Decisions for damaged files:
//  - The file is accepted when its headers, masks and the part of the colour
//    table that lies before the pixel offset are all inside the file. The pixel
//    rows may be short: rowsPresent counts the whole rows in the file and the
//    viewer shows black for the rest ("complete" is false then).
//  - A pixel offset (bfOffBits) that points into the headers or masks is
//    refused. One that points into the colour table is honoured as stored: the
//    table is cut there (colorsPresent) and the cut-off entries read as black.
//  - biClrUsed counts only when it is 1..2^bpp; otherwise the table has 2^bpp
//    entries. Entries that the file does not hold read as black.
//  - bfSize and, for uncompressed files, biSizeImage are ignored. For RLE the
//    stream length is min(biSizeImage if non-zero, bytes after the offset).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mv {

inline constexpr std::uint32_t kMaxBmpSide = 65535;
inline constexpr std::uint64_t kMaxBmpPixelBytes = 512ull << 20;

// Compression values of the Windows info header.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;
inline constexpr std::uint32_t kBiAlphaBitfields = 6;

enum class BmpRefusal : std::uint8_t {
  None,
  TooShort,             // fewer than 18 bytes: no room for the header size
  NotBmp,               // no "BM" signature
  BadHeaderSize,        // info header size of no known form
  TruncatedHeader,      // info header runs past the end of the file
  BadWidth,             // width <= 0
  BadHeight,            // height 0 or INT32_MIN
  TooLarge,             // a side above kMaxBmpSide, or pixels above kMaxBmpPixelBytes
  BadPlanes,            // planes != 1
  BadCompression,       // JPEG, PNG, OS/2 Huffman/RLE24, or unknown
  BadBitCount,          // bit count not allowed with this compression
  TopDownRle,           // RLE with negative height
  TruncatedMasks,       // bit-field masks after a 40-byte header cut by the end of file
  BadMasks,             // zero, overlapping, non-contiguous or oversized masks
  BadPixelOffset,       // bfOffBits points into the headers or masks
  TruncatedColorTable,  // colour table entries before the pixels are cut by the end of file
};

const char* BmpRefusalName(BmpRefusal r);

struct BmpMasks {
  std::uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

// True when red, green and blue are non-zero and each mask (alpha may be 0) is
// one run of bits inside the low bitCount bits, not overlapping the others.
bool MasksUsable(const BmpMasks& m, unsigned bitCount);

struct BmpLayout {
  bool ok = false;
  BmpRefusal refusal = BmpRefusal::None;

  std::uint32_t headerSize = 0;   // info header size as stored (biSize)
  bool os2Core = false;           // 12-byte header
  std::int32_t width = 0;         // as stored
  std::int32_t height = 0;        // as stored, sign kept (negative = top-down)
  bool topDown = false;
  std::uint32_t absHeight = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = kBiRgb;
  std::uint32_t sizeImage = 0;    // biSizeImage as stored
  std::uint32_t clrUsed = 0;      // biClrUsed as stored

  bool hasMasks = false;          // 16/32 bits: masks below are in effect
  BmpMasks masks;                 // from the file, or the BI_RGB defaults

  std::uint64_t colorTableOffset = 0;  // file offset of the colour table
  std::uint32_t colorEntrySize = 4;    // 3 for OS/2 v1, else 4
  std::uint32_t colorCount = 0;        // entries the header declares (0 above 8 bits)
  std::uint32_t colorsPresent = 0;     // of those, entries inside the file before the pixels

  std::uint64_t pixelOffset = 0;       // bfOffBits
  std::uint64_t stride = 0;            // bytes per row at the file's bit count, 4-aligned
  std::uint64_t pixelBytesNeeded = 0;  // stride * absHeight (expanded size for RLE)
  std::uint64_t pixelBytesPresent = 0; // min(needed, bytes after the offset); RLE: rleBytes
  std::uint32_t rowsPresent = 0;       // uncompressed: whole rows inside the file
  std::uint64_t rleBytes = 0;          // RLE: stream bytes really present
  // Uncompressed: every row is in the file. RLE: the declared stream
  // (biSizeImage, or the rest of the file when it is 0) is in the file;
  // whether it covers every pixel is told by ExpandRle.
  bool complete = false;

  bool isRle() const { return compression == kBiRle8 || compression == kBiRle4; }
};

BmpLayout ParseBmpLayout(const std::uint8_t* data, std::size_t size);

struct RgbQuad {
  std::uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

struct ColorTable {
  std::array<RgbQuad, 256> entries{};  // always 256: any index byte is safe
  std::uint32_t count = 0;             // declared entries (layout.colorCount)
  std::uint32_t present = 0;           // entries read from the file; the rest are black
};

// Reads layout.colorsPresent entries (3- or 4-byte) from the file; every other
// entry is black (0,0,0,0). Layouts that are not ok give an all-black table.
ColorTable ReadColorTable(const BmpLayout& layout, const std::uint8_t* data, std::size_t size);

// Bytes per row of width pixels at bitCount, padded to 4 bytes.
constexpr std::uint64_t BmpStride(std::uint64_t width, unsigned bitCount) {
  return (width * bitCount + 31) / 32 * 4;
}

}  // namespace mv

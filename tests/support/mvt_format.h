// "MVT": the tiny image format that the test plug-ins decode.
//
// Layout (little-endian):
//   "MVT1"                     4 bytes
//   int32  width               > 0
//   int32  height              != 0; negative asks the decoder for top-down output
//   uint16 bit count           1, 2, 4, 8, 16, 24 or 32
//   uint16 palette count       entries that follow
//   palette                    palette count x 4 bytes, blue, green, red, reserved
//   rows                       |height| rows exactly as a bottom-up DIB holds them:
//                              bottom row first, each padded to 4 bytes
// Bytes after the rows are ignored by the decoder (one fixture variant reads
// a mode byte there, see kMvtTrailer*).
//
// Header-only and free of <windows.h>: the fixture plug-ins parse with it and
// the tests (native and Wine) build their inputs with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace mv::test {

inline constexpr char kMvtMagic[4] = {'M', 'V', 'T', '1'};
inline constexpr std::size_t kMvtHeaderSize = 16;

// Mode byte right after the rows, read only by mvt_badblock.spi.
inline constexpr char kMvtTrailerShortInfo = 'I';  // info block shorter than its header claims
inline constexpr char kMvtTrailerShortBits = 'B';  // bits block shorter than the rows need

constexpr bool MvtValidBitCount(unsigned bits) {
  return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes per row of a DIB, rounded up to 4; 64-bit so huge widths cannot wrap.
constexpr std::uint64_t MvtRowStride(std::uint32_t width, unsigned bits) {
  return (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
}

// Colour-table entries a DIB of this depth carries when biClrUsed is 0.
constexpr std::uint32_t MvtFullTableSize(unsigned bits) { return bits <= 8 ? 1u << bits : 0u; }

inline std::uint32_t MvtReadU32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t MvtReadU16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// A parsed MVT image; the pointers point into the caller's bytes.
struct MvtView {
  std::int32_t width = 0;
  std::int32_t height = 0;  // as stored, sign included
  std::uint16_t bitCount = 0;
  std::uint16_t paletteCount = 0;
  const unsigned char* palette = nullptr;  // paletteCount x 4 bytes
  const unsigned char* rows = nullptr;     // rowBytes bytes
  std::uint32_t stride = 0;
  std::uint32_t rowCount = 0;  // |height|
  std::uint32_t rowBytes = 0;  // stride * rowCount
  const unsigned char* trailer = nullptr;  // bytes after the rows (may be none)
  std::size_t trailerSize = 0;
};

enum class MvtParse { ok, notMvt, broken };

// Checks the magic and that every declared byte is present. Never reads past size.
inline MvtParse ParseMvt(const void* data, std::size_t size, MvtView& out) noexcept {
  const auto* p = static_cast<const unsigned char*>(data);
  if (!p || size < sizeof kMvtMagic || std::memcmp(p, kMvtMagic, sizeof kMvtMagic) != 0) return MvtParse::notMvt;
  if (size < kMvtHeaderSize) return MvtParse::broken;
  MvtView v;
  v.width = static_cast<std::int32_t>(MvtReadU32(p + 4));
  v.height = static_cast<std::int32_t>(MvtReadU32(p + 8));
  v.bitCount = MvtReadU16(p + 12);
  v.paletteCount = MvtReadU16(p + 14);
  if (v.width <= 0 || v.height == 0 || v.height == INT32_MIN || !MvtValidBitCount(v.bitCount)) return MvtParse::broken;
  const std::uint64_t stride = MvtRowStride(static_cast<std::uint32_t>(v.width), v.bitCount);
  const std::uint64_t rowCount = v.height < 0 ? -static_cast<std::int64_t>(v.height) : v.height;
  const std::uint64_t rowBytes = stride * rowCount;
  const std::uint64_t paletteBytes = 4ull * v.paletteCount;
  if (rowBytes > 0x7FFFFFFFull || kMvtHeaderSize + paletteBytes + rowBytes > size) return MvtParse::broken;
  v.palette = p + kMvtHeaderSize;
  v.rows = v.palette + paletteBytes;
  v.stride = static_cast<std::uint32_t>(stride);
  v.rowCount = static_cast<std::uint32_t>(rowCount);
  v.rowBytes = static_cast<std::uint32_t>(rowBytes);
  v.trailer = v.rows + rowBytes;
  v.trailerSize = size - static_cast<std::size_t>(kMvtHeaderSize + paletteBytes + rowBytes);
  out = v;
  return MvtParse::ok;
}

inline void MvtPutU32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void MvtPutU16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

// Magic and the four header fields only, unchecked: for deliberately broken files.
inline std::string MvtHeaderBytes(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                                  std::uint16_t paletteCount) {
  std::string s(kMvtMagic, sizeof kMvtMagic);
  MvtPutU32(s, static_cast<std::uint32_t>(width));
  MvtPutU32(s, static_cast<std::uint32_t>(height));
  MvtPutU16(s, bitCount);
  MvtPutU16(s, paletteCount);
  return s;
}

// A well-formed MVT file. palette: one 0x00RRGGBB value per entry (stored as
// blue, green, red, 0); pixels: the raw bottom-up DIB rows, exactly
// stride x |height| bytes. Throws std::invalid_argument on a mismatch.
inline std::string BuildMvt(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                            const std::vector<std::uint32_t>& palette, const std::string& pixels) {
  if (width <= 0 || height == 0 || !MvtValidBitCount(bitCount) || palette.size() > 0xFFFF)
    throw std::invalid_argument("BuildMvt: bad header values");
  const std::uint64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  if (pixels.size() != MvtRowStride(static_cast<std::uint32_t>(width), bitCount) * rows)
    throw std::invalid_argument("BuildMvt: pixel bytes do not match stride x rows");
  std::string s = MvtHeaderBytes(width, height, bitCount, static_cast<std::uint16_t>(palette.size()));
  for (std::uint32_t c : palette) MvtPutU32(s, c & 0x00FFFFFFu);
  s += pixels;
  return s;
}

// Packs pixel values given top row first, left to right, into bottom-up DIB
// rows. Values are palette indices for 1..8 bits, the 16-bit word for 16,
// 0x00RRGGBB for 24 and the whole little-endian DWORD for 32.
inline std::string PackMvtRows(std::int32_t width, std::int32_t rowCount, std::uint16_t bitCount,
                               const std::vector<std::uint32_t>& values) {
  if (width <= 0 || rowCount <= 0 || !MvtValidBitCount(bitCount) ||
      values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(rowCount))
    throw std::invalid_argument("PackMvtRows: bad size");
  const std::size_t stride = static_cast<std::size_t>(MvtRowStride(static_cast<std::uint32_t>(width), bitCount));
  std::string out(stride * static_cast<std::size_t>(rowCount), '\0');
  for (std::int32_t y = 0; y < rowCount; ++y) {
    auto* row = reinterpret_cast<unsigned char*>(&out[stride * static_cast<std::size_t>(rowCount - 1 - y)]);
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t v = values[static_cast<std::size_t>(y) * width + x];
      if (bitCount < 8) {
        const unsigned perByte = 8 / bitCount;
        const unsigned shift = 8 - bitCount * (x % perByte + 1);  // leftmost pixel in the high bits
        row[x / perByte] |= static_cast<unsigned char>((v & ((1u << bitCount) - 1)) << shift);
      } else {
        const unsigned bytes = bitCount / 8;
        for (unsigned b = 0; b < bytes; ++b) row[x * bytes + b] = static_cast<unsigned char>(v >> (8 * b));
      }
    }
  }
  return out;
}

// The same rows in the opposite order: what a top-down DIB of them holds.
inline std::string MvtFlipRows(const std::string& rows, std::size_t stride) {
  if (stride == 0 || rows.size() % stride != 0) throw std::invalid_argument("MvtFlipRows: bad stride");
  std::string out;
  out.reserve(rows.size());
  for (std::size_t off = rows.size(); off > 0; off -= stride) out.append(rows, off - stride, stride);
  return out;
}

}  // namespace mv::test

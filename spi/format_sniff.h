// Recognising the formats the WIC plug-in reads by their first bytes, so
// that it claims only files it lists and never hands WIC anything else
// (a Windows bitmap, say, which Morvane reads itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mv::wic {

enum class Sniffed { Unknown, Png, Gif, Jpeg, Tiff, Ico };

// Bytes enough for every signature below.
constexpr std::size_t kSniffBytes = 8;

inline Sniffed SniffFormat(const std::uint8_t* p, std::size_t n) {
  if (!p) return Sniffed::Unknown;
  auto starts = [&](const char* sig, std::size_t len) { return n >= len && std::memcmp(p, sig, len) == 0; };
  if (starts("\x89PNG\r\n\x1a\n", 8)) return Sniffed::Png;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return Sniffed::Gif;
  // SOI followed by the first marker's 0xFF.
  if (starts("\xFF\xD8\xFF", 3)) return Sniffed::Jpeg;
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return Sniffed::Tiff;
  // Reserved 0, type 1 (icon, not cursor), and at least one image.
  if (starts("\0\0\1\0", 4) && n >= 6 && (p[4] | p[5]) != 0) return Sniffed::Ico;
  return Sniffed::Unknown;
}

}  // namespace mv::wic

// What the WIC plug-in says about itself: the interface version, its name,
// and extension filter / format name pairs for the formats it reads.
#pragma once

#include <cstddef>
#include <cstring>

namespace mv::wic {

inline constexpr const char* kPluginInfo[] = {
    "00IN",
    "Morvane WIC plug-in 1.0",
    "*.png", "PNG",
    "*.gif", "GIF",
    "*.jpg;*.jpeg;*.jpe", "JPEG",
    "*.tif;*.tiff", "TIFF",
    "*.ico", "ICO",
};
inline constexpr int kPluginInfoCount = static_cast<int>(sizeof(kPluginInfo) / sizeof(kPluginInfo[0]));

// Copies info text `number` into buf, cut to buf_len bytes with its
// terminator; answers the characters copied (terminator not counted), 0 for
// numbers it has no text for or a buffer with no room.
inline int CopyPluginInfo(int number, char* buf, int buf_len) {
  if (number < 0 || number >= kPluginInfoCount || !buf || buf_len <= 0) return 0;
  const char* text = kPluginInfo[number];
  std::size_t n = std::strlen(text);
  if (n > static_cast<std::size_t>(buf_len - 1)) n = static_cast<std::size_t>(buf_len - 1);
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace mv::wic

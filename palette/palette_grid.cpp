#include "palette/palette_grid.h"

namespace mv::grid {

int HitTest(int x, int y) {
  if (x < 0 || y < 0 || x >= kExtent || y >= kExtent) return -1;
  const int cx = x % kPitch, cy = y % kPitch;
  if (cx <= 0 || cx >= kCellSize - 1 || cy <= 0 || cy >= kCellSize - 1) return -1;
  return x / kPitch + kColumns * (y / kPitch);
}

int IndexLabelLeft(int index) {
  if (index < 10) return 100;
  if (index < 100) return 85;
  return 70;
}

int DecimalLabelLeft(Channel channel, int value) {
  static constexpr int kLefts[3][3] = {{184, 169, 154}, {273, 258, 243}, {361, 346, 331}};
  const int digits = value < 10 ? 0 : value < 100 ? 1 : 2;
  return kLefts[static_cast<int>(channel)][digits];
}

int HexLabelLeft(Channel channel) {
  static constexpr int kLefts[3] = {155, 243, 331};
  return kLefts[static_cast<int>(channel)];
}

std::string HexPair(int value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string{kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

}  // namespace mv::grid

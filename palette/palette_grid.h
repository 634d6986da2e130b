// The palette viewer's arithmetic: the 16 × 16 grid of cells on a 25-pixel
// pitch, which cell a point hits, and where the read-out labels go.
#pragma once

#include <cstdint>
#include <string>

namespace mv::grid {

inline constexpr int kColumns = 16;
inline constexpr int kCells = 256;
inline constexpr int kPitch = 25;
inline constexpr int kCellSize = 24;  // outline included
inline constexpr int kExtent = 399;   // the last cell ends at pixel 398

struct Cell {
  int left, top, right, bottom;  // right and bottom excluded
};

// Cell i lies in column i mod 16 and row i div 16.
constexpr Cell CellBounds(int index) {
  const int x = kPitch * (index % kColumns), y = kPitch * (index / kColumns);
  return Cell{x, y, x + kCellSize, y + kCellSize};
}

// The cell whose 22 × 22 interior holds the point, or -1 on an outline, in
// a gap or outside the grid (moves reported beyond the picture while a
// button is held are not cells).
int HitTest(int x, int y);

enum class Channel { Red, Green, Blue };

// Left edge of the index label: numbers of any length end at one place.
int IndexLabelLeft(int index);
// Left edge of a colour label in decimal, by the value's digits.
int DecimalLabelLeft(Channel channel, int value);
// Left edge of a colour label in hexadecimal (fixed).
int HexLabelLeft(Channel channel);

// Two capital hexadecimal digits, leading zero kept.
std::string HexPair(int value);

}  // namespace mv::grid

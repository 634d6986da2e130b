// The palette grid's geometry and the read-out's texts.
#include <gtest/gtest.h>

#include "palette/palette_grid.h"

using namespace mv::grid;

TEST(PaletteGrid, HitTestPoints) {
  EXPECT_EQ(HitTest(0, 0), -1);    // outline of cell 0
  EXPECT_EQ(HitTest(1, 1), 0);
  EXPECT_EQ(HitTest(22, 22), 0);
  EXPECT_EQ(HitTest(23, 5), -1);   // outline
  EXPECT_EQ(HitTest(24, 5), -1);   // gap
  EXPECT_EQ(HitTest(26, 1), 1);
  EXPECT_EQ(HitTest(1, 26), 16);
  EXPECT_EQ(HitTest(397, 397), 255);
  EXPECT_EQ(HitTest(398, 100), -1);
  EXPECT_EQ(HitTest(-24, 5), -1);  // negative coordinates never hit
  // Beyond the picture (a drag with the button held) is no cell.
  EXPECT_EQ(HitTest(401, 1), -1);
  EXPECT_EQ(HitTest(1, 426), -1);
}

TEST(PaletteGrid, EveryInteriorPixelHitsItsOwnCell) {
  for (int i = 0; i < kCells; ++i) {
    const Cell c = CellBounds(i);
    EXPECT_EQ(HitTest(c.left + 1, c.top + 1), i);
    EXPECT_EQ(HitTest(c.right - 2, c.bottom - 2), i);
    EXPECT_EQ(HitTest(c.left, c.top + 5), -1);
    EXPECT_EQ(HitTest(c.right - 1, c.top + 5), -1);
  }
}

TEST(PaletteGrid, HexTexts) {
  EXPECT_EQ(HexPair(0), "00");
  EXPECT_EQ(HexPair(10), "0A");
  EXPECT_EQ(HexPair(200), "C8");
  EXPECT_EQ(HexPair(255), "FF");
}

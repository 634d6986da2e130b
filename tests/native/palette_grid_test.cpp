// The palette grid's geometry and the read-out's label places and texts.
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
    EXPECT_EQ(c.right - c.left, 24);
    EXPECT_EQ(HitTest(c.left + 1, c.top + 1), i);
    EXPECT_EQ(HitTest(c.right - 2, c.bottom - 2), i);
    EXPECT_EQ(HitTest(c.left, c.top + 5), -1);
    EXPECT_EQ(HitTest(c.right - 1, c.top + 5), -1);
  }
  EXPECT_EQ(CellBounds(255).right, kExtent);  // its last pixel is 398
  EXPECT_EQ(CellBounds(16).top, 25);
}

TEST(PaletteGrid, LabelPlaces) {
  EXPECT_EQ(IndexLabelLeft(9), 100);
  EXPECT_EQ(IndexLabelLeft(10), 85);
  EXPECT_EQ(IndexLabelLeft(99), 85);
  EXPECT_EQ(IndexLabelLeft(100), 70);
  EXPECT_EQ(DecimalLabelLeft(Channel::Red, 255), 154);
  EXPECT_EQ(DecimalLabelLeft(Channel::Red, 10), 169);
  EXPECT_EQ(DecimalLabelLeft(Channel::Green, 0), 273);
  EXPECT_EQ(DecimalLabelLeft(Channel::Green, 100), 243);
  EXPECT_EQ(DecimalLabelLeft(Channel::Blue, 0), 361);
  EXPECT_EQ(DecimalLabelLeft(Channel::Blue, 99), 346);
  EXPECT_EQ(HexLabelLeft(Channel::Red), 155);
  EXPECT_EQ(HexLabelLeft(Channel::Green), 243);
  EXPECT_EQ(HexLabelLeft(Channel::Blue), 331);
}

TEST(PaletteGrid, HexTexts) {
  EXPECT_EQ(HexPair(0), "00");
  EXPECT_EQ(HexPair(10), "0A");
  EXPECT_EQ(HexPair(200), "C8");
  EXPECT_EQ(HexPair(255), "FF");
}

// The pictures drawn in code: shapes, colours, legibility of the figures.
#include "resources/pixel_art.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace mv::art;

namespace {

struct Box {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;  // inclusive
  bool empty() const { return right < left; }
};

Box BoundsOf(const Picture& p, std::uint32_t colour) {
  Box b;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.at(x, y) == colour) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
      }
  return b;
}

int Count(const Picture& p, std::uint32_t colour) {
  return static_cast<int>(std::count(p.bgra.begin(), p.bgra.end(), colour));
}

// Connected regions of pixels for which `in` holds, inside [x0,x1]×[y0,y1].
// Returns the number of regions; `touches_edge` counts those that reach the
// rectangle's edge.
int Regions(const Picture& p, const std::function<bool(std::uint32_t)>& in, bool eight, int x0,
            int y0, int x1, int y1, int* touches_edge = nullptr) {
  std::vector<char> seen(p.bgra.size(), 0);
  int regions = 0, edge = 0;
  for (int sy = y0; sy <= y1; ++sy)
    for (int sx = x0; sx <= x1; ++sx) {
      if (seen[sy * p.width + sx] || !in(p.at(sx, sy))) continue;
      ++regions;
      bool at_edge = false;
      std::vector<std::pair<int, int>> stack{{sx, sy}};
      seen[sy * p.width + sx] = 1;
      while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        if (x == x0 || x == x1 || y == y0 || y == y1) at_edge = true;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
            int nx = x + dx, ny = y + dy;
            if (nx < x0 || nx > x1 || ny < y0 || ny > y1) continue;
            if (seen[ny * p.width + nx] || !in(p.at(nx, ny))) continue;
            seen[ny * p.width + nx] = 1;
            stack.push_back({nx, ny});
          }
      }
      if (at_edge) ++edge;
    }
  if (touches_edge) *touches_edge = edge;
  return regions;
}

// Strokes of `ink` (8-connected) and the enclosed holes in them: a hole is a
// 4-connected region of other pixels around the ink that cannot reach the
// edge of the ink's bounding box grown by one pixel.
struct Topology {
  int strokes;
  int holes;
};
Topology TopologyOf(const Picture& p, std::uint32_t ink) {
  Box b = BoundsOf(p, ink);
  if (b.empty()) return {0, 0};
  int x0 = std::max(b.left - 1, 0), y0 = std::max(b.top - 1, 0);
  int x1 = std::min(b.right + 1, p.width - 1), y1 = std::min(b.bottom + 1, p.height - 1);
  int strokes = Regions(p, [&](std::uint32_t c) { return c == ink; }, true, x0, y0, x1, y1);
  int open = 0;
  int other = Regions(p, [&](std::uint32_t c) { return c != ink; }, false, x0, y0, x1, y1, &open);
  return {strokes, other - open};
}

// Every origin at which drawing `text` reproduces exactly the `ink` pixels.
std::vector<std::pair<int, int>> OriginsWhereTextMatches(const Picture& p, std::string_view text,
                                                         std::uint32_t ink, int sx, int sy) {
  std::vector<std::pair<int, int>> found;
  for (int oy = -kFontHeight * sy; oy < p.height; ++oy)
    for (int ox = -kFontWidth * sx; ox < p.width; ++ox) {
      Picture probe(p.width, p.height, kTransparent);
      DrawText(probe, ox, oy, text, ink, sx, sy);
      bool same = true;
      for (std::size_t i = 0; same && i < p.bgra.size(); ++i)
        same = (probe.bgra[i] == ink) == (p.bgra[i] == ink);
      if (same) found.push_back({ox, oy});
    }
  return found;
}

std::set<std::uint32_t> Colours(const Picture& p) { return {p.bgra.begin(), p.bgra.end()}; }

}  // namespace

// ---------------------------------------------------------------------------

TEST(PictureTest, ReadsAndWritesOutsideAreHarmless) {
  Picture p(3, 2, kWhite);
  ASSERT_EQ(p.bgra.size(), 6u);
  p.set(-1, 0, kRed);
  p.set(3, 1, kRed);
  p.set(0, 2, kRed);
  EXPECT_EQ(Count(p, kRed), 0);
  EXPECT_EQ(p.at(-1, 0), kTransparent);
  EXPECT_EQ(p.at(0, 5), kTransparent);
  p.fill(-5, -5, 2, 100, kRed);  // clipped to columns 0 and 1
  EXPECT_EQ(Count(p, kRed), 4);
  EXPECT_EQ(p.at(2, 0), kWhite);
  EXPECT_EQ(p.at(2, 1), kWhite);
  EXPECT_TRUE(Picture(-4, 3, kRed).empty());
  EXPECT_TRUE(Picture(-4, 3, kRed).bgra.empty());
}

TEST(PictureTest, Vga16IndexFindsOnlyTheSixteenOpaqueColours) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Vga16Index(kVga16[i]), i);
  EXPECT_EQ(Vga16Index(0xFF008081), -1);
  EXPECT_EQ(Vga16Index(kTransparent), -1);
  EXPECT_EQ(Vga16Index(kTeal & 0x00FFFFFF), -1);  // teal without alpha is not teal
  EXPECT_EQ(kVga16[6], 0xFF008080u);              // the glyphs' see-through colour
  EXPECT_EQ(std::set<std::uint32_t>(kVga16.begin(), kVga16.end()).size(), 16u);
}

TEST(PixelFontTest, HasEveryNeededCharacterAndNoTwoAlike) {
  const std::string needed = "0123456789?LOAD";
  std::set<std::vector<bool>> shapes;
  for (char c : needed) {
    ASSERT_TRUE(FontHas(c)) << c;
    std::vector<bool> bits;
    for (int r = 0; r < kFontHeight; ++r)
      for (int col = 0; col < kFontWidth; ++col) bits.push_back(FontPixel(c, col, r));
    EXPECT_NE(std::count(bits.begin(), bits.end(), true), 0) << c;
    shapes.insert(bits);
  }
  EXPECT_EQ(shapes.size(), needed.size());
  EXPECT_FALSE(FontHas('x'));
  EXPECT_FALSE(FontHas('\0'));
  EXPECT_FALSE(FontPixel('x', 0, 0));
  EXPECT_FALSE(FontPixel('8', -1, 0));
  EXPECT_FALSE(FontPixel('8', kFontWidth, 0));
  EXPECT_FALSE(FontPixel('8', 0, kFontHeight));
}

TEST(PixelFontTest, TextWidthAndScaledDrawing) {
  EXPECT_EQ(TextWidth(""), 0);
  EXPECT_EQ(TextWidth("8"), kFontWidth);
  EXPECT_EQ(TextWidth("16"), 2 * kFontWidth + kFontSpacing);

  // At scale 2 × 3 every font pixel is a full block and the second cell
  // starts (width + spacing) × 2 to the right.
  Picture p(40, 30, kWhite);
  DrawText(p, 1, 2, "4A", kBlack, 2, 3);
  for (int i = 0; i < 2; ++i) {
    char c = "4A"[i];
    int cell = 1 + i * (kFontWidth + kFontSpacing) * 2;
    for (int r = 0; r < kFontHeight; ++r)
      for (int col = 0; col < kFontWidth; ++col)
        for (int dy = 0; dy < 3; ++dy)
          for (int dx = 0; dx < 2; ++dx)
            ASSERT_EQ(p.at(cell + col * 2 + dx, 2 + r * 3 + dy) == kBlack, FontPixel(c, col, r))
                << c << " col " << col << " row " << r;
  }
  // Nothing outside the two cells.
  Box b = BoundsOf(p, kBlack);
  EXPECT_GE(b.left, 1);
  EXPECT_LE(b.right, 1 + TextWidth("4A") * 2 - 1);
  EXPECT_GE(b.top, 2);
  EXPECT_LE(b.bottom, 2 + kFontHeight * 3 - 1);

  // A character the font lacks leaves a blank cell but still advances.
  Picture q(20, 10, kWhite);
  DrawText(q, 0, 0, "x1", kBlack);
  EXPECT_EQ(BoundsOf(q, kBlack).left, kFontWidth + kFontSpacing + 1);  // '1' starts one column in
}

// ---------------------------------------------------------------------------

TEST(BitDepthIconTest, LabelsInDepthIconOrder) {
  const char* expected[] = {"1", "4", "8", "16", "24", "32", "?"};
  for (int i = 0; i < kBitDepthIconCount; ++i) EXPECT_EQ(BitDepthLabel(i), expected[i]);
  EXPECT_TRUE(BitDepthLabel(-1).empty());
  EXPECT_TRUE(BitDepthLabel(7).empty());
  EXPECT_TRUE(BitDepthIcon(-1).empty());
  EXPECT_TRUE(BitDepthIcon(7).empty());
}

TEST(BitDepthIconTest, BlackFrameWhiteFieldRedFigure) {
  for (int i = 0; i < kBitDepthIconCount; ++i) {
    SCOPED_TRACE(std::string(BitDepthLabel(i)));
    Picture p = BitDepthIcon(i);
    ASSERT_EQ(p.width, 16);
    ASSERT_EQ(p.height, 16);
    ASSERT_EQ(p.bgra.size(), 256u);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        std::uint32_t c = p.at(x, y);
        if (x == 0 || y == 0 || x == 15 || y == 15)
          ASSERT_EQ(c, kBlack) << x << "," << y;
        else
          ASSERT_TRUE(c == kWhite || c == kRed) << x << "," << y;
      }
    // The figure keeps at least one white pixel between itself and the
    // frame, and sits in the middle (an odd pixel left over is allowed).
    Box b = BoundsOf(p, kRed);
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.left, 2);
    EXPECT_GE(b.top, 2);
    EXPECT_LE(b.right, 13);
    EXPECT_LE(b.bottom, 13);
    EXPECT_LE(std::abs((b.left - 1) - (14 - b.right)), 1);
    EXPECT_LE(std::abs((b.top - 1) - (14 - b.bottom)), 1);
    // Legible: the full font height, and more than a dot or two of ink.
    EXPECT_EQ(b.bottom - b.top + 1, kFontHeight);
    EXPECT_GE(Count(p, kRed), 8);
  }
}

TEST(BitDepthIconTest, FigureIsTheLabelInThePixelFont) {
  for (int i = 0; i < kBitDepthIconCount; ++i) {
    SCOPED_TRACE(std::string(BitDepthLabel(i)));
    Picture p = BitDepthIcon(i);
    // Exactly one placement of the label's text reproduces the red pixels.
    auto origins = OriginsWhereTextMatches(p, BitDepthLabel(i), kRed, 1, 1);
    ASSERT_EQ(origins.size(), 1u);
    // ... and it is the same row for every icon, so a list of them lines up.
    EXPECT_EQ(origins[0].second, OriginsWhereTextMatches(BitDepthIcon(0), "1", kRed, 1, 1)[0].second);
  }
}

TEST(BitDepthIconTest, FiguresHaveTheShapesOfTheirDigits) {
  // Strokes and enclosed holes, counted on the red pixels alone: this holds
  // whatever the font's exact design, as long as the figures read right.
  struct Shape {
    int strokes, holes;
  } expected[] = {{1, 0}, {1, 1}, {1, 2}, {2, 1}, {2, 1}, {2, 0}, {2, 0}};
  for (int i = 0; i < kBitDepthIconCount; ++i) {
    SCOPED_TRACE(std::string(BitDepthLabel(i)));
    Topology t = TopologyOf(BitDepthIcon(i), kRed);
    EXPECT_EQ(t.strokes, expected[i].strokes);
    EXPECT_EQ(t.holes, expected[i].holes);
  }
}

TEST(BitDepthIconTest, EveryIconIsDistinct) {
  for (int i = 0; i < kBitDepthIconCount; ++i)
    for (int j = i + 1; j < kBitDepthIconCount; ++j)
      EXPECT_FALSE(BitDepthIcon(i) == BitDepthIcon(j)) << i << " vs " << j;
  EXPECT_TRUE(BitDepthIcon(3) == BitDepthIcon(3));  // and drawing is repeatable
}

// ---------------------------------------------------------------------------

TEST(LoadButtonTest, BlackWordOnYellowWithCutCorners) {
  Picture p = LoadButton();
  ASSERT_EQ(p.width, 30);
  ASSERT_EQ(p.height, 30);
  EXPECT_EQ(Colours(p), (std::set<std::uint32_t>{kTransparent, kBlack, kYellow}));
  // Transparent only at the four corners, each cut the same way.
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x)
      if (IsTransparent(p.at(x, y))) {
        int cx = std::min(x, 29 - x), cy = std::min(y, 29 - y);
        EXPECT_LT(cx + cy, 2) << x << "," << y;
      }
  for (auto [x, y] : {std::pair{0, 0}, {29, 0}, {0, 29}, {29, 29}})
    EXPECT_TRUE(IsTransparent(p.at(x, y))) << x << "," << y;
  EXPECT_EQ(Count(p, kTransparent), 12);
  // The yellow touches all four edges between the corners.
  EXPECT_EQ(p.at(15, 0), kYellow);
  EXPECT_EQ(p.at(0, 15), kYellow);
  EXPECT_EQ(p.at(29, 15), kYellow);
  EXPECT_EQ(p.at(15, 29), kYellow);
}

TEST(LoadButtonTest, WordReadsLoadAndIsCentred) {
  Picture p = LoadButton();
  Box b = BoundsOf(p, kBlack);
  ASSERT_FALSE(b.empty());
  EXPECT_GE(b.left, 2);
  EXPECT_GE(b.top, 2);
  EXPECT_LE(b.right, 27);
  EXPECT_LE(b.bottom, 27);
  EXPECT_LE(std::abs(b.left - (29 - b.right)), 1);
  EXPECT_LE(std::abs(b.top - (29 - b.bottom)), 1);
  EXPECT_GE(b.bottom - b.top + 1, 10);  // tall enough to read on a tool button
  // Four letters; O, A and D each enclose one hole.
  Topology t = TopologyOf(p, kBlack);
  EXPECT_EQ(t.strokes, 4);
  EXPECT_EQ(t.holes, 3);
  // The letters are the font's, stretched twice in height.
  EXPECT_EQ(OriginsWhereTextMatches(p, "LOAD", kBlack, 1, 2).size(), 1u);
}

// ---------------------------------------------------------------------------

TEST(TriangleGlyphTest, SixteenColoursOnTeal) {
  for (bool up : {true, false}) {
    SCOPED_TRACE(up ? "up" : "down");
    Picture p = TriangleGlyph(up);
    ASSERT_EQ(p.width, 20);
    ASSERT_EQ(p.height, 20);
    EXPECT_EQ(Colours(p),
              (std::set<std::uint32_t>{kTeal, kBlack, kWhite, kSilver, kGrey}));
    for (std::uint32_t c : p.bgra) ASSERT_GE(Vga16Index(c), 0);
    for (auto [x, y] : {std::pair{0, 0}, {19, 0}, {0, 19}, {19, 19}})
      EXPECT_EQ(p.at(x, y), kTeal) << x << "," << y;
    // One shape, no teal islands inside it: a single teal region touching
    // the edge.
    int at_edge = 0;
    EXPECT_EQ(Regions(p, [](std::uint32_t c) { return c == kTeal; }, false, 0, 0, 19, 19, &at_edge),
              1);
    EXPECT_EQ(at_edge, 1);
    // Outlined: whatever borders the teal is black.
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        if (p.at(x, y) == kTeal) continue;
        bool border = x == 0 || y == 0 || x == 19 || y == 19 || p.at(x - 1, y) == kTeal ||
                      p.at(x + 1, y) == kTeal || p.at(x, y - 1) == kTeal ||
                      p.at(x, y + 1) == kTeal;
        if (border) {
          EXPECT_EQ(p.at(x, y), kBlack) << x << "," << y;
        }
      }
    // Symmetric left to right.
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 10; ++x) ASSERT_EQ(p.at(x, y), p.at(19 - x, y)) << x << "," << y;
  }
}

TEST(TriangleGlyphTest, UpGoesWhiteSilverGreyToABlackBase) {
  Picture p = TriangleGlyph(true);
  auto first_row = [&](std::uint32_t c) { return BoundsOf(p, c).top; };
  auto last_row = [&](std::uint32_t c) { return BoundsOf(p, c).bottom; };
  Box shape;  // the non-teal pixels
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      if (p.at(x, y) != kTeal) {
        shape.left = std::min(shape.left, x);
        shape.right = std::max(shape.right, x);
        shape.top = std::min(shape.top, y);
        shape.bottom = std::max(shape.bottom, y);
      }
  // Bands from the tip down, none overlapping the next.
  EXPECT_LT(shape.top, first_row(kWhite));
  EXPECT_LT(last_row(kWhite), first_row(kSilver));
  EXPECT_LT(last_row(kSilver), first_row(kGrey));
  EXPECT_LT(last_row(kGrey), shape.bottom);
  // The base: the bottom row is black all the way across, and the widest.
  int width_at = -1;
  for (int y = shape.top; y <= shape.bottom; ++y) {
    int w = 0;
    for (int x = 0; x < 20; ++x) w += p.at(x, y) != kTeal;
    EXPECT_GE(w, width_at) << "row " << y << " narrower than the one above";
    width_at = w;
  }
  for (int x = shape.left; x <= shape.right; ++x) EXPECT_EQ(p.at(x, shape.bottom), kBlack);
  EXPECT_GE(shape.right - shape.left + 1, 14);  // a shape that fills the glyph
  EXPECT_GE(shape.bottom - shape.top + 1, 7);
}

TEST(TriangleGlyphTest, DownIsUpTurnedUpsideDown) {
  Picture up = TriangleGlyph(true), down = TriangleGlyph(false);
  EXPECT_FALSE(up == down);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(down.at(x, y), up.at(x, 19 - y)) << x << "," << y;
}

// ---------------------------------------------------------------------------

TEST(FormIconTest, SizesAndColours) {
  for (FormIconKind kind : {FormIconKind::MainWindow, FormIconKind::PluginDialog}) {
    for (int size : {16, 32}) {
      SCOPED_TRACE(size);
      Picture p = FormIcon(kind, size);
      ASSERT_EQ(p.width, size);
      ASSERT_EQ(p.height, size);
      for (std::uint32_t c : p.bgra) ASSERT_TRUE(c == kTransparent || Vga16Index(c) >= 0) << c;
      EXPECT_GE(Colours(p).size(), 4u);  // a picture, not a blot
    }
    // The two sizes are the same design: the same colours.
    EXPECT_EQ(Colours(FormIcon(kind, 16)), Colours(FormIcon(kind, 32)));
    for (int size : {0, -16, 15, 24, 33, 80}) EXPECT_TRUE(FormIcon(kind, size).empty()) << size;
  }
  EXPECT_FALSE(FormIcon(FormIconKind::MainWindow, 32) == FormIcon(FormIconKind::PluginDialog, 32));
}

TEST(FormIconTest, MainWindowIsAFramedPictureAndDialogAPlug) {
  Picture frame = FormIcon(FormIconKind::MainWindow, 32);
  EXPECT_EQ(Count(frame, kTransparent), 0);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(frame.at(i, 0), kBlack);
    EXPECT_EQ(frame.at(i, 31), kBlack);
    EXPECT_EQ(frame.at(0, i), kBlack);
    EXPECT_EQ(frame.at(31, i), kBlack);
  }
  // Sky above, land below, in the middle of the frame.
  EXPECT_EQ(frame.at(10, 8), kAqua);
  EXPECT_NE(frame.at(16, 24), kAqua);

  Picture plug = FormIcon(FormIconKind::PluginDialog, 32);
  for (auto [x, y] : {std::pair{0, 0}, {31, 0}, {0, 31}, {31, 31}})
    EXPECT_TRUE(IsTransparent(plug.at(x, y))) << x << "," << y;
  EXPECT_FALSE(IsTransparent(plug.at(16, 16)));
  // One opaque piece: prongs, body, neck and cable hang together.
  EXPECT_EQ(Regions(plug, [](std::uint32_t c) { return !IsTransparent(c); }, false, 0, 0, 31, 31),
            1);
  EXPECT_GT(Count(plug, kSilver), 0);  // the prongs
}

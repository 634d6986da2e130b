#include "image/bmp_render.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/page_guard.h"
#include "tests/support/bmp_builder.h"

namespace mv {
namespace {

using test::BmpSpec;
using test::BuildBmp;
using test::PackRows;
using test::U8;

constexpr std::uint32_t kBlack = 0xFF000000;

// Renders a file held so that it ends at a guard page.
std::vector<std::uint32_t> Render(const std::string& f, BmpLayout* layoutOut = nullptr) {
  test::PageGuard guard(f.size());
  const std::uint8_t* p = guard.Load(f.data(), f.size());
  const BmpLayout l = ParseBmpLayout(p, f.size());
  if (layoutOut) *layoutOut = l;
  EXPECT_TRUE(l.ok) << BmpRefusalName(l.refusal);
  std::vector<std::uint32_t> out(BgraPixelCount(l), 0x12345678);
  EXPECT_TRUE(RenderBgra(l, p, f.size(), out.data()));
  return out;
}

TEST(ScaleChannel, WidensByRepeatingBitsAndNarrowsByDropping) {
  EXPECT_EQ(ScaleChannel(0, 0), 0);
  EXPECT_EQ(ScaleChannel(1, 1), 255);
  EXPECT_EQ(ScaleChannel(1, 2), 0x55);
  EXPECT_EQ(ScaleChannel(2, 2), 0xAA);
  EXPECT_EQ(ScaleChannel(4, 3), 0x92);
  EXPECT_EQ(ScaleChannel(1, 5), 8);           // (1 << 3) | (1 >> 2)
  EXPECT_EQ(ScaleChannel(0x10, 5), 0x84);
  EXPECT_EQ(ScaleChannel(31, 5), 255);
  EXPECT_EQ(ScaleChannel(1, 6), 4);
  EXPECT_EQ(ScaleChannel(63, 6), 255);
  EXPECT_EQ(ScaleChannel(0xAB, 8), 0xAB);
  EXPECT_EQ(ScaleChannel(0x3FF, 10), 255);
  EXPECT_EQ(ScaleChannel(0x200, 10), 0x80);
  EXPECT_EQ(ScaleChannel(0x3FFFF, 18), 255);
  EXPECT_EQ(ScaleChannel(0xFFFFFFFF, 32), 255);
}

TEST(Linear16ToSrgb8, ClampsThenFollowsTheSrgbCurveRounded) {
  EXPECT_EQ(Linear16ToSrgb8(0), 0);
  EXPECT_EQ(Linear16ToSrgb8(8192), 255);    // 1.0
  EXPECT_EQ(Linear16ToSrgb8(-1), 0);
  EXPECT_EQ(Linear16ToSrgb8(INT16_MIN), 0);
  EXPECT_EQ(Linear16ToSrgb8(8193), 255);
  EXPECT_EQ(Linear16ToSrgb8(INT16_MAX), 255);
  EXPECT_EQ(Linear16ToSrgb8(4096), 188);    // 0.5: 187.52, rounded rather than cut
  EXPECT_EQ(Linear16ToSrgb8(2048), 137);    // 0.25: 136.96
  // Linear part: 12.92 * 10/8192 * 255 = 4.02 (the power part would give 2).
  EXPECT_EQ(Linear16ToSrgb8(10), 4);
}

TEST(RenderBgra, IndexedRowsThroughTheTableBottomUp) {
  for (std::uint16_t bpp : {1, 2, 4, 8}) {
    BmpSpec recipe;
    recipe.bitCount = bpp;
    recipe.width = 5;
    recipe.height = 2;
    const std::uint32_t n = 1u << bpp;
    recipe.palette.clear();
    for (std::uint32_t i = 0; i < n; ++i) recipe.palette.push_back((0x010203 * (i + 1)) & 0xFFFFFF);
    const std::uint32_t hi = n - 1;
    // File order: bottom row first.
    recipe.pixels = PackRows({{0, 1, 0, 1, hi}, {hi, 0, 0, 1, 1}}, bpp);
    const std::vector<std::uint32_t> px = Render(BuildBmp(recipe));
    auto c = [](std::uint32_t i) { return kBlack | ((0x010203 * (i + 1)) & 0xFFFFFF); };
    const std::vector<std::uint32_t> expect = {c(hi), c(0), c(0), c(1), c(1),   // top
                                               c(0), c(1), c(0), c(1), c(hi)};  // bottom
    EXPECT_EQ(px, expect) << bpp << " bits";
  }
}

TEST(RenderBgra, TopDownRowsStayInOrder) {
  BmpSpec recipe;
  recipe.bitCount = 24;
  recipe.width = 2;
  recipe.height = -2;
  recipe.pixels = PackRows({{0x112233, 0x445566}, {0x778899, 0xAABBCC}}, 24);
  const std::vector<std::uint32_t> px = Render(BuildBmp(recipe));
  EXPECT_EQ(px, (std::vector<std::uint32_t>{0xFF112233, 0xFF445566, 0xFF778899, 0xFFAABBCC}));
}

TEST(RenderBgra, IndicesPastAShortTableAreBlack) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.width = 4;
  recipe.height = 1;
  recipe.palette = {0xFF0000, 0x00FF00};
  recipe.pixels = PackRows({{0, 1, 2, 255}}, 8);
  const std::vector<std::uint32_t> px = Render(BuildBmp(recipe));
  EXPECT_EQ(px, (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, kBlack, kBlack}));
}

TEST(RenderBgra, OffsetInsideTheTableBlacksTheCutEntries) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.width = 3;
  recipe.height = 1;
  recipe.palette = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
  recipe.clrUsed = 4;
  // Pixels start at entry 2: its bytes double as pixel data.
  std::string f = BuildBmp(recipe);
  const std::uint32_t off = 14 + 40 + 8;
  test::Put32(f, test::kOffBfOffBits, off);
  f[off] = 0;
  f[off + 1] = 1;
  f[off + 2] = 2;
  BmpLayout l;
  const std::vector<std::uint32_t> px = Render(f, &l);
  EXPECT_EQ(l.colorsPresent, 2u);
  EXPECT_EQ(px, (std::vector<std::uint32_t>{0xFF0000FF, 0xFF00FF00, kBlack}));
}

TEST(RenderBgra, SixteenBitDefaultAndFields) {
  BmpSpec recipe;
  recipe.bitCount = 16;
  recipe.width = 4;
  recipe.height = 1;
  recipe.pixels = PackRows({{0x7FFF, 0x7C00, 0x0001, 0x8000}}, 16);  // top bit unused
  EXPECT_EQ(Render(BuildBmp(recipe)),
            (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFFFF0000, 0xFF000008, kBlack}));

  recipe.compression = kBiBitfields;  // 5-6-5
  recipe.pixels = PackRows({{0xFFFF, 0x07E0, 0x0020, 0xF800}}, 16);
  EXPECT_EQ(Render(BuildBmp(recipe)),
            (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFF00FF00, 0xFF000400, 0xFFFF0000}));

  // 2-3-1 in the low bits, as an odd file would have it.
  recipe.masks = std::vector<std::uint32_t>{0x30, 0x0E, 0x01, 0};
  recipe.pixels = PackRows({{0x3F, 0x10, 0x08, 0x01}}, 16);
  EXPECT_EQ(Render(BuildBmp(recipe)),
            (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFF550000, 0xFF009200, 0xFF0000FF}));
}

TEST(RenderBgra, TwentyFourAndThirtyTwoBits) {
  BmpSpec recipe;
  recipe.bitCount = 24;
  recipe.width = 3;
  recipe.height = 1;
  recipe.pixels = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0, 0, 0};  // B G R
  EXPECT_EQ(Render(BuildBmp(recipe)),
            (std::vector<std::uint32_t>{0xFF030201, 0xFF060504, 0xFF090807}));

  recipe.bitCount = 32;
  recipe.width = 2;
  recipe.pixels = PackRows({{0x7F112233, 0x00AABBCC}}, 32);  // BI_RGB: top byte ignored
  EXPECT_EQ(Render(BuildBmp(recipe)), (std::vector<std::uint32_t>{0xFF112233, 0xFFAABBCC}));

  // Alpha mask in a V5 header, channels in an unusual order.
  recipe.headerSize = 124;
  recipe.compression = kBiBitfields;
  recipe.masks = std::vector<std::uint32_t>{0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
  recipe.pixels = PackRows({{0x80332211, 0x00CCBBAA}}, 32);
  EXPECT_EQ(Render(BuildBmp(recipe)), (std::vector<std::uint32_t>{0x80112233, 0x00AABBCC}));

  // 10-10-10 fields keep their top 8 bits.
  recipe.headerSize = 40;
  recipe.masks = std::vector<std::uint32_t>{0x3FF00000, 0x000FFC00, 0x000003FF, 0};
  recipe.pixels = PackRows({{0x3FFFFFFF, (0x200u << 20) | (0x004u << 10) | 0x3FCu}}, 32);
  EXPECT_EQ(Render(BuildBmp(recipe)), (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFF8001FF}));
}

TEST(RenderBgra, SixtyFourBitsInEitherRowOrder) {
  using test::Pixel64;
  BmpSpec recipe;
  recipe.bitCount = 64;
  recipe.width = 3;
  recipe.height = 2;
  recipe.palette = {0x123456, 0x654321};  // an optional table: skipped
  // File order, bottom row first. Channels B, G, R, A; alpha never shows.
  recipe.pixels = test::PackRows64({{Pixel64{8192, 0, 0, 0}, Pixel64{4096, 4096, 4096, 8192},
                                     Pixel64{-100, 9000, 2048, -1}},
                                    {Pixel64{0, 0, 8192, 4096}, Pixel64{10, 0, 0, 0},
                                     Pixel64{0, 8192, 0, 0}}});
  const std::vector<std::uint32_t> first = {0xFF0000FF, 0xFFBCBCBC, 0xFF89FF00};
  const std::vector<std::uint32_t> second = {0xFFFF0000, 0xFF000004, 0xFF00FF00};
  std::vector<std::uint32_t> expect = second;
  expect.insert(expect.end(), first.begin(), first.end());
  EXPECT_EQ(Render(BuildBmp(recipe)), expect);

  recipe.height = -2;  // the same bytes top-down: the first row is the top
  expect = first;
  expect.insert(expect.end(), second.begin(), second.end());
  EXPECT_EQ(Render(BuildBmp(recipe)), expect);
}

TEST(RenderBgra, CutShortSixtyFourBitFileKeepsItsWholeRows) {
  BmpSpec recipe;
  recipe.bitCount = 64;
  recipe.width = 2;
  recipe.height = 3;
  recipe.pixels = test::PackRows64({{{8192, 0, 0, 0}, {8192, 0, 0, 0}},
                                    {{0, 8192, 0, 0}, {0, 8192, 0, 0}},
                                    {{0, 0, 8192, 0}, {0, 0, 8192, 0}}});
  std::string f = BuildBmp(recipe);
  f.resize(f.size() - 9);  // the top row loses its last pixel and a byte
  BmpLayout l;
  const std::vector<std::uint32_t> px = Render(f, &l);
  EXPECT_EQ(l.rowsPresent, 2u);
  EXPECT_FALSE(l.complete);
  EXPECT_EQ(px, (std::vector<std::uint32_t>{kBlack, kBlack, 0xFF00FF00, 0xFF00FF00, 0xFF0000FF,
                                            0xFF0000FF}));
}

TEST(RenderBgra, Os2CoreHeaderWithThreeByteEntries) {
  BmpSpec recipe;
  recipe.headerSize = 12;
  recipe.bitCount = 4;
  recipe.width = 3;
  recipe.height = 1;
  recipe.palette.assign(16, 0);
  recipe.palette[3] = 0x123456;
  recipe.palette[15] = 0xABCDEF;
  recipe.pixels = PackRows({{3, 15, 0}}, 4);
  EXPECT_EQ(Render(BuildBmp(recipe)), (std::vector<std::uint32_t>{0xFF123456, 0xFFABCDEF, kBlack}));
}

TEST(RenderBgra, RleThroughTheTableWithUnreachedPixelsAtIndexZero) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.compression = kBiRle8;
  recipe.width = 3;
  recipe.height = 2;
  recipe.palette = {0x0000FF, 0x00FF00, 0xFF0000};
  recipe.pixels = {2, 1, 0, 0, 0, 2, 2, 0, 1, 2, 0, 1};  // bottom: 1 1 _, top: _ _ 2
  EXPECT_EQ(Render(BuildBmp(recipe)),
            (std::vector<std::uint32_t>{0xFF0000FF, 0xFF0000FF, 0xFFFF0000,  // top
                                        0xFF00FF00, 0xFF00FF00, 0xFF0000FF}));

  recipe.bitCount = 4;
  recipe.compression = kBiRle4;
  recipe.height = 1;
  recipe.pixels = {3, 0x21, 0, 1};
  EXPECT_EQ(Render(BuildBmp(recipe)), (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFFFF0000}));
}

TEST(RenderBgra, RleBoundedBySizeImage) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.compression = kBiRle8;
  recipe.width = 2;
  recipe.height = 1;
  recipe.palette = {0x000000, 0xFFFFFF};
  recipe.pixels = {1, 1, 1, 1, 0, 1};
  recipe.sizeImage = 2;  // only the first run counts
  EXPECT_EQ(Render(BuildBmp(recipe)), (std::vector<std::uint32_t>{0xFFFFFFFF, kBlack}));
}

TEST(RenderBgra, MissingRowsAreBlack) {
  BmpSpec recipe;
  recipe.bitCount = 24;
  recipe.width = 1;
  recipe.height = 3;
  recipe.pixels = PackRows({{0x0000FF}, {0x00FF00}, {0xFF0000}}, 24);
  std::string f = BuildBmp(recipe);
  f.resize(f.size() - 3);  // the top row is cut (one byte of it stays)
  BmpLayout l;
  std::vector<std::uint32_t> px = Render(f, &l);
  EXPECT_EQ(l.rowsPresent, 2u);
  EXPECT_FALSE(l.complete);
  EXPECT_EQ(px, (std::vector<std::uint32_t>{kBlack, 0xFF00FF00, 0xFF0000FF}));

  recipe.height = -3;  // top-down: the bottom is what goes missing
  f = BuildBmp(recipe);
  f.resize(f.size() - 4);
  px = Render(f, &l);
  EXPECT_EQ(px, (std::vector<std::uint32_t>{0xFF0000FF, 0xFF00FF00, kBlack}));

  f.resize(l.pixelOffset);  // no rows at all
  px = Render(f, &l);
  EXPECT_EQ(px, (std::vector<std::uint32_t>(3, kBlack)));
}

// Any part renders as that part of the whole picture, here into a bottom-up
// target as the viewer's bitmap is; a part reaching outside is refused.
TEST(RenderBgraPart, IsTheWholePictureCropped) {
  constexpr std::uint8_t w = 37, h = 23;
  for (std::uint16_t bpp : {2, 4, 8, 64}) {
    BmpSpec recipe;
    recipe.bitCount = bpp;
    recipe.width = w;
    recipe.height = bpp == 64 ? -h : h;
    if (bpp == 4 || bpp == 8) {  // per row an encoded run, an absolute run, a delta, a run past the end
      recipe.compression = bpp == 8 ? kBiRle8 : kBiRle4;
      using B = std::uint8_t;
      for (B y = 0; y < h - 4; ++y)
        recipe.pixels.insert(recipe.pixels.end(), {B(y % 5 + 2), B(y * 37 + 3), 0, 5, y, 0x9A, 0x5C, B(y * 3), 0x71, 0,
                                                   0, 2, 3, 0, w, B(y + 11), 0, 0});
      recipe.pixels.insert(recipe.pixels.end(), {0, 1});  // the top rows are left to end-of-bitmap
    }
    std::string f = BuildBmp(recipe);
    if (bpp == 64) f.resize(f.size() - 8 * w * 3);  // top-down, cut: the bottom rows are black
    BmpLayout l;
    const std::vector<std::uint32_t> whole = Render(f, &l);
    test::PageGuard guard(f.size());
    const std::uint8_t* p = guard.Load(f.data(), f.size());
    for (const PixelRect& part : {PixelRect{1, 2, 5, 7}, PixelRect{3, 0, w - 3, 1}, PixelRect{10, 5, 17, 13}}) {
      std::vector<std::uint8_t> scratch(PartScratchBytes(l, part));
      std::vector<std::uint32_t> crop, out(std::size_t{part.width} * part.height);
      for (std::uint32_t y = part.top + part.height; y-- > part.top;)
        crop.insert(crop.end(), &whole[y * w + part.left], &whole[y * w + part.left + part.width]);
      const std::ptrdiff_t pitch = part.width;
      ASSERT_TRUE(RenderBgraPart(l, p, f.size(), part, scratch.data(), &out[(part.height - 1) * pitch], -pitch));
      EXPECT_EQ(out, crop) << bpp << " bits, part at " << part.left << "," << part.top;
    }
    std::uint32_t px[2];
    EXPECT_FALSE(RenderBgraPart(l, p, f.size(), PixelRect{w - 1, 0, 2, 1}, nullptr, px, 2));
  }
}

TEST(RenderBgra, RefusesLayoutsThatDoNotFitTheBytes) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  const std::string f = BuildBmp(recipe);
  const BmpLayout l = ParseBmpLayout(U8(f), f.size());
  std::vector<std::uint32_t> out(BgraPixelCount(l));
  test::PageGuard guard(f.size());
  const std::size_t cut = f.size() - 3;
  const std::uint8_t* p = guard.Load(f.data(), cut);
  EXPECT_FALSE(RenderBgra(l, p, cut, out.data()));
  EXPECT_FALSE(RenderBgra(BmpLayout{}, U8(f), f.size(), out.data()));
  EXPECT_FALSE(RenderBgra(l, nullptr, f.size(), out.data()));
  EXPECT_FALSE(RenderBgra(l, U8(f), f.size(), nullptr));
  EXPECT_EQ(BgraPixelCount(BmpLayout{}), 0u);

  BmpSpec rle;
  rle.bitCount = 8;
  rle.compression = kBiRle8;
  rle.pixels = {4, 1, 0, 1};
  const std::string r = BuildBmp(rle);
  const BmpLayout rl = ParseBmpLayout(U8(r), r.size());
  p = guard.Load(r.data(), r.size() - 2);
  EXPECT_FALSE(RenderBgra(rl, p, r.size() - 2, out.data()));
}

}  // namespace
}  // namespace mv

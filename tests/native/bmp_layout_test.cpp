#include "image/bmp_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/page_guard.h"
#include "tests/support/bmp_builder.h"

namespace mv {
namespace {

using test::BmpSpec;
using test::BuildBmp;
using test::Put16;
using test::Put32;
using test::U8;

BmpLayout Parse(const std::string& s) { return ParseBmpLayout(U8(s), s.size()); }

struct Variant {
  std::uint32_t headerSize;
  std::uint16_t bitCount;
  std::uint32_t compression;
};

class LayoutVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(LayoutVariants, ReportsFieldsOfEachHeaderForm) {
  const Variant v = GetParam();
  BmpSpec recipe;
  recipe.headerSize = v.headerSize;
  recipe.bitCount = v.bitCount;
  recipe.compression = v.compression;
  recipe.width = 13;
  recipe.height = 7;
  if (v.compression == kBiRle8) recipe.pixels = {2, 5, 0, 0, 0, 1};
  if (v.compression == kBiRle4) recipe.pixels = {3, 0x12, 0, 1};
  const std::string f = BuildBmp(recipe);
  const BmpLayout l = Parse(f);
  ASSERT_TRUE(l.ok) << BmpRefusalName(l.refusal);

  EXPECT_EQ(l.headerSize, v.headerSize);
  EXPECT_EQ(l.os2Core, v.headerSize == 12);
  EXPECT_EQ(l.width, 13);
  EXPECT_EQ(l.height, 7);
  EXPECT_FALSE(l.topDown);
  EXPECT_EQ(l.absHeight, 7u);
  EXPECT_EQ(l.planes, 1);
  EXPECT_EQ(l.bitCount, v.bitCount);
  EXPECT_EQ(l.compression, v.compression);
  EXPECT_EQ(l.stride, (13u * v.bitCount + 31) / 32 * 4);
  EXPECT_EQ(l.pixelBytesNeeded, l.stride * 7);

  std::uint64_t tableAt = 14 + v.headerSize;
  if (v.headerSize == 40 && v.compression == kBiBitfields) tableAt += 12;
  if (v.headerSize == 40 && v.compression == kBiAlphaBitfields) tableAt += 16;
  EXPECT_EQ(l.colorTableOffset, tableAt);
  const std::uint32_t entry = v.headerSize == 12 ? 3 : 4;
  EXPECT_EQ(l.colorEntrySize, entry);
  const std::uint32_t colors = v.bitCount <= 8 ? 1u << v.bitCount : 0;
  EXPECT_EQ(l.colorCount, colors);
  EXPECT_EQ(l.colorsPresent, colors);
  EXPECT_EQ(l.pixelOffset, tableAt + std::uint64_t{colors} * entry);

  if (l.isRle()) {
    EXPECT_EQ(l.rleBytes, recipe.pixels.size());
    EXPECT_EQ(l.rowsPresent, 0u);
  } else {
    EXPECT_EQ(l.rowsPresent, 7u);
    EXPECT_EQ(l.pixelBytesPresent, l.pixelBytesNeeded);
  }
  EXPECT_TRUE(l.complete);
  EXPECT_EQ(l.hasMasks, v.bitCount == 16 || v.bitCount == 32);
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, LayoutVariants,
    ::testing::Values(Variant{12, 1, 0}, Variant{12, 4, 0}, Variant{12, 8, 0}, Variant{12, 24, 0},
                      Variant{16, 8, 0}, Variant{20, 4, 0}, Variant{36, 8, 0}, Variant{64, 8, 0},
                      Variant{64, 8, 1}, Variant{64, 24, 0}, Variant{40, 1, 0}, Variant{40, 2, 0},
                      Variant{40, 4, 0}, Variant{40, 8, 0}, Variant{40, 16, 0}, Variant{40, 24, 0},
                      Variant{40, 32, 0}, Variant{40, 8, 1}, Variant{40, 4, 2}, Variant{40, 16, 3},
                      Variant{40, 32, 3}, Variant{40, 32, 6}, Variant{52, 32, 3}, Variant{56, 16, 3},
                      Variant{108, 8, 0}, Variant{108, 32, 3}, Variant{124, 4, 0},
                      Variant{124, 16, 3}, Variant{124, 24, 0}, Variant{124, 8, 1},
                      Variant{40, 64, 0}, Variant{124, 64, 0}));

TEST(BmpLayout, TopDownKeepsTheStoredSign) {
  BmpSpec recipe;
  recipe.height = -5;
  recipe.bitCount = 8;
  const BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.height, -5);
  EXPECT_TRUE(l.topDown);
  EXPECT_EQ(l.absHeight, 5u);
  EXPECT_EQ(l.rowsPresent, 5u);
}

TEST(BmpLayout, CoreHeaderSizesAreUnsigned16Bit) {
  BmpSpec recipe;
  recipe.headerSize = 12;
  recipe.bitCount = 1;
  recipe.width = 40000;  // stored as 16 bits: above INT16_MAX is still positive
  recipe.height = 3;
  const BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok) << BmpRefusalName(l.refusal);
  EXPECT_EQ(l.width, 40000);
  EXPECT_FALSE(l.topDown);
}

TEST(BmpLayout, MasksComeFromTheRightPlace) {
  BmpSpec recipe;
  recipe.bitCount = 16;
  recipe.compression = kBiBitfields;
  recipe.masks = std::vector<std::uint32_t>{0x0F00, 0x00F0, 0x000F, 0};
  BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.masks.red, 0x0F00u);
  EXPECT_EQ(l.masks.green, 0x00F0u);
  EXPECT_EQ(l.masks.blue, 0x000Fu);
  EXPECT_EQ(l.masks.alpha, 0u);

  recipe.headerSize = 124;
  recipe.bitCount = 32;
  recipe.masks = std::vector<std::uint32_t>{0xFF, 0xFF00, 0xFF0000, 0xFF000000};
  l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.masks.red, 0xFFu);
  EXPECT_EQ(l.masks.blue, 0xFF0000u);
  EXPECT_EQ(l.masks.alpha, 0xFF000000u);
  EXPECT_EQ(l.colorTableOffset, 14u + 124);

  recipe.headerSize = 40;
  recipe.compression = kBiAlphaBitfields;
  l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.masks.alpha, 0xFF000000u);
  EXPECT_EQ(l.colorTableOffset, 14u + 40 + 16);
}

TEST(BmpLayout, BiRgbUsesDefaultMasksWhateverTheHeaderHolds) {
  BmpSpec recipe;
  recipe.headerSize = 124;
  recipe.bitCount = 16;
  recipe.masks = std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F, 0};  // ignored: BI_RGB
  BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.masks.red, 0x7C00u);
  EXPECT_EQ(l.masks.green, 0x03E0u);
  EXPECT_EQ(l.masks.blue, 0x001Fu);

  recipe.bitCount = 32;
  recipe.masks = std::vector<std::uint32_t>{0xFF, 0xFF00, 0xFF0000, 0xFF000000};
  l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.masks.red, 0xFF0000u);
  EXPECT_EQ(l.masks.blue, 0xFFu);
  EXPECT_EQ(l.masks.alpha, 0u);
}

TEST(BmpLayout, ColourCountFollowsClrUsedOnlyWithinRange) {
  struct Case { std::uint16_t bpp; std::uint32_t clrUsed; std::uint32_t expect; };
  for (const Case c : {Case{8, 0, 256}, Case{8, 2, 2}, Case{8, 256, 256}, Case{8, 257, 256},
                       Case{8, 0x12345678, 256}, Case{1, 1, 1}, Case{1, 3, 2}, Case{4, 12, 12},
                       Case{2, 0, 4}}) {
    BmpSpec recipe;
    recipe.bitCount = c.bpp;
    recipe.palette.assign(c.expect, 0x123456);
    recipe.clrUsed = c.clrUsed;
    const BmpLayout l = Parse(BuildBmp(recipe));
    ASSERT_TRUE(l.ok) << c.bpp << " " << c.clrUsed;
    EXPECT_EQ(l.colorCount, c.expect) << c.bpp << " " << c.clrUsed;
    EXPECT_EQ(l.colorsPresent, c.expect);
  }
}

TEST(BmpLayout, TableStopsWherePixelsBegin) {
  // The header says 256 colours; the pixels begin after 10 of them.
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.palette.assign(10, 0x00FF00);
  recipe.clrUsed = 0;
  BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.colorCount, 256u);
  EXPECT_EQ(l.colorsPresent, 10u);

  // An offset inside the table (not on an entry boundary) cuts it there.
  recipe.palette.assign(256, 0x00FF00);
  recipe.offBits = 14 + 40 + 4 * 3 + 2;
  l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.colorsPresent, 3u);
  EXPECT_EQ(l.pixelOffset, 14u + 40 + 14);

  // OS/2 core headers have no count: the offset alone bounds the table.
  BmpSpec os2;
  os2.headerSize = 12;
  os2.bitCount = 8;
  os2.palette.assign(100, 0x0000FF);
  l = Parse(BuildBmp(os2));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.colorCount, 256u);
  EXPECT_EQ(l.colorsPresent, 100u);
}

TEST(BmpLayout, GapBeforePixelsHonoursOffset) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.gapBeforePixels = 100;
  const std::string f = BuildBmp(recipe);
  const BmpLayout l = Parse(f);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.pixelOffset, 14u + 40 + 1024 + 100);
  EXPECT_EQ(l.colorsPresent, 256u);
  EXPECT_TRUE(l.complete);
}

TEST(BmpLayout, IgnoresBfSizeAndUncompressedSizeImage) {
  BmpSpec recipe;
  recipe.bitCount = 24;
  recipe.fileSize = 0xFFFFFFFF;
  recipe.sizeImage = 0xFFFFFFF0;
  const BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_TRUE(l.complete);
  EXPECT_EQ(l.pixelBytesPresent, l.pixelBytesNeeded);
}

TEST(BmpLayout, RleLengthIsSizeImageBoundedByTheFile) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.compression = kBiRle8;
  recipe.pixels = {4, 1, 0, 0, 4, 2, 0, 1};
  recipe.sizeImage = 4;
  BmpLayout l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.rleBytes, 4u);
  EXPECT_TRUE(l.complete);

  recipe.sizeImage = 0;  // unknown: the rest of the file
  l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.rleBytes, 8u);
  EXPECT_TRUE(l.complete);

  recipe.sizeImage = 0x7FFFFFFF;  // claims far more than the file has
  l = Parse(BuildBmp(recipe));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.rleBytes, 8u);
  EXPECT_FALSE(l.complete);
}

struct Refusal {
  const char* what;
  BmpSpec recipe;
  std::size_t patchAt;  // 0: no patch
  std::uint32_t patchValue;
  int patchWidth;       // 2 or 4
  BmpRefusal expect;
};

BmpSpec With(void (*f)(BmpSpec&)) {
  BmpSpec s;
  s.bitCount = 8;
  f(s);
  return s;
}

TEST(BmpLayout, RefusesEachBadField) {
  const std::vector<Refusal> cases = {
      {"header size 0", With([](BmpSpec&) {}), test::kOffBiSize, 0, 4, BmpRefusal::BadHeaderSize},
      {"header size 13", With([](BmpSpec&) {}), test::kOffBiSize, 13, 4, BmpRefusal::BadHeaderSize},
      {"header size 66", With([](BmpSpec& s) { s.headerSize = 66; }), 0, 0, 0, BmpRefusal::BadHeaderSize},
      {"header size 100", With([](BmpSpec& s) { s.headerSize = 100; }), 0, 0, 0, BmpRefusal::BadHeaderSize},
      {"header size 128", With([](BmpSpec& s) { s.headerSize = 128; }), 0, 0, 0, BmpRefusal::BadHeaderSize},
      {"header size 65535", With([](BmpSpec&) {}), test::kOffBiSize, 0xFFFF, 4, BmpRefusal::BadHeaderSize},
      {"width 0", With([](BmpSpec& s) { s.width = 0; }), 0, 0, 0, BmpRefusal::BadWidth},
      {"width -1", With([](BmpSpec& s) { s.width = 1; }), test::kOffBiWidth, 0xFFFFFFFF, 4, BmpRefusal::BadWidth},
      {"core width 0", With([](BmpSpec& s) { s.headerSize = 12; s.width = 0; }), 0, 0, 0, BmpRefusal::BadWidth},
      {"height 0", With([](BmpSpec& s) { s.height = 1; }), test::kOffBiHeight, 0, 4, BmpRefusal::BadHeight},
      {"height INT32_MIN", With([](BmpSpec&) {}), test::kOffBiHeight, 0x80000000u, 4, BmpRefusal::BadHeight},
      {"width 65536", With([](BmpSpec& s) { s.bitCount = 1; }), test::kOffBiWidth, 65536, 4, BmpRefusal::TooLarge},
      {"height -65536", With([](BmpSpec&) {}), test::kOffBiHeight, static_cast<std::uint32_t>(-65536), 4, BmpRefusal::TooLarge},
      {"height INT32_MAX", With([](BmpSpec&) {}), test::kOffBiHeight, 0x7FFFFFFF, 4, BmpRefusal::TooLarge},
      {"planes 0", With([](BmpSpec& s) { s.planes = 0; }), 0, 0, 0, BmpRefusal::BadPlanes},
      {"planes 2", With([](BmpSpec& s) { s.planes = 2; }), 0, 0, 0, BmpRefusal::BadPlanes},
      {"bit count 0", With([](BmpSpec&) {}), test::kOffBiBitCount, 0, 2, BmpRefusal::BadBitCount},
      {"bit count 3", With([](BmpSpec&) {}), test::kOffBiBitCount, 3, 2, BmpRefusal::BadBitCount},
      {"bit fields at 64", With([](BmpSpec& s) { s.bitCount = 64; s.compression = kBiBitfields; }), 0, 0, 0, BmpRefusal::BadBitCount},
      {"bit count 30000", With([](BmpSpec&) {}), test::kOffBiBitCount, 30000, 2, BmpRefusal::BadBitCount},
      {"RLE8 at 4 bits", With([](BmpSpec& s) { s.bitCount = 4; s.compression = kBiRle8; }), 0, 0, 0, BmpRefusal::BadBitCount},
      {"RLE4 at 8 bits", With([](BmpSpec& s) { s.compression = kBiRle4; }), 0, 0, 0, BmpRefusal::BadBitCount},
      {"bit fields at 24", With([](BmpSpec& s) { s.bitCount = 24; s.compression = kBiBitfields; }), 0, 0, 0, BmpRefusal::BadBitCount},
      {"bit fields at 8", With([](BmpSpec& s) { s.compression = kBiBitfields; }), 0, 0, 0, BmpRefusal::BadBitCount},
      {"JPEG", With([](BmpSpec& s) { s.compression = 4; }), 0, 0, 0, BmpRefusal::BadCompression},
      {"PNG", With([](BmpSpec& s) { s.compression = 5; }), 0, 0, 0, BmpRefusal::BadCompression},
      {"compression 7", With([](BmpSpec& s) { s.compression = 7; }), 0, 0, 0, BmpRefusal::BadCompression},
      {"compression -1", With([](BmpSpec& s) { s.compression = 0xFFFFFFFF; }), 0, 0, 0, BmpRefusal::BadCompression},
      {"OS/2 Huffman", With([](BmpSpec& s) { s.headerSize = 64; s.bitCount = 1; s.compression = 3; }), 0, 0, 0, BmpRefusal::BadCompression},
      {"OS/2 RLE24", With([](BmpSpec& s) { s.headerSize = 64; s.bitCount = 24; s.compression = 4; }), 0, 0, 0, BmpRefusal::BadCompression},
      {"top-down RLE8", With([](BmpSpec& s) { s.height = -4; s.compression = kBiRle8; }), 0, 0, 0, BmpRefusal::TopDownRle},
      {"top-down RLE4", With([](BmpSpec& s) { s.height = -4; s.bitCount = 4; s.compression = kBiRle4; }), 0, 0, 0, BmpRefusal::TopDownRle},
      {"zero blue mask", With([](BmpSpec& s) { s.bitCount = 16; s.compression = 3; s.masks = std::vector<std::uint32_t>{0xFF00, 0xFF, 0}; }), 0, 0, 0, BmpRefusal::BadMasks},
      {"overlapping masks", With([](BmpSpec& s) { s.bitCount = 16; s.compression = 3; s.masks = std::vector<std::uint32_t>{0xFF00, 0x0FF0, 0xF}; }), 0, 0, 0, BmpRefusal::BadMasks},
      {"split mask", With([](BmpSpec& s) { s.bitCount = 16; s.compression = 3; s.masks = std::vector<std::uint32_t>{0xF00F, 0x0F00, 0xF0}; }), 0, 0, 0, BmpRefusal::BadMasks},
      {"mask above 16 bits", With([](BmpSpec& s) { s.bitCount = 16; s.compression = 3; s.masks = std::vector<std::uint32_t>{0x1F0000, 0x07E0, 0x1F}; }), 0, 0, 0, BmpRefusal::BadMasks},
      {"alpha overlaps", With([](BmpSpec& s) { s.headerSize = 124; s.bitCount = 32; s.compression = 3; s.masks = std::vector<std::uint32_t>{0xFF0000, 0xFF00, 0xFF, 0x1FF0000}; }), 0, 0, 0, BmpRefusal::BadMasks},
      {"offset inside header", With([](BmpSpec& s) { s.offBits = 20; }), 0, 0, 0, BmpRefusal::BadPixelOffset},
      {"offset 0", With([](BmpSpec& s) { s.offBits = 0; }), 0, 0, 0, BmpRefusal::BadPixelOffset},
      {"offset inside masks", With([](BmpSpec& s) { s.bitCount = 32; s.compression = 3; s.offBits = 14 + 40 + 8; }), 0, 0, 0, BmpRefusal::BadPixelOffset},
      {"not BM", With([](BmpSpec&) {}), 0, 0x4142, 2, BmpRefusal::NotBmp},
  };
  for (const Refusal& c : cases) {
    std::string f = BuildBmp(c.recipe);
    if (c.patchWidth == 4) Put32(f, c.patchAt, c.patchValue);
    if (c.patchWidth == 2) Put16(f, c.patchAt, static_cast<std::uint16_t>(c.patchValue));
    const BmpLayout l = Parse(f);
    EXPECT_FALSE(l.ok) << c.what;
    EXPECT_EQ(l.refusal, c.expect) << c.what << ": got " << BmpRefusalName(l.refusal);
  }
}

TEST(BmpLayout, RefusesTooShortAndNull) {
  const std::string f = BuildBmp(BmpSpec{});
  EXPECT_EQ(ParseBmpLayout(nullptr, 100).refusal, BmpRefusal::TooShort);
  EXPECT_EQ(ParseBmpLayout(U8(f), 17).refusal, BmpRefusal::TooShort);
  EXPECT_EQ(ParseBmpLayout(U8(f), 18).refusal, BmpRefusal::TruncatedHeader);
  EXPECT_EQ(ParseBmpLayout(U8(f), 53).refusal, BmpRefusal::TruncatedHeader);
  EXPECT_TRUE(ParseBmpLayout(U8(f), 54).ok);  // 24 bits: no table, no rows
}

TEST(BmpLayout, CapsOnSidesAndDecodedSize) {
  auto parseSized = [](std::int32_t w, std::int32_t h, std::uint16_t bpp, std::uint32_t comp) {
    BmpSpec recipe;
    recipe.bitCount = bpp;
    recipe.compression = comp;
    recipe.width = 1;
    recipe.height = 1;
    recipe.noPalette = true;
    recipe.pixels = {0, 0, 0, 0};
    std::string f = BuildBmp(recipe);
    Put32(f, test::kOffBiWidth, static_cast<std::uint32_t>(w));
    Put32(f, test::kOffBiHeight, static_cast<std::uint32_t>(h));
    return ParseBmpLayout(U8(f), f.size());
  };
  // 65535 x 65535 at 1 bit is 8192 * 65535 bytes: just under 512 MiB.
  BmpLayout l = parseSized(65535, 65535, 1, kBiRgb);
  ASSERT_TRUE(l.ok) << BmpRefusalName(l.refusal);
  EXPECT_EQ(l.rowsPresent, 0u);
  EXPECT_FALSE(l.complete);
  EXPECT_EQ(parseSized(65535, 65535, 8, kBiRgb).refusal, BmpRefusal::TooLarge);
  EXPECT_TRUE(parseSized(16384, 32768, 8, kBiRgb).ok);  // exactly 512 MiB
  EXPECT_EQ(parseSized(16388, 32768, 8, kBiRgb).refusal, BmpRefusal::TooLarge);
  EXPECT_EQ(parseSized(8192, -65535, 32, kBiRgb).refusal, BmpRefusal::TooLarge);
  // A few bytes of RLE declaring a huge picture are refused by its expanded size.
  EXPECT_EQ(parseSized(3000000, 2000000, 8, kBiRle8).refusal, BmpRefusal::TooLarge);
  EXPECT_EQ(parseSized(65535, 65535, 8, kBiRle8).refusal, BmpRefusal::TooLarge);
  EXPECT_EQ(parseSized(65535, 65535, 4, kBiRle4).refusal, BmpRefusal::TooLarge);
}

TEST(BmpLayout, TruncatedMasksAfterA40ByteHeader) {
  BmpSpec recipe;
  recipe.bitCount = 32;
  recipe.compression = kBiBitfields;
  const std::string f = BuildBmp(recipe);
  for (std::size_t n = 54; n < 66; ++n)
    EXPECT_EQ(ParseBmpLayout(U8(f), n).refusal, BmpRefusal::TruncatedMasks) << n;
  EXPECT_TRUE(ParseBmpLayout(U8(f), 66).ok);
}

// Every length of a few representative files, each ending at a guard page:
// never a read outside, and the reported layout always fits the length.
TEST(BmpLayout, EveryTruncationLength) {
  std::vector<BmpSpec> recipes(6);
  recipes[0].bitCount = 8;
  recipes[0].width = 5;
  recipes[0].height = 3;
  recipes[1].headerSize = 12;
  recipes[1].bitCount = 4;
  recipes[2].bitCount = 16;
  recipes[2].compression = kBiBitfields;
  recipes[2].height = -3;
  recipes[3].headerSize = 124;
  recipes[3].bitCount = 1;
  recipes[3].clrUsed = 1;
  recipes[3].palette = {0xFFFFFF};
  recipes[4].bitCount = 8;
  recipes[4].compression = kBiRle8;
  recipes[4].pixels = {3, 1, 0, 0, 3, 2, 0, 1};
  recipes[5].bitCount = 32;
  recipes[5].headerSize = 40;
  recipes[5].compression = kBiAlphaBitfields;
  recipes[5].masks = std::vector<std::uint32_t>{0xFF0000, 0xFF00, 0xFF, 0xFF000000};

  for (const BmpSpec& recipe : recipes) {
    const std::string f = BuildBmp(recipe);
    const BmpLayout full = Parse(f);
    ASSERT_TRUE(full.ok);
    test::PageGuard guard(f.size());
    for (std::size_t n = 0; n <= f.size(); ++n) {
      const std::uint8_t* p = guard.Load(f.data(), n);
      const BmpLayout l = ParseBmpLayout(p, n);
      const ColorTable t = ReadColorTable(l, p, n);
      if (!l.ok) {
        EXPECT_EQ(t.present, 0u);
        // Refusal only while the headers or the table before the pixels are cut.
        EXPECT_LT(n, full.colorTableOffset + std::uint64_t{full.colorsPresent} * full.colorEntrySize)
            << "size " << n << ": " << BmpRefusalName(l.refusal);
        continue;
      }
      EXPECT_LE(l.colorTableOffset + std::uint64_t{l.colorsPresent} * l.colorEntrySize, n);
      EXPECT_EQ(l.colorsPresent, full.colorsPresent);
      const std::uint64_t after = n > l.pixelOffset ? n - l.pixelOffset : 0;
      if (l.isRle()) {
        EXPECT_EQ(l.rleBytes, std::min<std::uint64_t>(after, full.rleBytes));
        EXPECT_EQ(l.complete, n == f.size());
      } else {
        EXPECT_EQ(l.rowsPresent, std::min<std::uint64_t>(after / l.stride, l.absHeight)) << n;
        EXPECT_LE(l.pixelOffset + std::uint64_t{l.rowsPresent} * l.stride, n);
        EXPECT_EQ(l.complete, n == f.size());
      }
    }
  }
}

TEST(ColorTable, ReadsFourAndThreeByteEntries) {
  BmpSpec recipe;
  recipe.bitCount = 2;
  recipe.palette = {0x112233, 0x445566, 0x778899, 0xAABBCC};
  std::string f = BuildBmp(recipe);
  f[54 + 3] = 0x7F;  // reserved byte of entry 0 is carried through
  ColorTable t = ReadColorTable(Parse(f), U8(f), f.size());
  EXPECT_EQ(t.count, 4u);
  EXPECT_EQ(t.present, 4u);
  EXPECT_EQ(t.entries[0].red, 0x11);
  EXPECT_EQ(t.entries[0].green, 0x22);
  EXPECT_EQ(t.entries[0].blue, 0x33);
  EXPECT_EQ(t.entries[0].reserved, 0x7F);
  EXPECT_EQ(t.entries[3].red, 0xAA);
  EXPECT_EQ(t.entries[4].red, 0);

  recipe.headerSize = 12;
  f = BuildBmp(recipe);
  t = ReadColorTable(Parse(f), U8(f), f.size());
  EXPECT_EQ(t.present, 4u);
  EXPECT_EQ(t.entries[1].red, 0x44);
  EXPECT_EQ(t.entries[1].green, 0x55);
  EXPECT_EQ(t.entries[1].blue, 0x66);
  EXPECT_EQ(t.entries[1].reserved, 0);
  EXPECT_EQ(t.entries[3].blue, 0xCC);
}

TEST(ColorTable, MissingEntriesAreBlack) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.palette.assign(5, 0xFFFFFF);
  recipe.clrUsed = 5;
  std::string f = BuildBmp(recipe);
  ColorTable t = ReadColorTable(Parse(f), U8(f), f.size());
  EXPECT_EQ(t.present, 5u);
  EXPECT_EQ(t.entries[4].green, 0xFF);
  for (int i = 5; i < 256; ++i) EXPECT_EQ(t.entries[i].red | t.entries[i].green | t.entries[i].blue, 0) << i;

  // The bytes after the table are pixels, not colours.
  recipe.clrUsed = 0;
  f = BuildBmp(recipe);
  t = ReadColorTable(Parse(f), U8(f), f.size());
  EXPECT_EQ(t.count, 256u);
  EXPECT_EQ(t.present, 5u);
  EXPECT_EQ(t.entries[5].red, 0);

  // A refused layout and a high-colour one give all black.
  recipe.bitCount = 24;
  f = BuildBmp(recipe);  // 24-bit with a 5-entry optional table: ignored
  t = ReadColorTable(Parse(f), U8(f), f.size());
  EXPECT_EQ(t.present, 0u);
  EXPECT_EQ(t.entries[0].red, 0);
  BmpLayout bad;
  t = ReadColorTable(bad, U8(f), f.size());
  EXPECT_EQ(t.present, 0u);
}

TEST(ColorTable, LayoutOfOtherBytesIsNotTrusted) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  const std::string f = BuildBmp(recipe);
  const BmpLayout l = Parse(f);
  test::PageGuard guard(100);
  const std::uint8_t* p = guard.Load(f.data(), 100);  // table would run past these bytes
  const ColorTable t = ReadColorTable(l, p, 100);
  EXPECT_EQ(t.present, 0u);
}

}  // namespace
}  // namespace mv

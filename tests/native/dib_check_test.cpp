#include "image/dib_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/page_guard.h"
#include "tests/support/bmp_builder.h"

namespace mv {
namespace {

using test::BmpSpec;
using test::BuildDibInfo;
using test::Put16;
using test::Put32;
using test::U8;

DibCheck Check(const std::string& info, std::size_t bits) {
  return CheckPluginDib(U8(info), info.size(), bits);
}

TEST(DibCheck, AcceptsEachHeaderForm) {
  for (std::uint32_t hs : {40u, 52u, 56u, 108u, 124u}) {
    BmpSpec recipe;
    recipe.headerSize = hs;
    recipe.bitCount = 8;
    recipe.width = 10;
    recipe.height = 3;
    const std::string info = BuildDibInfo(recipe);
    const DibCheck c = Check(info, 12 * 3);
    ASSERT_TRUE(c.ok) << hs << ": " << DibRefusalName(c.refusal);
    EXPECT_EQ(c.headerSize, hs);
    EXPECT_EQ(c.width, 10);
    EXPECT_EQ(c.height, 3);
    EXPECT_EQ(c.absHeight, 3u);
    EXPECT_FALSE(c.topDown);
    EXPECT_EQ(c.bitCount, 8);
    EXPECT_EQ(c.compression, kBiRgb);
    EXPECT_EQ(c.colorTableOffset, hs);
    EXPECT_EQ(c.colorCount, 256u);
    EXPECT_EQ(c.stride, 12u);
    EXPECT_EQ(c.bytesNeeded, 36u);
  }
}

TEST(DibCheck, EveryBitCountWithItsTableAndStride) {
  struct Case { std::uint16_t bpp; std::uint32_t colors; std::uint64_t stride; };
  for (const Case k : {Case{1, 2, 4}, Case{2, 4, 4}, Case{4, 16, 8}, Case{8, 256, 16},
                       Case{16, 0, 32}, Case{24, 0, 48}, Case{32, 0, 64}}) {
    BmpSpec recipe;
    recipe.bitCount = k.bpp;
    recipe.width = 16;
    recipe.height = -2;
    const std::string info = BuildDibInfo(recipe);
    EXPECT_EQ(info.size(), 40u + 4 * k.colors);
    const DibCheck c = Check(info, k.stride * 2);
    ASSERT_TRUE(c.ok) << k.bpp << ": " << DibRefusalName(c.refusal);
    EXPECT_TRUE(c.topDown);
    EXPECT_EQ(c.height, -2);
    EXPECT_EQ(c.colorCount, k.colors);
    EXPECT_EQ(c.stride, k.stride);
    if (k.bpp == 16) { EXPECT_EQ(c.masks.red, 0x7C00u); }
    if (k.bpp == 32) { EXPECT_EQ(c.masks.red, 0xFF0000u); }
    EXPECT_EQ(Check(info, k.stride * 2 - 1).refusal, DibRefusal::BitsTooSmall) << k.bpp;
  }
}

TEST(DibCheck, BitfieldMasksAndWhereTheTableStarts) {
  BmpSpec recipe;
  recipe.bitCount = 16;
  recipe.compression = kBiBitfields;
  recipe.width = 2;
  recipe.height = 2;
  std::string info = BuildDibInfo(recipe);
  ASSERT_EQ(info.size(), 52u);
  DibCheck c = Check(info, 8);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.colorTableOffset, 52u);
  EXPECT_EQ(c.masks.red, 0xF800u);
  EXPECT_EQ(c.masks.green, 0x07E0u);
  for (std::size_t n = 40; n < 52; ++n)
    EXPECT_EQ(CheckPluginDib(U8(info), n, 8).refusal, DibRefusal::InfoTooSmall) << n;

  recipe.headerSize = 108;
  recipe.bitCount = 32;
  recipe.masks = std::vector<std::uint32_t>{0xFF, 0xFF00, 0xFF0000, 0xFF000000};
  info = BuildDibInfo(recipe);
  c = Check(info, 16);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.colorTableOffset, 108u);
  EXPECT_EQ(c.masks.blue, 0xFF0000u);
  EXPECT_EQ(c.masks.alpha, 0xFF000000u);

  recipe.masks = std::vector<std::uint32_t>{0xFF, 0xFF00, 0, 0};
  EXPECT_EQ(Check(BuildDibInfo(recipe), 16).refusal, DibRefusal::BadMasks);
  recipe.masks = std::vector<std::uint32_t>{0xFFFF, 0xFF00, 0xFF0000, 0};
  EXPECT_EQ(Check(BuildDibInfo(recipe), 16).refusal, DibRefusal::BadMasks);
}

TEST(DibCheck, ColourTableMustFitTheBlock) {
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.palette.assign(16, 0x808080);
  recipe.clrUsed = 16;  // a short table that the header admits to
  std::string info = BuildDibInfo(recipe);
  ASSERT_EQ(info.size(), 40u + 64);
  DibCheck c = Check(info, 16);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.colorCount, 16u);
  EXPECT_EQ(CheckPluginDib(U8(info), info.size() - 1, 16).refusal, DibRefusal::ColorsCut);

  recipe.clrUsed = 0;  // the same block, but now 256 entries are due
  info = BuildDibInfo(recipe);
  EXPECT_EQ(Check(info, 16).refusal, DibRefusal::ColorsCut);
  recipe.clrUsed = 257;  // out of range counts as 2^bpp
  EXPECT_EQ(Check(BuildDibInfo(recipe), 16).refusal, DibRefusal::ColorsCut);
  recipe.palette.assign(256, 0);
  c = Check(BuildDibInfo(recipe), 16);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.colorCount, 256u);

  // Above 8 bits a biClrUsed asks for nothing.
  BmpSpec rgb;
  rgb.bitCount = 24;
  rgb.clrUsed = 200;
  c = Check(BuildDibInfo(rgb), 48);
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.colorCount, 0u);
}

TEST(DibCheck, RefusalMatrix) {
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int width;
    DibRefusal expect;
  };
  const std::vector<Case> cases = {
      {"biSize 12", 0, 12, 4, DibRefusal::BadHeaderSize},
      {"biSize 0", 0, 0, 4, DibRefusal::BadHeaderSize},
      {"biSize 41", 0, 41, 4, DibRefusal::BadHeaderSize},
      {"biSize 64", 0, 64, 4, DibRefusal::BadHeaderSize},
      {"biSize 1000", 0, 1000, 4, DibRefusal::BadHeaderSize},
      {"width 0", 4, 0, 4, DibRefusal::BadWidth},
      {"width -4", 4, static_cast<std::uint32_t>(-4), 4, DibRefusal::BadWidth},
      {"height 0", 8, 0, 4, DibRefusal::BadHeight},
      {"height INT32_MIN", 8, 0x80000000u, 4, DibRefusal::BadHeight},
      {"width 65536", 4, 65536, 4, DibRefusal::TooLarge},
      {"height -65536", 8, static_cast<std::uint32_t>(-65536), 4, DibRefusal::TooLarge},
      {"planes 0", 12, 0, 2, DibRefusal::BadPlanes},
      {"planes 3", 12, 3, 2, DibRefusal::BadPlanes},
      {"bit count 0", 14, 0, 2, DibRefusal::BadBitCount},
      {"bit count 7", 14, 7, 2, DibRefusal::BadBitCount},
      {"bit count 64", 14, 64, 2, DibRefusal::BadBitCount},
      {"RLE8", 16, kBiRle8, 4, DibRefusal::BadCompression},
      {"RLE4", 16, kBiRle4, 4, DibRefusal::BadCompression},
      {"bit fields at 8 bits", 16, kBiBitfields, 4, DibRefusal::BadCompression},
      {"JPEG", 16, 4, 4, DibRefusal::BadCompression},
      {"PNG", 16, 5, 4, DibRefusal::BadCompression},
      {"alpha bit fields", 16, kBiAlphaBitfields, 4, DibRefusal::BadCompression},
  };
  BmpSpec recipe;
  recipe.bitCount = 8;
  recipe.width = 4;
  recipe.height = 4;
  const std::string base = BuildDibInfo(recipe);
  ASSERT_TRUE(Check(base, 16).ok);
  for (const Case& k : cases) {
    std::string info = base;
    if (k.width == 4) Put32(info, k.at, k.value);
    else Put16(info, k.at, static_cast<std::uint16_t>(k.value));
    const DibCheck c = Check(info, 1 << 20);
    EXPECT_FALSE(c.ok) << k.what;
    EXPECT_EQ(c.refusal, k.expect) << k.what << ": got " << DibRefusalName(c.refusal);
  }
  EXPECT_EQ(CheckPluginDib(nullptr, 100, 100).refusal, DibRefusal::NoInfo);
  EXPECT_EQ(CheckPluginDib(U8(base), 3, 100).refusal, DibRefusal::NoInfo);
  EXPECT_EQ(CheckPluginDib(U8(base), 39, 100).refusal, DibRefusal::InfoTooSmall);
  EXPECT_EQ(Check(base, 15).refusal, DibRefusal::BitsTooSmall);
  EXPECT_EQ(Check(base, 0).refusal, DibRefusal::BitsTooSmall);

  BmpSpec v5;
  v5.headerSize = 124;
  v5.bitCount = 24;
  const std::string info5 = BuildDibInfo(v5);
  EXPECT_EQ(CheckPluginDib(U8(info5), 123, 1 << 20).refusal, DibRefusal::InfoTooSmall);
}

TEST(DibCheck, CapOnTheBitsSize) {
  BmpSpec recipe;
  recipe.bitCount = 32;
  recipe.width = 65535;
  recipe.height = 2048;  // 65535 * 4 * 2048 bytes: just under 512 MiB
  EXPECT_TRUE(Check(BuildDibInfo(recipe), std::size_t{512} << 20).ok);
  recipe.height = 2049;
  EXPECT_EQ(Check(BuildDibInfo(recipe), SIZE_MAX).refusal, DibRefusal::TooLarge);
}

// The info block read at every length, ending at a guard page.
TEST(DibCheck, NeverReadsPastTheInfoBlock) {
  std::vector<BmpSpec> recipes(3);
  recipes[0].bitCount = 8;
  recipes[1].bitCount = 16;
  recipes[1].compression = kBiBitfields;
  recipes[2].headerSize = 124;
  recipes[2].bitCount = 1;
  test::PageGuard guard(2048);
  for (const BmpSpec& recipe : recipes) {
    const std::string info = BuildDibInfo(recipe);
    for (std::size_t n = 0; n <= info.size(); ++n) {
      const std::uint8_t* p = guard.Load(info.data(), n);
      const DibCheck c = CheckPluginDib(p, n, 1 << 20);
      EXPECT_EQ(c.ok, n == info.size()) << n;
      if (c.ok) { EXPECT_LE(c.colorTableOffset + 4 * c.colorCount, n); }
    }
  }
}

}  // namespace
}  // namespace mv

#include "image/rle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/page_guard.h"

namespace mv {
namespace {

struct Out {
  std::uint32_t width, height;
  std::size_t stride;
  std::vector<std::uint8_t> px;
  RleResult r;
  // Pixel at (x, y) with y = 0 the bottom row, as an index.
  unsigned at(std::uint32_t x, std::uint32_t y, bool rle4) const {
    const std::uint8_t* row = px.data() + y * stride;
    return rle4 ? ((x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4) : row[x];
  }
};

Out Run8(const std::vector<std::uint8_t>& s, std::uint32_t w, std::uint32_t h) {
  Out o{w, h, (w + 3) / 4 * 4, {}, {}};
  o.px.assign(o.stride * h, 0xAA);
  o.r = ExpandRle(s.data(), s.size(), false, w, h, o.stride, o.px.data());
  return o;
}

Out Run4(const std::vector<std::uint8_t>& s, std::uint32_t w, std::uint32_t h) {
  Out o{w, h, (w * 4 + 31) / 32 * 4, {}, {}};
  o.px.assign(o.stride * h, 0xAA);
  o.r = ExpandRle(s.data(), s.size(), true, w, h, o.stride, o.px.data());
  return o;
}

std::string Rows8(const Out& o) {  // bottom row first, one char per pixel
  std::string s;
  for (std::uint32_t y = 0; y < o.height; ++y) {
    for (std::uint32_t x = 0; x < o.width; ++x) s += static_cast<char>('0' + o.at(x, y, false));
    s += '|';
  }
  return s;
}

std::string Rows4(const Out& o) {
  std::string s;
  for (std::uint32_t y = 0; y < o.height; ++y) {
    for (std::uint32_t x = 0; x < o.width; ++x) s += "0123456789ABCDEF"[o.at(x, y, true)];
    s += '|';
  }
  return s;
}

TEST(Rle8, RunsLinesAndEndOfBitmap) {
  const Out o = Run8({2, 5, 1, 3, 0, 0, 3, 7, 0, 1}, 4, 3);
  EXPECT_EQ(Rows8(o), "5530|7770|0000|");
  EXPECT_EQ(o.r.stop, RleStop::EndOfBitmap);
  EXPECT_TRUE(o.r.complete());
  EXPECT_EQ(o.r.stopRow, 1u);
  EXPECT_EQ(o.r.bytesUsed, 10u);
}

TEST(Rle8, OutputIsClearedAndPaddingStaysZero) {
  const Out o = Run8({0, 1}, 3, 2);
  for (std::uint8_t b : o.px) EXPECT_EQ(b, 0);
}

TEST(Rle8, EncodedRunClampsAtRowEnd) {
  const Out o = Run8({200, 9, 2, 4, 0, 0, 1, 8, 0, 1}, 3, 2);
  // The long run fills row 0 and the next run on the same row is dropped.
  EXPECT_EQ(Rows8(o), "999|800|");
}

TEST(Rle8, AbsoluteRunsWithPadAndCut) {
  // 3 pixels (odd: one pad byte), then 2 more on the same row.
  Out o = Run8({0, 3, 1, 2, 3, 0xEE, 2, 4, 0, 1}, 6, 1);
  EXPECT_EQ(Rows8(o), "123440|");
  // An absolute run past the row end is cut, but its bytes are skipped.
  o = Run8({0, 5, 1, 2, 3, 4, 5, 0xEE, 0, 0, 1, 6, 0, 1}, 3, 2);
  EXPECT_EQ(Rows8(o), "123|600|");
  EXPECT_EQ(o.r.stop, RleStop::EndOfBitmap);
}

TEST(Rle8, DeltaMovesAndStopsOutsideThePicture) {
  Out o = Run8({0, 2, 1, 1, 1, 5, 0, 1}, 3, 3);  // skip to (1,1)
  EXPECT_EQ(Rows8(o), "000|050|000|");
  EXPECT_EQ(o.r.stop, RleStop::EndOfBitmap);

  o = Run8({1, 5, 0, 2, 0, 3, 1, 6, 0, 1}, 3, 3);  // dy lands on height: past the top
  EXPECT_EQ(Rows8(o), "500|000|000|");
  EXPECT_EQ(o.r.stop, RleStop::DeltaOutside);

  o = Run8({1, 5, 0, 2, 2, 0, 1, 6, 0, 1}, 3, 3);  // to x == width: legal, writes nothing
  EXPECT_EQ(Rows8(o), "500|000|000|");
  EXPECT_EQ(o.r.stop, RleStop::EndOfBitmap);

  o = Run8({1, 5, 0, 2, 2, 0, 0, 2, 1, 1, 1, 6, 0, 1}, 3, 3);  // x == width, then one more
  EXPECT_EQ(o.r.stop, RleStop::DeltaOutside);
}

TEST(Rle8, StopsAtEndOfLastRow) {
  const Out o = Run8({2, 1, 0, 0, 2, 2, 0, 0, 2, 3, 2, 3}, 2, 2);
  EXPECT_EQ(Rows8(o), "11|22|");
  EXPECT_EQ(o.r.stop, RleStop::RowsFilled);
  EXPECT_TRUE(o.r.complete());
  EXPECT_EQ(o.r.bytesUsed, 8u);  // the run after the last end-of-line is never read
  EXPECT_EQ(o.r.stopRow, 2u);
}

TEST(Rle8, CutStreamKeepsWhatArrived) {
  Out o = Run8({2, 1, 0}, 4, 1);  // op cut after one byte
  EXPECT_EQ(Rows8(o), "1100|");
  EXPECT_EQ(o.r.stop, RleStop::StreamEnded);
  EXPECT_FALSE(o.r.complete());

  o = Run8({0, 2, 1}, 4, 2);  // delta cut
  EXPECT_EQ(o.r.stop, RleStop::StreamEnded);

  o = Run8({0, 4, 7, 8}, 4, 1);  // absolute run cut: two of four pixels kept
  EXPECT_EQ(Rows8(o), "7800|");
  EXPECT_EQ(o.r.stop, RleStop::StreamEnded);
  EXPECT_EQ(o.r.bytesUsed, 4u);

  o = Run8({}, 4, 1);
  EXPECT_EQ(o.r.stop, RleStop::StreamEnded);
  o.r = ExpandRle(nullptr, 10, false, 4, 1, 4, o.px.data());
  EXPECT_EQ(o.r.stop, RleStop::StreamEnded);
}

TEST(Rle4, NibblesAlternateInRunsAndAbsoluteData) {
  // Encoded 5 of 0x12: 1 2 1 2 1; absolute 3: 3 4 5 (2 data bytes, even: no pad).
  Out o = Run4({5, 0x12, 0, 3, 0x34, 0x50, 0, 1}, 9, 1);
  EXPECT_EQ(Rows4(o), "121213450|");
  // Runs starting at an odd pixel write the right nibble.
  o = Run4({1, 0xF0, 2, 0xAB, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0, 0, 1}, 5, 2);
  EXPECT_EQ(Rows4(o), "FAB00|12345|");
  EXPECT_EQ(o.r.stop, RleStop::EndOfBitmap);
}

TEST(Rle4, ClampsAndCutsAtRowEnd) {
  Out o = Run4({9, 0x77, 0, 0, 0, 6, 0x12, 0x34, 0x56, 0xEE, 0, 1}, 3, 2);
  // 6 absolute pixels need 3 data bytes and a pad byte; only 3 are drawn.
  EXPECT_EQ(Rows4(o), "777|123|");
  EXPECT_EQ(o.r.stop, RleStop::EndOfBitmap);
  o = Run4({0, 5, 0x12, 0x34}, 8, 1);  // cut inside the data: 4 pixels kept
  EXPECT_EQ(Rows4(o), "12340000|");
  EXPECT_EQ(o.r.stop, RleStop::StreamEnded);
}

TEST(Rle, NeverReadsPastTheStream) {
  const std::vector<std::uint8_t> streams[] = {
      {0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 1, 1, 0, 0, 4, 9, 0, 1},
      {3, 0x12, 0, 7, 0x11, 0x22, 0x33, 0x40, 0, 2, 2, 0, 8, 0xAB, 0, 0},
      {0, 255, 1, 2, 3},
  };
  test::PageGuard guard(64);
  std::vector<std::uint8_t> out(8 * 4);
  for (const auto& s : streams) {
    for (bool rle4 : {false, true}) {
      for (std::size_t n = 0; n <= s.size(); ++n) {
        const std::uint8_t* p = guard.Load(s.data(), n);
        const RleResult r = ExpandRle(p, n, rle4, 8, 4, 8, out.data());
        EXPECT_LE(r.bytesUsed, n);
      }
    }
  }
}

}  // namespace
}  // namespace mv

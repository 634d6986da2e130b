// The WIC plug-in's portable pieces: format signatures, info texts cut to
// the caller's buffer, DIB row sizes and the cap, widening 2-bit rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spi/dib_rows.h"
#include "spi/format_sniff.h"
#include "spi/plugin_info.h"

namespace {

using namespace mv::wic;

Sniffed Sniff(const std::string& s) { return SniffFormat(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

TEST(WicPluginLogic, SignaturesAndTheirNearMisses) {
  EXPECT_EQ(Sniff(std::string("\x89PNG\r\n\x1a\n", 8)), Sniffed::Png);
  EXPECT_EQ(Sniff(std::string("\x89PNG\r\n\x1a", 7)), Sniffed::Unknown);  // one byte short
  EXPECT_EQ(Sniff(std::string("\x89PNG\n\r\x1a\n", 8)), Sniffed::Unknown);
  EXPECT_EQ(Sniff("GIF87a"), Sniffed::Gif);
  EXPECT_EQ(Sniff("GIF89a"), Sniffed::Gif);
  EXPECT_EQ(Sniff("GIF88a"), Sniffed::Unknown);
  EXPECT_EQ(Sniff("\xFF\xD8\xFF\xE0"), Sniffed::Jpeg);
  EXPECT_EQ(Sniff("\xFF\xD8\x00"), Sniffed::Unknown);
  EXPECT_EQ(Sniff(std::string("II*\0", 4)), Sniffed::Tiff);
  EXPECT_EQ(Sniff(std::string("MM\0*", 4)), Sniffed::Tiff);
  EXPECT_EQ(Sniff(std::string("II\0*", 4)), Sniffed::Unknown);  // byte order and magic mixed
  EXPECT_EQ(Sniff(std::string("\0\0\1\0\1\0", 6)), Sniffed::Ico);
  EXPECT_EQ(Sniff(std::string("\0\0\1\0\0\1", 6)), Sniffed::Ico);   // 256 images
  EXPECT_EQ(Sniff(std::string("\0\0\1\0\0\0", 6)), Sniffed::Unknown);  // no image
  EXPECT_EQ(Sniff(std::string("\0\0\2\0\1\0", 6)), Sniffed::Unknown);  // a cursor
  EXPECT_EQ(Sniff(std::string("\0\0\1\0", 4)), Sniffed::Unknown);      // count cut off
  EXPECT_EQ(Sniff("BM"), Sniffed::Unknown);
  EXPECT_EQ(Sniff(""), Sniffed::Unknown);
  EXPECT_EQ(SniffFormat(nullptr, 8), Sniffed::Unknown);
}

TEST(WicPluginLogic, InfoTextsPairFiltersWithNamesAndFitTheBuffer) {
  ASSERT_EQ(kPluginInfoCount % 2, 0);
  for (int i = 2; i < kPluginInfoCount; i += 2) EXPECT_EQ(std::string(kPluginInfo[i]).rfind("*.", 0), 0u) << i;
  // Every buffer length from none to roomy: never a byte past buf_len.
  const std::string text = kPluginInfo[6];
  for (int len = 0; len <= static_cast<int>(text.size()) + 2; ++len) {
    std::vector<char> buf(static_cast<size_t>(len) + 4, '#');
    const int n = CopyPluginInfo(6, buf.data(), len);
    const int fits = len == 0 ? 0 : std::min<int>(len - 1, static_cast<int>(text.size()));
    EXPECT_EQ(n, fits) << len;
    if (len > 0) {
      EXPECT_EQ(std::string(buf.data()), text.substr(0, static_cast<size_t>(fits)));
    }
    for (size_t i = static_cast<size_t>(len); i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << len;
  }
  char buf[8] = "keep";
  EXPECT_EQ(CopyPluginInfo(kPluginInfoCount, buf, 8), 0);
  EXPECT_EQ(CopyPluginInfo(-1, buf, 8), 0);
  EXPECT_EQ(CopyPluginInfo(0, nullptr, 8), 0);
  EXPECT_STREQ(buf, "keep");
}

TEST(WicPluginLogic, RowSizesAndTheCap) {
  EXPECT_EQ(DibStride(1, 1), 4u);
  EXPECT_EQ(DibStride(33, 1), 8u);
  EXPECT_EQ(DibStride(9, 4), 8u);
  EXPECT_EQ(DibStride(5, 24), 16u);
  EXPECT_EQ(DibStride(3, 32), 12u);
  EXPECT_EQ(DibPixelBytes(5, 7, 24), 16u * 7);
  EXPECT_EQ(DibPixelBytes(0, 7, 24), 0u);
  EXPECT_EQ(DibPixelBytes(7, 0, 8), 0u);
  // Exactly at the cap is allowed, one row more is not.
  EXPECT_EQ(DibPixelBytes(1024, 131072, 32), kMaxPixelBytes);
  EXPECT_EQ(DibPixelBytes(1024, 131073, 32), 0u);
  EXPECT_EQ(DibPixelBytes(0x80000000ull, 1, 1), 0u);  // wider than a LONG
  EXPECT_EQ(DibPixelBytes(65536, 65536, 32), 0u);
}

TEST(WicPluginLogic, WidensTwoBitIndicesToNibbles) {
  // Indices 0 1 2 3 | 3 2 1 0 | 2 (odd width: the last nibble stays 0).
  const std::uint8_t src[] = {0x1B, 0xE4, 0x80};
  std::vector<std::uint8_t> dst(5, 0xEE);
  Widen2To4(src, dst.data(), 9);
  EXPECT_EQ(dst, (std::vector<std::uint8_t>{0x01, 0x23, 0x32, 0x10, 0x20}));
  std::vector<std::uint8_t> one(2, 0xEE);
  Widen2To4(src, one.data(), 1);
  EXPECT_EQ(one, (std::vector<std::uint8_t>{0x00, 0xEE}));  // one byte written, nothing past it
}

}  // namespace

// The public BMP suite (MORVANE_CORPUS): every good file decodes with the
// header fields its manifest lists, and no file of any folder, whole or cut
// short at any length, makes the reader touch a byte past its end (each copy
// ends at a guard page). With libpng at hand, renderings are also compared
// with the reference PNGs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "image/bmp_layout.h"
#include "image/bmp_render.h"
#include "tests/native/page_guard.h"

#ifdef MORVANE_HAVE_PNG
#include <png.h>
#endif

namespace mv {
namespace {

namespace fs = std::filesystem;

struct Entry {
  std::string path;  // relative, e.g. "g/pal8.bmp"
  int bpp = 0;
  int width = 0;
  int height = 0;
  std::string refPng;  // "-" when there is none
  std::string suiteImage;  // the suite's own image(s), comma-separated; "-" when none
};

fs::path CorpusDir() {
  const char* env = std::getenv("MORVANE_CORPUS");
  if (env == nullptr || *env == '\0') return {};
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(env) / "MANIFEST.tsv", ec)) return {};
  return env;
}

#define REQUIRE_CORPUS(dir)                                                          \
  const fs::path dir = CorpusDir();                                                  \
  if (dir.empty()) GTEST_SKIP() << "MORVANE_CORPUS not set or has no MANIFEST.tsv: " \
                                   "the BMP suite is not available here"

std::vector<Entry> ReadManifest(const fs::path& dir) {
  std::ifstream in(dir / "MANIFEST.tsv");
  std::vector<std::string> names;
  std::vector<Entry> out;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    for (std::string c; std::getline(ss, c, '\t');) cols.push_back(c);
    if (names.empty()) { names = cols; continue; }
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < cols.size() && i < names.size(); ++i) row[names[i]] = cols[i];
    const std::string& p = row["path"];
    if (p.size() < 4 || p.substr(p.size() - 4) != ".bmp") continue;
    Entry e;
    e.path = p;
    e.bpp = std::atoi(row["bpp"].c_str());
    e.width = std::atoi(row["width"].c_str());
    e.height = std::atoi(row["height"].c_str());
    e.refPng = row["ref_png"].empty() ? "-" : row["ref_png"];
    e.suiteImage = row["suite_image"].empty() ? "-" : row["suite_image"];
    out.push_back(e);
  }
  return out;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Parse, read the table and render with the bytes ending at the guard.
BmpLayout ParseAndRender(test::PageGuard& guard, const std::string& bytes, std::size_t n,
                         std::vector<std::uint32_t>* pixels) {
  const std::uint8_t* p = guard.Load(bytes.data(), n);
  const BmpLayout l = ParseBmpLayout(p, n);
  const ColorTable t = ReadColorTable(l, p, n);
  EXPECT_LE(t.present, 256u);
  if (l.ok) {
    pixels->assign(BgraPixelCount(l), 0);
    EXPECT_TRUE(RenderBgra(l, p, n, pixels->data())) << "length " << n;
  }
  return l;
}

TEST(BmpSuite, GoodFilesMatchTheManifest) {
  REQUIRE_CORPUS(dir);
  int checked = 0;
  for (const Entry& e : ReadManifest(dir)) {
    if (e.path.rfind("g/", 0) != 0) continue;
    const std::string bytes = ReadFile(dir / e.path);
    ASSERT_FALSE(bytes.empty()) << e.path;
    test::PageGuard guard(bytes.size());
    std::vector<std::uint32_t> px;
    const BmpLayout l = ParseAndRender(guard, bytes, bytes.size(), &px);
    ASSERT_TRUE(l.ok) << e.path << ": " << BmpRefusalName(l.refusal);
    EXPECT_EQ(l.width, e.width) << e.path;
    EXPECT_EQ(l.height, e.height) << e.path;
    EXPECT_EQ(l.bitCount, e.bpp) << e.path;
    EXPECT_TRUE(l.complete) << e.path;
    ++checked;
  }
  EXPECT_EQ(checked, 27);
}

TEST(BmpSuite, EveryFileIsReadOrRefusedWithinItsBytes) {
  REQUIRE_CORPUS(dir);
  int files = 0;
  for (const Entry& e : ReadManifest(dir)) {
    const std::string bytes = ReadFile(dir / e.path);
    test::PageGuard guard(bytes.size());
    std::vector<std::uint32_t> px;
    const BmpLayout l = ParseAndRender(guard, bytes, bytes.size(), &px);
    if (l.ok) {
      EXPECT_LE(l.pixelOffset + l.pixelBytesPresent, bytes.size()) << e.path;
    } else {
      EXPECT_NE(l.refusal, BmpRefusal::None) << e.path;
    }
    ++files;
  }
  EXPECT_GE(files, 90);
}

// The outcome chosen for each file that is not plainly good.
TEST(BmpSuite, DecisionsForQuestionableAndBadFiles) {
  REQUIRE_CORPUS(dir);
  const std::map<std::string, BmpRefusal> refused = {
      {"b/badbitcount.bmp", BmpRefusal::BadBitCount},
      {"b/badheadersize.bmp", BmpRefusal::BadHeaderSize},
      {"b/badplanes.bmp", BmpRefusal::BadPlanes},
      {"b/badwidth.bmp", BmpRefusal::BadWidth},
      {"b/reallybig.bmp", BmpRefusal::TooLarge},
      {"b/rgb16-880.bmp", BmpRefusal::BadMasks},
      {"b/rletopdown.bmp", BmpRefusal::TopDownRle},
      {"q/pal1huffmsb.bmp", BmpRefusal::BadCompression},
      {"q/rgb24jpeg.bmp", BmpRefusal::BadCompression},
      {"q/rgb24png.bmp", BmpRefusal::BadCompression},
      {"q/rgb24rle24.bmp", BmpRefusal::BadCompression},
      {"x/ba-bm.bmp", BmpRefusal::NotBmp},
  };
  for (const Entry& e : ReadManifest(dir)) {
    if (e.path.rfind("g/", 0) == 0) continue;
    const std::string bytes = ReadFile(dir / e.path);
    const BmpLayout l = ParseBmpLayout(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size());
    const auto it = refused.find(e.path);
    if (it == refused.end()) {
      EXPECT_TRUE(l.ok) << e.path << " refused: " << BmpRefusalName(l.refusal);
    } else {
      EXPECT_FALSE(l.ok) << e.path;
      EXPECT_EQ(l.refusal, it->second) << e.path << ": " << BmpRefusalName(l.refusal);
    }
  }
}

// Parsing and the colour table at every length; rendering too wherever the
// outcome can change: every length for RLE, and for rows the lengths at and
// next to each row end (in between, a cut row renders exactly like its start).
TEST(BmpSuite, GoodFilesCutAtEveryLength) {
  REQUIRE_CORPUS(dir);
  for (const Entry& e : ReadManifest(dir)) {
    if (e.path.rfind("g/", 0) != 0) continue;
    const std::string bytes = ReadFile(dir / e.path);
    test::PageGuard guard(bytes.size());
    std::vector<std::uint32_t> px;
    const BmpLayout whole = ParseBmpLayout(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
    ASSERT_TRUE(whole.ok) << e.path;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      const std::uint8_t* p = guard.Load(bytes.data(), n);
      BmpLayout l = ParseBmpLayout(p, n);
      const ColorTable t = ReadColorTable(l, p, n);
      if (!l.ok) {
        EXPECT_EQ(t.present, 0u);
        // Refused only while the headers or the colour table are cut.
        ASSERT_LT(n, whole.colorTableOffset +
                         std::uint64_t{whole.colorsPresent} * whole.colorEntrySize)
            << e.path << " at " << n << ": " << BmpRefusalName(l.refusal);
        continue;
      }
      ASSERT_FALSE(l.complete) << e.path << " at " << n;
      const std::uint64_t into = n > l.pixelOffset ? (n - l.pixelOffset) % l.stride : 0;
      if (l.isRle() || into <= 1 || into == l.stride - 1)
        l = ParseAndRender(guard, bytes, n, &px);
    }
  }
}

#ifdef MORVANE_HAVE_PNG
bool ReadPng(const fs::path& p, int* w, int* h, std::vector<std::uint8_t>* rgba) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, p.c_str())) return false;
  img.format = PNG_FORMAT_RGBA;
  rgba->assign(PNG_IMAGE_SIZE(img), 0);
  if (!png_image_finish_read(&img, nullptr, rgba->data(), 0, nullptr)) {
    png_image_free(&img);
    return false;
  }
  *w = static_cast<int>(img.width);
  *h = static_cast<int>(img.height);
  return true;
}

// Largest channel difference that the widening of narrow mask channels may
// cause against the reference decoders (they scale, this code repeats bits).
int Tolerance(const BmpLayout& l) {
  if (!l.hasMasks) return 0;
  for (std::uint32_t m : {l.masks.red, l.masks.green, l.masks.blue}) {
    const int bits = __builtin_popcount(m);
    if (bits != 8) return 2;
  }
  return 0;
}

TEST(BmpSuite, RenderingsMatchReferencePngs) {
  REQUIRE_CORPUS(dir);
  int compared = 0;
  for (const Entry& e : ReadManifest(dir)) {
    if (e.refPng == "-" ) continue;
    const std::string bytes = ReadFile(dir / e.path);
    test::PageGuard guard(bytes.size());
    std::vector<std::uint32_t> px;
    const BmpLayout l = ParseAndRender(guard, bytes, bytes.size(), &px);
    if (!l.ok) continue;  // the decision tests cover refusals
    int w = 0, h = 0;
    std::vector<std::uint8_t> ref;
    ASSERT_TRUE(ReadPng(dir / e.refPng, &w, &h, &ref)) << e.refPng;
    ASSERT_EQ(w, l.width) << e.path;
    ASSERT_EQ(static_cast<std::uint32_t>(h), l.absHeight) << e.path;
    const int tol = Tolerance(l);
    const bool alpha = l.hasMasks && l.masks.alpha != 0;
    int bad = 0;
    std::string first;
    for (std::size_t i = 0; i < px.size(); ++i) {
      const std::uint32_t p = px[i];
      const int got[4] = {int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF), int(p >> 24)};
      for (int c = 0; c < (alpha ? 4 : 3); ++c) {
        if (std::abs(got[c] - ref[4 * i + c]) > tol) {
          if (bad++ == 0)
            first = "pixel " + std::to_string(i) + " channel " + std::to_string(c) + ": " +
                    std::to_string(got[c]) + " vs " + std::to_string(ref[4 * i + c]);
          break;
        }
      }
    }
    EXPECT_EQ(bad, 0) << e.path << " differs from " << e.refPng << " (first: " << first << ")";
    ++compared;
  }
  EXPECT_GE(compared, 27);
}

// No independent decoder reads the 64-bit files, so they are compared with the
// suite's own image of the picture. The suite quantises its colours separately
// for that 8-bit image and for the 16-bit linear channels, so after the linear
// s2.13 -> sRGB rule a channel may be one step off (q/rgba64: one shade, 96
// values). Where the suite image is fully transparent it holds no colour
// (0,0,0,0) while the file keeps one: those pixels are left out. Alpha is not
// shown, so it is not compared.
TEST(BmpSuite, SixtyFourBitFilesMatchTheSuiteImage) {
  REQUIRE_CORPUS(dir);
  int compared = 0;
  for (const Entry& e : ReadManifest(dir)) {
    if (e.bpp != 64) continue;
    const std::string bytes = ReadFile(dir / e.path);
    test::PageGuard guard(bytes.size());
    std::vector<std::uint32_t> px;
    const BmpLayout l = ParseAndRender(guard, bytes, bytes.size(), &px);
    ASSERT_TRUE(l.ok) << e.path << ": " << BmpRefusalName(l.refusal);
    ASSERT_NE(e.suiteImage, "-") << e.path;
    const std::string image = e.suiteImage.substr(0, e.suiteImage.find(','));
    int w = 0, h = 0;
    std::vector<std::uint8_t> ref;
    ASSERT_TRUE(ReadPng(dir / "suite-ref" / image, &w, &h, &ref)) << image;
    ASSERT_EQ(w, l.width) << e.path;
    ASSERT_EQ(static_cast<std::uint32_t>(h), l.absHeight) << e.path;
    int bad = 0, shown = 0;
    std::string first;
    for (std::size_t i = 0; i < px.size(); ++i) {
      if (ref[4 * i + 3] == 0) continue;
      ++shown;
      const std::uint32_t p = px[i];
      const int got[3] = {int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
      for (int c = 0; c < 3; ++c) {
        if (std::abs(got[c] - ref[4 * i + c]) > 1) {
          if (bad++ == 0)
            first = "pixel " + std::to_string(i) + " channel " + std::to_string(c) + ": " +
                    std::to_string(got[c]) + " vs " + std::to_string(ref[4 * i + c]);
          break;
        }
      }
    }
    EXPECT_GT(shown, 0) << e.path;
    EXPECT_EQ(bad, 0) << e.path << " differs from " << image << " (first: " << first << ")";
    ++compared;
  }
  EXPECT_GE(compared, 1);
}
#else
TEST(BmpSuite, RenderingsMatchReferencePngs) {
  GTEST_SKIP() << "built without libpng: no comparison with the reference PNGs";
}

TEST(BmpSuite, SixtyFourBitFilesMatchTheSuiteImage) {
  GTEST_SKIP() << "built without libpng: no comparison with the suite's images";
}
#endif

}  // namespace
}  // namespace mv

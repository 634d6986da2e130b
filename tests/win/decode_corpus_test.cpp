// The public BMP suite through the real decoder under Wine: every good file
// decodes with the size, depth and colour table its manifest and its own
// bytes give; every questionable or bad one decodes or is refused, without
// crashing and without keeping anything when refused.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decode/decode_image.h"
#include "image/before_image.h"
#include "image/bmp_layout.h"
#include "plugins/spi_ctrl.h"
#include "tests/win/support/corpus.h"
#include "tests/win/support/paths.h"

namespace {

using mvtest::BmpFiles;
using mvtest::CorpusDir;
using mvtest::IsFile;
using mvtest::ReadAll;

struct ManifestRow {
  int bpp = 0, width = 0, height = 0;
};

// path ("g/pal8.bmp") -> the header fields the manifest lists.
std::map<std::string, ManifestRow> ReadManifest(const std::string& dir) {
  std::map<std::string, ManifestRow> rows;
  std::string text;
  if (!ReadAll(dir + "MANIFEST.tsv", text)) return rows;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) f.push_back(cell);
    if (f.size() < 7) continue;
    ManifestRow r;
    r.bpp = std::atoi(f[2].c_str());
    r.width = std::atoi(f[5].c_str());
    r.height = std::atoi(f[6].c_str());
    rows[f[0]] = r;
  }
  return rows;
}

struct Decoded {
  bool ok = false;
  std::unique_ptr<tag_BeforeImage> rec;
};

Decoded DecodeFile(QvSpiCtrl& host, const std::string& path) {
  Decoded d;
  d.rec = std::make_unique<tag_BeforeImage>();
  d.rec->FilePath = path;
  d.ok = DecodeImage(host, d.rec.get());
  return d;
}

class Corpus : public testing::Test {
 protected:
  void SetUp() override {
    std::string tried;
    dir_ = CorpusDir(&tried);
    if (dir_.empty())
      GTEST_SKIP() << "BMP suite not found (tried " << tried
                   << "); set MORVANE_CORPUS_WIN or MORVANE_CORPUS to the bmpsuite folder";
  }
  std::string dir_;
};

}  // namespace

TEST_F(Corpus, GoodFilesDecodeAsTheManifestSays) {
  const auto manifest = ReadManifest(dir_);
  ASSERT_FALSE(manifest.empty()) << "no MANIFEST.tsv in " << dir_;
  QvSpiCtrl host(mvtest::MakeScratchDir("corpus_noplugins"));
  const auto files = BmpFiles(dir_ + "g\\");
  ASSERT_GE(files.size(), 20u);
  for (const auto& name : files) {
    SCOPED_TRACE("g/" + name);
    const auto row = manifest.find("g/" + name);
    ASSERT_NE(row, manifest.end()) << "not in the manifest";
    const std::string path = dir_ + "g\\" + name;
    std::string bytes;
    ASSERT_TRUE(ReadAll(path, bytes));
    Decoded d = DecodeFile(host, path);
    ASSERT_TRUE(d.ok);
    const tag_BeforeImage& r = *d.rec;
    EXPECT_EQ(r.FormatIndex, 0);
    EXPECT_EQ(r.BitCount, row->second.bpp);
    EXPECT_EQ(r.Width, row->second.width);
    EXPECT_EQ(r.Height, row->second.height);
    EXPECT_EQ(r.FileSize, bytes.size());
    EXPECT_FALSE(r.Bitmap);
    ASSERT_TRUE(r.FileView);
    if (r.BitCount > 8) {
      EXPECT_FALSE(r.Palette);
      continue;
    }
    ASSERT_TRUE(r.Palette);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const mv::ColorTable table = mv::ReadColorTable(mv::ParseBmpLayout(data, bytes.size()), data, bytes.size());
    ASSERT_GT(table.present, 0u);
    WORD count = 0;
    ASSERT_EQ(::GetObjectA(r.Palette.get(), sizeof count, &count), static_cast<int>(sizeof count));
    ASSERT_EQ(count, 1u << r.BitCount);
    std::vector<PALETTEENTRY> e(count);
    ASSERT_EQ(::GetPaletteEntries(r.Palette.get(), 0, count, e.data()), count);
    for (unsigned i = 0; i < count; ++i) {
      const mv::RgbQuad& c = table.entries[i];
      EXPECT_TRUE(e[i].peRed == c.red && e[i].peGreen == c.green && e[i].peBlue == c.blue) << "entry " << i;
    }
  }
}

TEST_F(Corpus, OtherFilesDecodeOrAreRefusedCleanly) {
  QvSpiCtrl host(mvtest::MakeScratchDir("corpus_other_noplugins"));
  int total = 0, refused = 0;
  std::string refusedNames;
  const int views = mv::HandleCount<mv::ViewTraits>::live;
  const int palettes = mv::HandleCount<mv::GdiTraits<HPALETTE>>::live;
  for (const char* sub : {"q", "b", "x"}) {
    for (const auto& name : BmpFiles(dir_ + sub + "\\")) {
      SCOPED_TRACE(std::string(sub) + "/" + name);
      ++total;
      Decoded d = DecodeFile(host, dir_ + sub + "\\" + name);
      if (d.ok) {
        EXPECT_TRUE(d.rec->FileView);
        EXPECT_EQ(static_cast<bool>(d.rec->Palette), d.rec->BitCount <= 8);
        // Everything the layout promises lies inside the file.
        EXPECT_LE(d.rec->Layout.colorTableOffset, d.rec->FileSize);
        EXPECT_LE(d.rec->Layout.pixelOffset + d.rec->Layout.pixelBytesPresent,
                  static_cast<std::uint64_t>(d.rec->FileSize));
      } else {
        ++refused;
        refusedNames += std::string(" ") + sub + "/" + name;
        EXPECT_FALSE(d.rec->FileView);
        EXPECT_FALSE(d.rec->Palette);
        EXPECT_FALSE(d.rec->Bitmap);
      }
    }
  }
  EXPECT_GE(total, 40);
  EXPECT_EQ(mv::HandleCount<mv::ViewTraits>::live, views);
  EXPECT_EQ(mv::HandleCount<mv::GdiTraits<HPALETTE>>::live, palettes);
  std::printf("bmpsuite q/ b/ x/: %d files, %d decoded, %d refused:%s\n", total, total - refused, refused,
              refusedNames.c_str());
}

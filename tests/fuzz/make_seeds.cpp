// Writes a seed corpus for the fuzz targets: one small file of each variant
// the bitmap builder makes (bmp/), and plug-in info blocks (dib/).
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/bmp_builder.h"

using mv::test::BmpSpec;

namespace {

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<BmpSpec> Variants() {
  std::vector<BmpSpec> v;
  auto add = [&](std::uint32_t hs, std::uint16_t bpp, std::uint32_t comp, std::int32_t h) {
    BmpSpec s;
    s.headerSize = hs;
    s.bitCount = bpp;
    s.compression = comp;
    s.width = 7;
    s.height = h;
    if (comp == 1) s.pixels = {3, 1, 0, 3, 4, 5, 6, 0, 0, 0, 2, 1, 1, 2, 9, 0, 1};
    if (comp == 2) s.pixels = {3, 0x12, 0, 3, 0x45, 0x60, 0, 0, 0, 2, 1, 1, 0, 1};
    v.push_back(s);
  };
  for (std::uint16_t bpp : {1, 2, 4, 8, 16, 24, 32, 64}) {
    add(40, bpp, 0, 5);
    add(124, bpp, 0, -5);
  }
  for (std::uint16_t bpp : {1, 4, 8, 24}) add(12, bpp, 0, 5);
  add(64, 8, 0, 5);
  add(16, 4, 0, 5);
  add(40, 8, 1, 5);
  add(40, 4, 2, 5);
  add(64, 8, 1, 5);
  add(40, 16, 3, 5);
  add(40, 32, 3, 5);
  add(40, 32, 6, 5);
  add(52, 32, 3, -5);
  add(56, 16, 3, 5);
  add(108, 32, 3, 5);
  BmpSpec shortTable;
  shortTable.bitCount = 8;
  shortTable.palette.assign(5, 0x336699);
  v.push_back(shortTable);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR (OUTDIR/bmp and OUTDIR/dib must exist)\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  int i = 0;
  for (const BmpSpec& s : Variants()) {
    const std::string n = std::to_string(i++);
    Write(out + "/bmp/seed" + n + ".bmp", mv::test::BuildBmp(s));
    if (s.headerSize >= 40 && s.compression != 1 && s.compression != 2 && s.compression != 6) {
      const std::size_t bits = mv::test::RowStride(s.width, s.bitCount) * 5;
      std::string d(4, '\0');
      mv::test::Put32(d, 0, static_cast<std::uint32_t>(bits));
      Write(out + "/dib/seed" + n + ".bin", d + mv::test::BuildDibInfo(s));
    }
  }
  return 0;
}

#include "tests/support/bmp_builder.h"

namespace mv::test {
namespace {

void Add16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Add32(std::string& s, std::uint32_t v) {
  Add16(s, v & 0xFFFF);
  Add16(s, v >> 16);
}

bool IsBitfields(const BmpSpec& recipe) { return recipe.compression == 3 || recipe.compression == 6; }

std::vector<std::uint32_t> Masks(const BmpSpec& recipe) {
  if (recipe.masks) {
    std::vector<std::uint32_t> m = *recipe.masks;
    m.resize(4, 0);
    return m;
  }
  if (recipe.bitCount == 16) return {0xF800, 0x07E0, 0x001F, 0};
  return {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
}

std::vector<std::uint32_t> Palette(const BmpSpec& recipe) {
  if (recipe.noPalette || recipe.bitCount > 8) return recipe.palette;
  if (!recipe.palette.empty()) return recipe.palette;
  const std::uint32_t n = 1u << recipe.bitCount;
  std::vector<std::uint32_t> ramp(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t g = n == 1 ? 0 : i * 255 / (n - 1);
    ramp[i] = (g << 16) | (g << 8) | g;
  }
  return ramp;
}

// Header, masks and colour table: everything between the file header and the pixels.
std::string InfoPart(const BmpSpec& recipe, std::size_t pixelBytes) {
  std::string s;
  const std::vector<std::uint32_t> pal = Palette(recipe);
  const std::uint32_t hs = recipe.headerSize;
  Add32(s, hs);
  if (hs == 12) {
    Add16(s, static_cast<std::uint32_t>(recipe.width) & 0xFFFF);
    Add16(s, static_cast<std::uint32_t>(recipe.height) & 0xFFFF);
    Add16(s, recipe.planes);
    Add16(s, recipe.bitCount);
  } else {
    Add32(s, static_cast<std::uint32_t>(recipe.width));
    Add32(s, static_cast<std::uint32_t>(recipe.height));
    Add16(s, recipe.planes);
    Add16(s, recipe.bitCount);
    Add32(s, recipe.compression);
    Add32(s, recipe.sizeImage.value_or(static_cast<std::uint32_t>(pixelBytes)));
    Add32(s, 2835);  // 72 dpi
    Add32(s, 2835);
    Add32(s, recipe.clrUsed.value_or(recipe.bitCount <= 8 ? static_cast<std::uint32_t>(pal.size()) : 0));
    Add32(s, 0);     // biClrImportant
    const std::vector<std::uint32_t> m = Masks(recipe);
    const bool writeMasks = recipe.masks || IsBitfields(recipe);
    if (hs >= 52) {
      for (int i = 0; i < 3; ++i) Add32(s, writeMasks ? m[i] : 0);
      if (hs >= 56) Add32(s, writeMasks ? m[3] : 0);
    }
    if (hs >= 108) Add32(s, 0x73524742);  // bV4CSType LCS_sRGB: no endpoints used
  }
  s.resize(hs, '\0');  // endpoints, gamma, V5 fields; or an OS/2 v2 tail; or a cut
  if (hs == 40 && IsBitfields(recipe)) {
    const std::vector<std::uint32_t> m = Masks(recipe);
    for (int i = 0; i < (recipe.compression == 6 ? 4 : 3); ++i) Add32(s, m[i]);
  }
  for (std::uint32_t c : pal) {
    s.push_back(static_cast<char>(c & 0xFF));
    s.push_back(static_cast<char>((c >> 8) & 0xFF));
    s.push_back(static_cast<char>((c >> 16) & 0xFF));
    if (hs != 12) s.push_back('\0');
  }
  return s;
}

std::vector<std::uint8_t> Pixels(const BmpSpec& recipe) {
  if (!recipe.pixels.empty()) return recipe.pixels;
  if (recipe.compression == 1 || recipe.compression == 2) return {0, 1};
  const std::size_t stride = RowStride(recipe.width, recipe.bitCount);
  const std::size_t rows = static_cast<std::size_t>(recipe.height < 0 ? -std::int64_t{recipe.height}
                                                                     : recipe.height);
  std::vector<std::uint8_t> px(stride * rows);
  for (std::size_t y = 0; y < rows; ++y)
    for (std::size_t x = 0; x < stride; ++x)
      px[y * stride + x] = static_cast<std::uint8_t>(x * 7 + y * 13 + 1);
  return px;
}

}  // namespace

std::size_t RowStride(std::int32_t width, unsigned bitCount) {
  return (static_cast<std::size_t>(static_cast<std::uint32_t>(width)) * bitCount + 31) / 32 * 4;
}

std::vector<std::uint8_t> PackRows(const std::vector<std::vector<std::uint32_t>>& rows,
                                   unsigned bitCount) {
  std::vector<std::uint8_t> out;
  for (const auto& row : rows) {
    const std::size_t start = out.size();
    const std::size_t stride = RowStride(static_cast<std::int32_t>(row.size()), bitCount);
    out.resize(start + stride, 0);
    std::uint8_t* p = out.data() + start;
    for (std::size_t x = 0; x < row.size(); ++x) {
      const std::uint32_t v = row[x];
      switch (bitCount) {
        case 1: case 2: case 4: case 8: {
          const std::size_t perByte = 8 / bitCount;
          const unsigned shift = static_cast<unsigned>(8 - bitCount * (x % perByte + 1));
          p[x / perByte] |= static_cast<std::uint8_t>((v & ((1u << bitCount) - 1)) << shift);
          break;
        }
        case 16:
          p[2 * x] = v & 0xFF;
          p[2 * x + 1] = (v >> 8) & 0xFF;
          break;
        case 24:
          p[3 * x] = v & 0xFF;
          p[3 * x + 1] = (v >> 8) & 0xFF;
          p[3 * x + 2] = (v >> 16) & 0xFF;
          break;
        case 32:
          for (int b = 0; b < 4; ++b) p[4 * x + b] = (v >> (8 * b)) & 0xFF;
          break;
        default:
          break;
      }
    }
  }
  return out;
}

std::vector<std::uint8_t> PackRows64(const std::vector<std::vector<Pixel64>>& rows) {
  std::vector<std::uint8_t> out;
  for (const auto& row : rows) {
    for (const Pixel64& px : row) {
      for (std::int16_t v : {px.b, px.g, px.r, px.a}) {
        const auto u = static_cast<std::uint16_t>(v);
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
      }
    }
  }
  return out;
}

std::string PlainBmp(int bitCount, std::int32_t width, std::int32_t height) {
  BmpSpec recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.bitCount = static_cast<std::uint16_t>(bitCount);
  return BuildBmp(recipe);
}

std::string BuildBmp(const BmpSpec& recipe) {
  const std::vector<std::uint8_t> px = Pixels(recipe);
  const std::string info = InfoPart(recipe, px.size());
  const std::uint32_t pixelStart = static_cast<std::uint32_t>(14 + info.size() + recipe.gapBeforePixels);
  const std::uint32_t total = static_cast<std::uint32_t>(pixelStart + px.size());
  std::string s = "BM";
  Add32(s, recipe.fileSize.value_or(total));
  Add32(s, 0);  // reserved
  Add32(s, recipe.offBits.value_or(pixelStart));
  s += info;
  s.append(recipe.gapBeforePixels, '\0');
  s.append(px.begin(), px.end());
  return s;
}

std::string BuildDibInfo(const BmpSpec& recipe) {
  return InfoPart(recipe, recipe.pixels.size());
}

void Put16(std::string& bytes, std::size_t offset, std::uint16_t v) {
  bytes.at(offset) = static_cast<char>(v & 0xFF);
  bytes.at(offset + 1) = static_cast<char>(v >> 8);
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t v) {
  Put16(bytes, offset, v & 0xFFFF);
  Put16(bytes, offset + 2, static_cast<std::uint16_t>(v >> 16));
}

std::uint32_t Get32(const std::string& bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(bytes.at(offset + i));
  return v;
}

}  // namespace mv::test

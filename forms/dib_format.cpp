#include "forms/dib_format.h"

#include <algorithm>
#include <cstring>

namespace forms {

int StoredBits(int bit_count) {
  switch (bit_count) {
    case 1: case 4: case 8: case 16: case 24: return bit_count;
    default: return 32;
  }
}

std::size_t DibStride(int width, int bits) {
  return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

void FillDibHeader(DibHeader& out, int width, int height, int bits, const RGBQUAD* table) {
  std::memset(&out, 0, sizeof out);
  out.header.biSize = sizeof(BITMAPINFOHEADER);
  out.header.biWidth = width;
  out.header.biHeight = height;
  out.header.biPlanes = 1;
  out.header.biBitCount = static_cast<WORD>(bits);
  out.header.biCompression = BI_RGB;
  if (bits <= 8) {
    std::copy_n(table, 1 << bits, out.colors);
  } else if (bits == 16) {
    out.header.biCompression = BI_BITFIELDS;
    out.masks[0] = 0xF800;
    out.masks[1] = 0x07E0;
    out.masks[2] = 0x001F;
  }
}

}  // namespace forms

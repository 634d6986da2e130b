// The one layout a bitmap object keeps its pixels in, wherever they were
// made (here, or in a plug-in worker that hands them over in shared
// memory): bottom-up rows of 1, 4, 8, 24 or 32 bits per pixel, 16 bits as
// 5-6-5 bit fields; any other bit count is kept as 32 bits.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace forms {

// The bits per pixel a picture of `bit_count` is stored in.
int StoredBits(int bit_count);

// Bytes per row at `bits` per pixel.
std::size_t DibStride(int width, int bits);

struct DibHeader {
  BITMAPINFOHEADER header;
  union {
    RGBQUAD colors[256];
    DWORD masks[3];
  };
};

// The header of a bitmap of this size at `bits` (a StoredBits value); for 8
// bits or fewer its table is the first 2^bits entries of `table` (256).
void FillDibHeader(DibHeader& out, int width, int height, int bits, const RGBQUAD* table);

}  // namespace forms

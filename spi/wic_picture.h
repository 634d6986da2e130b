// The plug-in's decoding: the first frame of a file in memory as the two
// movable blocks of a Susie import plug-in (BITMAPINFO, bottom-up rows).
#pragma once

#include <windows.h>

#include <cstdint>

#include "susie/spi_interface.h"

namespace mv::wic {

// What GetPictureInfo reports; packed as the interface lays it out.
#pragma pack(push, 1)
struct SpiPictureInfo {
  long left, top;
  long width, height;
  WORD x_density, y_density;  // dots per inch, 0 when unknown
  short color_depth;          // bits per pixel of GetPicture's output
#ifdef _WIN64
  WORD padding;  // the 64-bit interface aligns the handle
#endif
  HLOCAL text;                // comment block: never any here
};
#pragma pack(pop)

// On spi::kOk both blocks belong to the caller; on any other answer they are null.
int DecodePicture(const std::uint8_t* data, std::uint32_t size, SpiProgressCallback progress, LONG_PTR user_data,
                  HANDLE* info, HANDLE* bits);
int DescribePicture(const std::uint8_t* data, std::uint32_t size, SpiPictureInfo* out);

}  // namespace mv::wic

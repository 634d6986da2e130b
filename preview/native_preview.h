// Drawing a native bitmap from its mapped file into a bitmap object, with
// nothing read beyond what the checked layout says the file holds.
#pragma once

#include "forms/bitmap.h"

#include "forms/bitmap.h"

struct tag_BeforeImage;

#include <windows.h>

#include <cstdint>

// A native bitmap that GDI can draw straight from its mapped file: a
// private header built from the checked layout (GDI reads as many bytes as
// a header implies, so it never sees the file's own) and the rows the file
// really holds.
struct NativeDib {
  struct {
    BITMAPINFOHEADER header;
    union {
      RGBQUAD colors[256];
      DWORD masks[3];
    };
  } info;
  const std::uint8_t* pixels = nullptr;
  int width = 0, height = 0;  // the picture (height upright, positive)
  int rows = 0;               // rows present in the file
  int dest_y = 0;             // where the present rows start in the picture
};

// True when the image can be drawn without a copy of its pixels.
bool PrepareNativeDib(const tag_BeforeImage& image, NativeDib& dib);
// Draws it with its top-left corner at (x, y); GDI clips to the DC.
void PaintNativeDib(HDC dc, int x, int y, const NativeDib& dib);

// Reshapes `target` to the image (its real height, upright) in the pixel
// format of its bit count and fills it from the file.
void DrawNativeImage(forms::Bitmap& target, const tag_BeforeImage& image);

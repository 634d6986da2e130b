#include "image/image_surface.h"

#include "forms/bitmap.h"

void ImageSurface::PaintBlack(HDC dc, int x, int y) const {
  RECT all{x, y, x + width_, y + height_};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

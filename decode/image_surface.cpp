#include "decode/image_surface.h"

#include "forms/bitmap.h"

bool ImageSurface::Prepare(forms::Bitmap& offscreen) const {
  offscreen.Clear();  // nothing to expand: the viewer's bitmap gives its memory back
  return true;
}

void ImageSurface::PaintBlack(HDC dc, int x, int y) const {
  RECT all{x, y, x + width_, y + height_};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

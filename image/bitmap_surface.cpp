// A plug-in's picture: a bitmap object GDI draws as it is.
#include "forms/bitmap.h"
#include "image/image_surface.h"

namespace {

class BitmapSurface final : public ImageSurface {
 public:
  explicit BitmapSurface(forms::Bitmap& bitmap) : ImageSurface(bitmap.Width(), bitmap.Height()), bitmap_(bitmap) {}

  void Paint(HDC dc, int x, int y, forms::Bitmap&) const override {
    ::BitBlt(dc, x, y, Width(), Height(), bitmap_.CanvasHandle(), 0, 0, SRCCOPY);
  }

 private:
  forms::Bitmap& bitmap_;
};

}  // namespace

std::unique_ptr<ImageSurface> MakeBitmapSurface(forms::Bitmap& bitmap) {
  return std::make_unique<BitmapSurface>(bitmap);
}

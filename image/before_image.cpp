#include "image/before_image.h"

int DepthIconFor(int bit_count) {
  switch (bit_count) {
    case 1: return 0;
    case 4: return 1;
    case 8: return 2;
    case 16: return 3;
    case 24: return 4;
    case 32: return 5;
    default: return 6;
  }
}

namespace mv {

void TakePicture(tag_BeforeImage& image, DecodedPicture&& picture) {
  image.Width = picture.width;
  image.Height = picture.height;
  image.BitCount = picture.bitCount;
  image.DepthIcon = DepthIconFor(image.BitCount);
  image.Colors = picture.colors;
  image.Surface = MakeBitmapSurface(*picture.bitmap);
  image.Bitmap = std::move(picture.bitmap);
}

}  // namespace mv

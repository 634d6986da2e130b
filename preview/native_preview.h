// Drawing a native bitmap from its mapped file into a bitmap object, with
// nothing read beyond what the checked layout says the file holds.
#pragma once

#include "forms/bitmap.h"

struct tag_BeforeImage;

// Reshapes `target` to the image (its real height, upright) in the pixel
// format of its bit count and fills it from the file.
void DrawNativeImage(forms::Bitmap& target, const tag_BeforeImage& image);

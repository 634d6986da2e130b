// A Windows bitmap read by the program itself: the whole file mapped
// read-only for as long as the image is listed, its headers checked
// against the file's real length before anything reads them.
#pragma once

#include "image/before_image.h"

// Maps the file and fills the record from it. Once the file is open, the
// mapping is named by `mapping_counter` in decimal, which then counts on
// (an unnamed mapping is used when the name is taken). False when the file
// cannot be opened, mapped or read, or holds no bitmap that can be shown
// safely.
bool DecodeNativeBitmap(tag_BeforeImage& image, int& mapping_counter);

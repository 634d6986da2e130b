// Turning one file into a decoded image: Windows bitmaps in place through
// a read-only mapping, everything else through the first enabled plug-in
// of the host that accepts and decodes it.
#pragma once

#include "image/before_image.h"

class QvSpiCtrl;

// Decodes the file the record names (its WidePath, or else its FilePath)
// into the record: its names, how it was decoded, and the image. True when
// it now holds one. Shows nothing: the caller tells the user what failed.
bool DecodeImage(QvSpiCtrl& host, tag_BeforeImage* image);

// The logical palette of a colour table: the one builder behind every
// palette the program realises.
#pragma once

#include <windows.h>

#include "base/handles.h"

namespace forms {

// `count` entries (1 to 256) of `colors`, flags 0; null when the system
// refuses it.
mv::unique_hpalette MakeLogicalPalette(const RGBQUAD* colors, int count);

}  // namespace forms

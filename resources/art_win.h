// The pictures of resources/pixel_art.h as Windows objects: image lists,
// bitmaps and icons. Nothing here throws; a failure gives an empty handle.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "base/handles.h"
#include "resources/pixel_art.h"

namespace mv {

using art::FormIconKind;

// The colour the picker glyphs use for "no paint here".
inline constexpr COLORREF kGlyphTransparentColour = RGB(0, 128, 128);

// --- Conversions, for pictures of any size. ---

// A 32-bit top-down DIB section; transparent pixels become black with alpha
// 0, so both alpha-aware and mask-based drawing leave them unpainted.
unique_hbitmap BitmapFromPicture(const art::Picture& pic);
// A 4-bit DIB section with the kVga16 colour table; transparent pixels get
// black. Empty if a pixel's colour is not one of the 16.
unique_hbitmap Bitmap16FromPicture(const art::Picture& pic);
// A monochrome bitmap: white (1) where the picture is transparent, black
// where it is drawn. This is the mask that image lists and icons take.
unique_hbitmap MaskFromPicture(const art::Picture& pic);

// --- The program's pictures. ---

// The seven bit-depth icons, 16 × 16, ILC_COLOR32 | ILC_MASK, in the order
// "1", "4", "8", "16", "24", "32", "?".
unique_himagelist MakeBitDepthImageList();
// One 30 × 30 image, the word LOAD on yellow; its cut corners are masked out.
unique_himagelist MakeToolButtonImageList();
// The 20 × 20 picker glyph as a 4-bit DIB section; the caller draws its
// teal (kGlyphTransparentColour) as see-through.
unique_hbitmap MakeTriangleGlyph(bool up);
// Both picker glyphs, 20 × 20 with the teal masked out: 0 up, 1 down.
unique_himagelist MakeTriangleImageList();
// A window icon of 16 colours; size 16 or 32 (see art::FormIcon).
unique_hicon MakeFormIcon(FormIconKind kind, int size);
// Icon number index of an image list as a separate icon the caller owns
// (the viewers' window icons); empty for an index the list does not have.
unique_hicon IconFromImageList(HIMAGELIST list, int index);

}  // namespace mv

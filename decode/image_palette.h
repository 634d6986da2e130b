// The logical palette of a native bitmap, from its colour table.
#pragma once

struct tag_BeforeImage;

// Sets the record's Palette: 2 to the power of its bit count entries from
// the file's colour table (entries the file lacks are black).
void CreateImagePalette(tag_BeforeImage& image);

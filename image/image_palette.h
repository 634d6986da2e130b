// The logical palette of a native bitmap, from its colour table.
#pragma once

struct tag_BeforeImage;

// Reads the file's colour table into the record's Colors (entries the file
// lacks are black) and sets its Palette: 2 to the power of its bit count
// entries of it. False only
// when the table could not be read from the mapped file (a read error); a
// palette the system refuses leaves Palette null and answers true.
bool CreateImagePalette(tag_BeforeImage& image);

// How the source list and both viewers' pickers show a listed image: its
// bit-depth icon, then its name, vertically centred.
#pragma once

#include <string>
#include <vector>

#include "forms/image_list.h"
#include "forms/item_list.h"
#include "image/before_image.h"

namespace mv {

// The icon's height and a little room.
int ImageItemHeight(const forms::ImageList& icons);
// Where the name starts, from the item's left edge.
int ImageItemTextLeft(const forms::ImageList& icons);
// Paints the item of images[item.index] with the image's name as the file
// system has it; where the store has no such image, `name` without an icon.
void DrawImageItem(forms::DrawItemArgs& item, const forms::ImageList& icons,
                   const std::vector<tag_BeforeImage*>& images, const std::string& name);

}  // namespace mv

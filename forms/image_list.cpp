#include "forms/image_list.h"

namespace forms {

int ImageList::Width() const {
  int w = 0, h = 0;
  ImageList_GetIconSize(list_.get(), &w, &h);
  return w;
}

int ImageList::Height() const {
  int w = 0, h = 0;
  ImageList_GetIconSize(list_.get(), &w, &h);
  return h;
}

void ImageList::Draw(HDC dc, int index, int x, int y) const {
  ImageList_Draw(list_.get(), index, dc, x, y, ILD_NORMAL);
}

HICON ImageList::Icon(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  if (icons_.size() < static_cast<size_t>(Count())) icons_.resize(static_cast<size_t>(Count()));
  auto& icon = icons_[static_cast<size_t>(index)];
  if (!icon) icon.reset(ImageList_GetIcon(list_.get(), index, ILD_NORMAL));
  return icon.get();
}

}  // namespace forms

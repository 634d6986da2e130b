// An image list the program owns, with the icons made from it on demand.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "base/handles.h"

namespace forms {

class ImageList {
 public:
  explicit ImageList(mv::unique_himagelist list) : list_(std::move(list)) {}

  HIMAGELIST Handle() const { return list_.get(); }
  int Count() const { return ImageList_GetImageCount(list_.get()); }
  int Width() const;
  int Height() const;
  // Draws image `index` with its top-left corner at (x, y), enabled look.
  void Draw(HDC dc, int index, int x, int y) const;
  // Image `index` as an icon, kept by the list; null for a bad index.
  HICON Icon(int index);

 private:
  mv::unique_himagelist list_;
  std::vector<mv::unique_hicon> icons_;
};

}  // namespace forms

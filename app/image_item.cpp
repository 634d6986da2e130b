#include "app/image_item.h"

#include "base/wide_text.h"

namespace mv {

namespace {
constexpr int kItemPadding = 4;  // icon height + 4 = item height; icon width + 4 = text start
constexpr int kIconInset = 2;
}  // namespace

int ImageItemHeight(const forms::ImageList& icons) { return icons.Height() + kItemPadding; }

int ImageItemTextLeft(const forms::ImageList& icons) { return icons.Width() + kItemPadding; }

void DrawImageItem(forms::DrawItemArgs& item, const forms::ImageList& icons,
                   const std::vector<tag_BeforeImage*>& images, const std::string& name) {
  const RECT& r = item.rect;
  item.canvas.FillRect(r);
  const tag_BeforeImage* image =
      item.index >= 0 && item.index < static_cast<int>(images.size()) ? images[item.index] : nullptr;
  if (image) icons.Draw(item.canvas.Handle(), image->DepthIcon, r.left + kIconInset, r.top + kIconInset);
  const std::wstring text = image ? image->WideName : mv::WideFromAnsi(name);
  const int th = item.canvas.TextExtent(text).cy;
  item.canvas.TextOut(r.left + ImageItemTextLeft(icons), r.top + (r.bottom - r.top - th) / 2, text);
}

}  // namespace mv

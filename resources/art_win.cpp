#include "resources/art_win.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace mv {

namespace {

// BITMAPINFO has room for one colour only; this one holds a 16-entry table.
struct BitmapInfo16 {
  BITMAPINFOHEADER header;
  RGBQUAD colours[16];
};

BITMAPINFOHEADER TopDownHeader(int width, int height, WORD bits) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = width;
  h.biHeight = -height;  // top-down, the row order of art::Picture
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = BI_RGB;
  return h;
}

}  // namespace

unique_hbitmap BitmapFromPicture(const art::Picture& pic) {
  if (pic.empty()) return {};
  BITMAPINFO info{};
  info.bmiHeader = TopDownHeader(pic.width, pic.height, 32);
  void* bits = nullptr;
  unique_hbitmap bmp(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp || !bits) return {};
  auto* out = static_cast<std::uint32_t*>(bits);  // rows of 32 bits need no padding
  for (std::size_t i = 0; i < pic.bgra.size(); ++i)
    out[i] = art::IsTransparent(pic.bgra[i]) ? 0u : pic.bgra[i];
  ::GdiFlush();
  return bmp;
}

unique_hbitmap Bitmap16FromPicture(const art::Picture& pic) {
  if (pic.empty()) return {};
  BitmapInfo16 info{};
  info.header = TopDownHeader(pic.width, pic.height, 4);
  info.header.biClrUsed = 16;
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t c = art::kVga16[i];
    info.colours[i] = RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8),
                              static_cast<BYTE>(c >> 16), 0};
  }
  // Map every pixel first, so a stray colour costs no GDI object.
  const std::size_t stride = ((static_cast<std::size_t>(pic.width) * 4 + 31) / 32) * 4;
  std::vector<BYTE> rows(stride * pic.height, 0);
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x) {
      const std::uint32_t c = pic.at(x, y);
      const int index = art::IsTransparent(c) ? 0 : art::Vga16Index(c);
      if (index < 0) return {};
      BYTE& b = rows[y * stride + x / 2];
      b |= (x % 2 == 0) ? static_cast<BYTE>(index << 4) : static_cast<BYTE>(index);
    }
  void* bits = nullptr;
  unique_hbitmap bmp(::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                                        DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bmp || !bits) return {};
  std::memcpy(bits, rows.data(), rows.size());
  ::GdiFlush();
  return bmp;
}

unique_hbitmap MaskFromPicture(const art::Picture& pic) {
  if (pic.empty()) return {};
  // CreateBitmap wants monochrome rows padded to 16 bits, leftmost pixel in
  // the high bit.
  const std::size_t stride = ((static_cast<std::size_t>(pic.width) + 15) / 16) * 2;
  std::vector<BYTE> rows(stride * pic.height, 0);
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x)
      if (art::IsTransparent(pic.at(x, y)))
        rows[y * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  return unique_hbitmap(::CreateBitmap(pic.width, pic.height, 1, 1, rows.data()));
}

namespace {

// Appends one picture to an image list through an explicit mask, so no
// colour of the picture can turn transparent by accident.
bool AddPicture(HIMAGELIST list, const art::Picture& pic) {
  unique_hbitmap colour = BitmapFromPicture(pic);
  unique_hbitmap mask = MaskFromPicture(pic);
  if (!colour || !mask) return false;
  return ::ImageList_Add(list, colour.get(), mask.get()) >= 0;  // the list copies both
}

unique_himagelist MakeList(int width, int height, UINT flags, int count) {
  return unique_himagelist(::ImageList_Create(width, height, flags, count, 0));
}

}  // namespace

unique_himagelist MakeBitDepthImageList() {
  unique_himagelist list = MakeList(art::kBitDepthIconSize, art::kBitDepthIconSize,
                                    ILC_COLOR32 | ILC_MASK, art::kBitDepthIconCount);
  if (!list) return {};
  for (int i = 0; i < art::kBitDepthIconCount; ++i)
    if (!AddPicture(list.get(), art::BitDepthIcon(i))) return {};
  return list;
}

unique_himagelist MakeToolButtonImageList() {
  unique_himagelist list =
      MakeList(art::kLoadButtonSize, art::kLoadButtonSize, ILC_COLOR32 | ILC_MASK, 1);
  if (!list || !AddPicture(list.get(), art::LoadButton())) return {};
  return list;
}

unique_hbitmap MakeTriangleGlyph(bool up) { return Bitmap16FromPicture(art::TriangleGlyph(up)); }

unique_himagelist MakeTriangleImageList() {
  unique_himagelist list = MakeList(art::kGlyphSize, art::kGlyphSize, ILC_COLOR32 | ILC_MASK, 2);
  if (!list) return {};
  for (bool up : {true, false}) {
    art::Picture pic = art::TriangleGlyph(up);
    for (std::uint32_t& c : pic.bgra)
      if (c == art::kGlyphBackground) c = art::kTransparent;
    if (!AddPicture(list.get(), pic)) return {};
  }
  return list;
}

unique_hicon MakeFormIcon(FormIconKind kind, int size) {
  const art::Picture pic = art::FormIcon(kind, size);
  unique_hbitmap colour = Bitmap16FromPicture(pic);
  unique_hbitmap mask = MaskFromPicture(pic);
  if (!colour || !mask) return {};
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask.get();
  info.hbmColor = colour.get();
  return unique_hicon(::CreateIconIndirect(&info));  // copies both bitmaps
}

unique_hicon IconFromImageList(HIMAGELIST list, int index) {
  if (!list || index < 0 || index >= ::ImageList_GetImageCount(list)) return {};
  return unique_hicon(::ImageList_GetIcon(list, index, ILD_NORMAL));
}

}  // namespace mv

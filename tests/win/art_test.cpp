// The pictures as real GDI and common-control objects: image lists, DIB
// sections and icons, drawn through the system and read back pixel by pixel.
#include "resources/art_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/win/support/paths.h"

using namespace mv;

namespace {

constexpr std::uint32_t kMagenta = 0xFF00FF;  // a background none of the pictures use

// A 32-bit top-down DIB section selected into a memory DC, filled with one
// colour, whose pixels the test reads directly.
class Canvas {
 public:
  Canvas(int w, int h, std::uint32_t rgb) : w_(w), h_(h) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bmp_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<std::uint32_t*>(bits);
    dc_.reset(::CreateCompatibleDC(nullptr));
    old_ = ::SelectObject(dc_.get(), bmp_.get());
    for (int i = 0; i < w * h; ++i) bits_[i] = rgb;
  }
  ~Canvas() { ::SelectObject(dc_.get(), old_); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool ok() const { return dc_ && bmp_ && bits_; }
  HDC dc() const { return dc_.get(); }
  std::uint32_t rgb(int x, int y) const {
    ::GdiFlush();
    return bits_[y * w_ + x] & 0xFFFFFF;
  }

 private:
  int w_, h_;
  unique_hbitmap bmp_;
  unique_hdc dc_;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* bits_ = nullptr;
};

// Compares what was drawn at (ox, oy) with the picture laid over the
// background; reports the first few differing pixels.
::testing::AssertionResult Shows(const Canvas& c, int ox, int oy, const art::Picture& pic,
                                 std::uint32_t background) {
  int bad = 0;
  std::string where;
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x) {
      std::uint32_t want = art::IsTransparent(pic.at(x, y)) ? background : pic.at(x, y) & 0xFFFFFF;
      std::uint32_t got = c.rgb(ox + x, oy + y);
      if (got != want && ++bad <= 5) {
        char buf[96];
        wsprintfA(buf, " (%d,%d) want %06X got %06X;", x, y, want, got);
        where += buf;
      }
    }
  if (bad == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << bad << " pixels differ:" << where;
}

SIZE IconSizeOf(HIMAGELIST list) {
  int cx = 0, cy = 0;
  ::ImageList_GetIconSize(list, &cx, &cy);
  return SIZE{cx, cy};
}

SIZE BitmapSize(HBITMAP bmp) {
  BITMAP bm{};
  ::GetObjectA(bmp, sizeof(bm), &bm);
  return SIZE{bm.bmWidth, bm.bmHeight};
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(BitDepthImageListTest, SevenSixteenPixelIcons) {
  unique_himagelist list = MakeBitDepthImageList();
  ASSERT_TRUE(list);
  EXPECT_EQ(::ImageList_GetImageCount(list.get()), 7);
  SIZE s = IconSizeOf(list.get());
  EXPECT_EQ(s.cx, 16);
  EXPECT_EQ(s.cy, 16);
}

TEST(BitDepthImageListTest, DrawingEachIconGivesItsPixels) {
  unique_himagelist list = MakeBitDepthImageList();
  ASSERT_TRUE(list);
  for (int i = 0; i < art::kBitDepthIconCount; ++i) {
    SCOPED_TRACE(std::string(art::BitDepthLabel(i)));
    // Drawn the way a list item draws it: at an offset, onto white.
    Canvas c(24, 24, 0xFFFFFF);
    ASSERT_TRUE(c.ok());
    ASSERT_TRUE(::ImageList_Draw(list.get(), i, c.dc(), 2, 2, ILD_NORMAL));
    EXPECT_TRUE(Shows(c, 2, 2, art::BitDepthIcon(i), 0xFFFFFF));
    // Spot checks of what the icon must show: the frame, the white field,
    // and nothing drawn outside the 16 × 16 square.
    EXPECT_EQ(c.rgb(2, 2), 0x000000u);
    EXPECT_EQ(c.rgb(17, 17), 0x000000u);
    EXPECT_EQ(c.rgb(3, 3), 0xFFFFFFu);
    EXPECT_EQ(c.rgb(1, 1), 0xFFFFFFu);
    EXPECT_EQ(c.rgb(18, 18), 0xFFFFFFu);
    int red = 0;
    for (int y = 3; y < 17; ++y)
      for (int x = 3; x < 17; ++x) red += c.rgb(x, y) == 0xFF0000;
    EXPECT_GT(red, 0);
  }
}

TEST(BitDepthImageListTest, IconsTakenFromTheListDrawTheSame) {
  unique_himagelist list = MakeBitDepthImageList();
  ASSERT_TRUE(list);
  for (int i : {0, 3, 6}) {
    unique_hicon icon = IconFromImageList(list.get(), i);
    ASSERT_TRUE(icon) << i;
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
    unique_hbitmap colour(info.hbmColor), mask(info.hbmMask);  // GetIconInfo hands over copies
    SIZE s = BitmapSize(colour.get());
    EXPECT_EQ(s.cx, 16);
    EXPECT_EQ(s.cy, 16);
    Canvas c(16, 16, kMagenta);
    ASSERT_TRUE(::DrawIconEx(c.dc(), 0, 0, icon.get(), 16, 16, 0, nullptr, DI_NORMAL));
    EXPECT_TRUE(Shows(c, 0, 0, art::BitDepthIcon(i), kMagenta)) << i;
  }
  EXPECT_FALSE(IconFromImageList(list.get(), 7));
  EXPECT_FALSE(IconFromImageList(list.get(), -1));
  EXPECT_FALSE(IconFromImageList(nullptr, 0));
}

// ---------------------------------------------------------------------------

TEST(ToolButtonImageListTest, OneLoadPictureWithMaskedCorners) {
  unique_himagelist list = MakeToolButtonImageList();
  ASSERT_TRUE(list);
  EXPECT_EQ(::ImageList_GetImageCount(list.get()), 1);
  SIZE s = IconSizeOf(list.get());
  EXPECT_EQ(s.cx, 30);
  EXPECT_EQ(s.cy, 30);
  // On a contrasting face the cut corners let the face through and the rest
  // is exactly the picture.
  Canvas c(30, 30, kMagenta);
  ASSERT_TRUE(::ImageList_Draw(list.get(), 0, c.dc(), 0, 0, ILD_TRANSPARENT));
  EXPECT_TRUE(Shows(c, 0, 0, art::LoadButton(), kMagenta));
  EXPECT_EQ(c.rgb(0, 0), kMagenta);
  EXPECT_EQ(c.rgb(29, 29), kMagenta);
  EXPECT_EQ(c.rgb(15, 1), 0xFFFF00u);  // yellow reaches the top edge
  int black = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) black += c.rgb(x, y) == 0;
  EXPECT_GT(black, 40);  // the four letters
}

// ---------------------------------------------------------------------------

TEST(TriangleGlyphTest, FourBitDibWithTealBackground) {
  for (bool up : {true, false}) {
    SCOPED_TRACE(up ? "up" : "down");
    unique_hbitmap glyph = MakeTriangleGlyph(up);
    ASSERT_TRUE(glyph);
    DIBSECTION ds{};
    ASSERT_EQ(::GetObjectA(glyph.get(), sizeof(ds), &ds), static_cast<int>(sizeof(ds)));
    EXPECT_EQ(ds.dsBm.bmWidth, 20);
    EXPECT_EQ(ds.dsBm.bmHeight, 20);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 4);

    unique_hdc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    SelectGuard sel(dc.get(), glyph.get());
    RGBQUAD table[16]{};
    ASSERT_EQ(::GetDIBColorTable(dc.get(), 0, 16, table), 16u);
    for (int i = 0; i < 16; ++i) {
      std::uint32_t c = (table[i].rgbRed << 16) | (table[i].rgbGreen << 8) | table[i].rgbBlue;
      EXPECT_EQ(c, art::kVga16[i] & 0xFFFFFF) << i;
    }
    EXPECT_EQ(::GetPixel(dc.get(), 0, 0), kGlyphTransparentColour);
    EXPECT_EQ(::GetPixel(dc.get(), 19, 19), kGlyphTransparentColour);
    EXPECT_EQ(::GetPixel(dc.get(), 10, up ? 13 : 6), RGB(0, 0, 0));      // the base
    EXPECT_EQ(::GetPixel(dc.get(), 10, up ? 6 : 13), RGB(255, 255, 255));  // the tip

    // Copied whole, every pixel is the picture's.
    Canvas c(20, 20, kMagenta);
    ASSERT_TRUE(::BitBlt(c.dc(), 0, 0, 20, 20, dc.get(), 0, 0, SRCCOPY));
    EXPECT_TRUE(Shows(c, 0, 0, art::TriangleGlyph(up), kMagenta));
  }
}

TEST(TriangleGlyphTest, ImageListDrawsTealAsSeeThrough) {
  unique_himagelist list = MakeTriangleImageList();
  ASSERT_TRUE(list);
  EXPECT_EQ(::ImageList_GetImageCount(list.get()), 2);
  for (int i = 0; i < 2; ++i) {
    Canvas c(20, 20, kMagenta);
    ASSERT_TRUE(::ImageList_Draw(list.get(), i, c.dc(), 0, 0, ILD_TRANSPARENT));
    art::Picture pic = art::TriangleGlyph(i == 0);
    for (std::uint32_t& px : pic.bgra)
      if (px == art::kTeal) px = art::kTransparent;
    EXPECT_TRUE(Shows(c, 0, 0, pic, kMagenta)) << i;
  }
}

// ---------------------------------------------------------------------------

TEST(FormIconTest, BothKindsAtBothSizes) {
  for (FormIconKind kind : {FormIconKind::MainWindow, FormIconKind::PluginDialog}) {
    for (int size : {32, 16}) {
      SCOPED_TRACE(size);
      unique_hicon icon = MakeFormIcon(kind, size);
      ASSERT_TRUE(icon);
      ICONINFO info{};
      ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
      unique_hbitmap colour(info.hbmColor), mask(info.hbmMask);
      EXPECT_TRUE(info.fIcon);
      SIZE cs = BitmapSize(colour.get()), ms = BitmapSize(mask.get());
      EXPECT_EQ(cs.cx, size);
      EXPECT_EQ(cs.cy, size);
      EXPECT_EQ(ms.cx, size);
      EXPECT_EQ(ms.cy, size);  // a colour icon: the mask is not doubled

      Canvas c(size, size, kMagenta);
      ASSERT_TRUE(::DrawIconEx(c.dc(), 0, 0, icon.get(), size, size, 0, nullptr, DI_NORMAL));
      EXPECT_TRUE(Shows(c, 0, 0, art::FormIcon(kind, size), kMagenta));
    }
    EXPECT_FALSE(MakeFormIcon(kind, 24));
    EXPECT_FALSE(MakeFormIcon(kind, 0));
  }
}

// ---------------------------------------------------------------------------

TEST(ConversionTest, BitmapsFromPicturesKeepPixelsAndMask) {
  art::Picture pic(5, 3, art::kRed);  // odd width: the 4-bit and mask rows need padding
  pic.set(0, 0, art::kTransparent);
  pic.set(4, 2, art::kTransparent);
  pic.set(3, 1, art::kTeal);

  unique_hbitmap mask = MaskFromPicture(pic);
  ASSERT_TRUE(mask);
  BITMAP bm{};
  ::GetObjectA(mask.get(), sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  unique_hdc dc(::CreateCompatibleDC(nullptr));
  {
    SelectGuard sel(dc.get(), mask.get());
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(::GetPixel(dc.get(), x, y),
                  art::IsTransparent(pic.at(x, y)) ? RGB(255, 255, 255) : RGB(0, 0, 0))
            << x << "," << y;
  }
  for (bool sixteen : {false, true}) {
    unique_hbitmap colour = sixteen ? Bitmap16FromPicture(pic) : BitmapFromPicture(pic);
    ASSERT_TRUE(colour);
    SelectGuard sel(dc.get(), colour.get());
    EXPECT_EQ(::GetPixel(dc.get(), 0, 0), RGB(0, 0, 0));  // transparent is stored black
    EXPECT_EQ(::GetPixel(dc.get(), 1, 0), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc.get(), 3, 1), RGB(0, 128, 128));
    EXPECT_EQ(::GetPixel(dc.get(), 4, 1), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc.get(), 4, 2), RGB(0, 0, 0));
  }
  // A colour outside the 16 cannot go into a 4-bit bitmap; any colour can go
  // into a 32-bit one.
  pic.set(2, 2, 0xFF123456);
  EXPECT_FALSE(Bitmap16FromPicture(pic));
  EXPECT_TRUE(BitmapFromPicture(pic));
  EXPECT_FALSE(BitmapFromPicture(art::Picture{}));
  EXPECT_FALSE(MaskFromPicture(art::Picture{}));
}

// ---------------------------------------------------------------------------

// The version block linked into the program, read back from the executable.
TEST(VersionResourceTest, ProgramCarriesJapaneseVersionInformation) {
  const std::string exe = mvtest::ProgramPath();
  if (::GetFileAttributesA(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << mvtest::kProgramExe << " is not built beside the tests (" << exe << ")";
  unique_module mod(::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(mod);
  HRSRC res = ::FindResourceExA(mod.get(), MAKEINTRESOURCEA(16) /* RT_VERSION */,
                                MAKEINTRESOURCEA(1), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  ASSERT_NE(res, nullptr);
  const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(mod.get(), res)));
  const DWORD size = ::SizeofResource(mod.get(), res);
  ASSERT_NE(data, nullptr);
  std::wstring text(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));

  // The fixed part: signature, then file and product version 0.9.
  const DWORD sig = 0xFEEF04BD;
  const BYTE* end = data + size;
  const BYTE* fixed = std::search(data, end, reinterpret_cast<const BYTE*>(&sig),
                                  reinterpret_cast<const BYTE*>(&sig) + 4);
  ASSERT_LT(fixed + sizeof(VS_FIXEDFILEINFO), end);
  VS_FIXEDFILEINFO ffi;
  std::memcpy(&ffi, fixed, sizeof(ffi));
  EXPECT_EQ(ffi.dwFileVersionMS, MAKELONG(9, 0));
  EXPECT_EQ(ffi.dwProductVersionMS, MAKELONG(9, 0));

  EXPECT_NE(text.find(L"041103a4"), std::wstring::npos);
  EXPECT_NE(text.find(L"ProductName"), std::wstring::npos);
  EXPECT_NE(text.find(L"Morvane \x753b\x50cf\x30c4\x30fc\x30eb"), std::wstring::npos);  // 画像ツール
  EXPECT_NE(text.find(L"0.9"), std::wstring::npos);
  // The translation pair: Japanese, code page 932.
  const WORD translation[2] = {0x0411, 932};
  EXPECT_NE(std::search(data, end, reinterpret_cast<const BYTE*>(translation),
                        reinterpret_cast<const BYTE*>(translation) + 4),
            end);
}

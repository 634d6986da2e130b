// The WIC import plug-in shipped beside the program (ifwic.spi beside
// Morvane.exe, ifwic.sph beside Morvane64.exe), loaded from the build's
// bin folder and driven through its exports under Wine. Every input image is
// written at test time by WIC's own encoders (or built by hand where WIC has
// no encoder), so the expected palette and pixels are known exactly.
#include <initguid.h>
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "decode/decode_image.h"
#include "forms/bitmap.h"
#include "image/before_image.h"
#include "plugins/spi_ctrl.h"
#include "susie/spi_interface.h"
#include "tests/win/support/import_patch.h"
#include "tests/win/support/paths.h"

namespace {

// ---- Counting the plug-in's global memory blocks --------------------------
// The plug-in's import table entries for GlobalAlloc and GlobalFree are
// pointed at these wrappers, so every block it takes or gives back is seen,
// whichever of its paths does it. Blocks the test frees itself go through
// FreeBlock, which counts them too.
std::atomic<long> g_live_blocks{0};

HGLOBAL WINAPI CountingGlobalAlloc(UINT flags, SIZE_T bytes) {
  HGLOBAL h = ::GlobalAlloc(flags, bytes);
  if (h) ++g_live_blocks;
  return h;
}
HGLOBAL WINAPI CountingGlobalFree(HGLOBAL h) {
  HGLOBAL r = ::GlobalFree(h);
  if (h && !r) --g_live_blocks;
  return r;
}
void FreeBlock(HANDLE h) {
  if (h) CountingGlobalFree(static_cast<HGLOBAL>(h));
}

// Imaging factories the plug-in itself asks COM for (WIC's own calls go
// through its own imports and are not seen).
std::atomic<long> g_factories_made{0};
HRESULT WINAPI CountingCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
  if (IsEqualCLSID(clsid, CLSID_WICImagingFactory)) ++g_factories_made;
  return ::CoCreateInstance(clsid, outer, context, iid, out);
}

// ---- The plug-in -----------------------------------------------------------
#pragma pack(push, 1)
struct PictureInfo {
  long left, top, width, height;
  WORD x_density, y_density;
  short color_depth;
#ifdef _WIN64
  WORD padding;  // the 64-bit interface aligns the handle
#endif
  HLOCAL text;
};
#pragma pack(pop)
using GetPictureInfoFn = int(__stdcall*)(LPCSTR, LONG_PTR, unsigned, PictureInfo*);

struct Plugin {
  HMODULE module = nullptr;
  SpiGetPluginInfo info = nullptr;
  SpiIsSupported supported = nullptr;
  GetPictureInfoFn picture_info = nullptr;
  SpiGetPicture picture = nullptr;
  SpiGetPreview preview = nullptr;
  SpiConfigurationDlg config = nullptr;
};

template <class Fn>
Fn EntryOf(HMODULE m, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(m, name)));
}

std::string PluginPath() { return mvtest::ExeDir() + "..\\bin\\ifwic" MV_SPI_EXT; }

// ---- Making images with WIC's encoders -----------------------------------
template <class T>
struct Com {
  T* p = nullptr;
  Com() = default;
  Com(const Com&) = delete;
  ~Com() {
    if (p) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

IWICImagingFactory* Factory() {
  static IWICImagingFactory* f = [] {
    IWICImagingFactory* made = nullptr;
    ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                       reinterpret_cast<void**>(&made));
    return made;
  }();
  return f;
}

struct Picture {
  int width = 0, height = 0;
  int bpp = 0;                        // bits per pixel of `pixels`, top-down, tightly strided below
  std::vector<std::uint8_t> pixels;   // rows of Stride() bytes
  std::vector<WICColor> palette;      // indexed pictures
  int Stride() const { return (width * bpp + 7) / 8; }
};

// Encodes; empty with a reason when this WIC cannot write the combination.
std::string Encode(const GUID& container, const GUID& format, const Picture& pic, std::string* why) {
  IWICImagingFactory* f = Factory();
  if (!f) return *why = "no WIC factory", "";
  Com<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.out()))) return *why = "no stream", "";
  Com<IWICBitmapEncoder> enc;
  if (FAILED(f->CreateEncoder(container, nullptr, enc.out()))) return *why = "no encoder for the container", "";
  if (FAILED(enc->Initialize(stream.p, WICBitmapEncoderNoCache))) return *why = "encoder init", "";
  Com<IWICBitmapFrameEncode> frame;
  Com<IPropertyBag2> props;
  if (FAILED(enc->CreateNewFrame(frame.out(), props.out())) || FAILED(frame->Initialize(props.p)))
    return *why = "frame init", "";
  if (FAILED(frame->SetSize(pic.width, pic.height))) return *why = "size", "";
  WICPixelFormatGUID got = format;
  if (FAILED(frame->SetPixelFormat(&got)) || !IsEqualGUID(got, format))
    return *why = "the encoder does not write this pixel format", "";
  if (!pic.palette.empty()) {
    Com<IWICPalette> pal;
    if (FAILED(f->CreatePalette(pal.out())) ||
        FAILED(pal->InitializeCustom(const_cast<WICColor*>(pic.palette.data()), static_cast<UINT>(pic.palette.size()))))
      return *why = "palette", "";
    enc->SetPalette(pal.p);  // GIF wants it on the file as well
    if (FAILED(frame->SetPalette(pal.p))) return *why = "the encoder takes no palette", "";
  }
  std::vector<std::uint8_t> rows = pic.pixels;
  if (FAILED(frame->WritePixels(pic.height, pic.Stride(), static_cast<UINT>(rows.size()), rows.data())))
    return *why = "write pixels", "";
  if (FAILED(frame->Commit()) || FAILED(enc->Commit())) return *why = "commit", "";
  STATSTG st{};
  stream->Stat(&st, STATFLAG_NONAME);
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  std::string bytes(static_cast<size_t>(st.cbSize.QuadPart), '\0');
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  bytes.resize(read);
  return bytes;
}

WICColor Argb(int r, int g, int b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

Picture Indexed(int w, int h, int bpp, int colors) {
  Picture p;
  p.width = w, p.height = h, p.bpp = bpp;
  for (int i = 0; i < colors; ++i) p.palette.push_back(Argb((i * 37 + 11) & 255, (i * 71 + 3) & 255, (i * 13 + 200) & 255));
  p.pixels.assign(static_cast<size_t>(p.Stride()) * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = (x * 3 + y * 5) % colors;
      const int bit = x * bpp;
      p.pixels[y * p.Stride() + bit / 8] |= static_cast<std::uint8_t>(v << (8 - bpp - bit % 8));
    }
  return p;
}

Picture Grey(int w, int h) {
  Picture p;
  p.width = w, p.height = h, p.bpp = 8;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.pixels.push_back(static_cast<std::uint8_t>((x * 19 + y * 7) & 255));
  return p;
}

// Gentle gradients, which JPEG keeps close.
Picture Smooth(int w, int h) {
  Picture p;
  p.width = w, p.height = h, p.bpp = 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      p.pixels.push_back(static_cast<std::uint8_t>(60 + x * 4));
      p.pixels.push_back(static_cast<std::uint8_t>(90 + y * 3));
      p.pixels.push_back(static_cast<std::uint8_t>(140 + (x + y)));
    }
  return p;
}

Picture Colour(int w, int h, bool alpha) {
  Picture p;
  p.width = w, p.height = h, p.bpp = alpha ? 32 : 24;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      p.pixels.push_back(static_cast<std::uint8_t>(x * 9 + 1));         // B
      p.pixels.push_back(static_cast<std::uint8_t>(y * 17 + 2));        // G
      p.pixels.push_back(static_cast<std::uint8_t>((x + y) * 5 + 100)); // R
      if (alpha) p.pixels.push_back(static_cast<std::uint8_t>((x * 16 + y * 3) & 255));
    }
  return p;
}

// 16 bits a channel, R, G, B (WIC's 48bppRGB). Each channel's two bytes
// are equal, so that every way of taking it to 8 bits gives that byte.
Picture Deep(int w, int h) {
  Picture p;
  p.width = w, p.height = h, p.bpp = 48;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (const int v : {(x + y) * 5 + 100, y * 17 + 2, x * 9 + 1})
        p.pixels.insert(p.pixels.end(), 2, static_cast<std::uint8_t>(v));
  return p;
}

// A 32-bit icon of one image, as Windows writes them (WIC has no ICO encoder).
std::string Icon(const Picture& bgra) {
  const int w = bgra.width, h = bgra.height;
  const int mask_stride = (w + 31) / 32 * 4;
  BITMAPINFOHEADER bih{};
  bih.biSize = 40, bih.biWidth = w, bih.biHeight = h * 2, bih.biPlanes = 1, bih.biBitCount = 32;
  std::string dib(reinterpret_cast<const char*>(&bih), sizeof bih);
  for (int y = h - 1; y >= 0; --y)
    dib.append(reinterpret_cast<const char*>(&bgra.pixels[y * bgra.Stride()]), bgra.Stride());
  dib.append(static_cast<size_t>(mask_stride) * h, '\0');
  std::string out("\0\0\1\0\1\0", 6);
  const unsigned char entry[16] = {static_cast<unsigned char>(w), static_cast<unsigned char>(h), 0, 0, 1, 0, 32, 0,
                                   static_cast<unsigned char>(dib.size()), static_cast<unsigned char>(dib.size() >> 8),
                                   0, 0, 22, 0, 0, 0};
  out.append(reinterpret_cast<const char*>(entry), 16);
  return out + dib;
}

// ---- Reading what the plug-in returned -------------------------------------
struct Dib {
  int result = -100;
  HANDLE info = nullptr, bits = nullptr;
  SIZE_T info_size = 0, bits_size = 0;
  std::vector<std::uint8_t> info_bytes, bits_bytes;
  bool movable = false;
  const BITMAPINFOHEADER& Header() const { return *reinterpret_cast<const BITMAPINFOHEADER*>(info_bytes.data()); }
  const RGBQUAD* Table() const { return reinterpret_cast<const RGBQUAD*>(info_bytes.data() + 40); }
  int Stride() const { return (Header().biWidth * Header().biBitCount + 31) / 32 * 4; }
  // Pixel (x, y) counted from the top, as an index or 0xAARRGGBB.
  std::uint32_t At(int x, int y) const {
    const auto& h = Header();
    const std::uint8_t* row = bits_bytes.data() + static_cast<size_t>(h.biHeight - 1 - y) * Stride();
    switch (h.biBitCount) {
      case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
      case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
      case 8: return row[x];
      case 24: return 0xFF000000u | row[x * 3 + 2] << 16 | row[x * 3 + 1] << 8 | row[x * 3];
    case 48: return 0xFF000000u | row[x * 6] << 16 | row[x * 6 + 2] << 8 | row[x * 6 + 4];
      default: return static_cast<std::uint32_t>(row[x * 4 + 3]) << 24 | row[x * 4 + 2] << 16 | row[x * 4 + 1] << 8 | row[x * 4];
    }
  }
};

// Takes the blocks over: reads them (locking and unlocking) and frees them.
Dib Collect(int result, HANDLE info, HANDLE bits) {
  Dib d;
  d.result = result;
  d.info = info, d.bits = bits;
  if (info && bits) {
    d.info_size = ::GlobalSize(info);
    d.bits_size = ::GlobalSize(bits);
    void* pi = ::GlobalLock(info);
    void* pb = ::GlobalLock(bits);
    d.movable = pi && pb && pi != info && pb != bits;  // a fixed block's handle is its address
    if (pi) d.info_bytes.assign(static_cast<std::uint8_t*>(pi), static_cast<std::uint8_t*>(pi) + d.info_size);
    if (pb) d.bits_bytes.assign(static_cast<std::uint8_t*>(pb), static_cast<std::uint8_t*>(pb) + d.bits_size);
    if (pi) ::GlobalUnlock(info);
    if (pb) ::GlobalUnlock(bits);
  }
  FreeBlock(info);
  FreeBlock(bits);
  return d;
}

struct Progress {
  std::vector<std::pair<int, int>> calls;
  long user = 0;
  int abort_at = -1;  // call number that answers "stop"
};
Progress* g_progress = nullptr;
int __stdcall RecordProgress(int done, int total, LONG_PTR user) {
  g_progress->calls.push_back({done, total});
  g_progress->user = user;
  return static_cast<int>(g_progress->calls.size()) - 1 == g_progress->abort_at;
}
int __stdcall NeverStop(int, int, LONG_PTR) { return 0; }

class WicPlugin : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    com_ = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Load();
    dir_ = mvtest::MakeScratchDir("wic_plugin");
  }
  static void TearDownTestSuite() {
    Unload();
    if (SUCCEEDED(com_)) ::CoUninitialize();
  }
  static void Load() {
    p_.module = ::LoadLibraryA(PluginPath().c_str());
    if (!p_.module) return;
    p_.info = EntryOf<SpiGetPluginInfo>(p_.module, "GetPluginInfo");
    p_.supported = EntryOf<SpiIsSupported>(p_.module, "IsSupported");
    p_.picture_info = EntryOf<GetPictureInfoFn>(p_.module, "GetPictureInfo");
    p_.picture = EntryOf<SpiGetPicture>(p_.module, "GetPicture");
    p_.preview = EntryOf<SpiGetPreview>(p_.module, "GetPreview");
    p_.config = EntryOf<SpiConfigurationDlg>(p_.module, "ConfigurationDlg");
    counting_ = mvtest::PatchImport(p_.module, "kernel32.dll", "GlobalAlloc", reinterpret_cast<void*>(&CountingGlobalAlloc)) &&
                mvtest::PatchImport(p_.module, "kernel32.dll", "GlobalFree", reinterpret_cast<void*>(&CountingGlobalFree)) &&
                mvtest::PatchImport(p_.module, "ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&CountingCoCreateInstance));
  }
  static void Unload() {
    if (p_.module) ::FreeLibrary(p_.module);
    p_ = Plugin{};
  }
  void SetUp() override {
    ASSERT_NE(p_.module, nullptr) << "cannot load " << PluginPath();
    ASSERT_TRUE(p_.info && p_.supported && p_.picture_info && p_.picture && p_.preview && p_.config)
        << "an entry point is missing or exported decorated";
    ASSERT_TRUE(counting_) << "the plug-in does not import GlobalAlloc/GlobalFree/CoCreateInstance";
    ASSERT_NE(Factory(), nullptr);
    base_ = g_live_blocks;
  }

  static Dib FromMemory(const std::string& file, SpiProgressCallback cb = &NeverStop, long user = 0) {
    HANDLE info = nullptr, bits = nullptr;
    int r = p_.picture(file.data(), static_cast<LONG_PTR>(file.size()), 1, &info, &bits, cb, user);
    return Collect(r, info, bits);
  }
  // The same, on a new thread that never initialises COM.
  static Dib FromMemoryOnThreadWithoutCom(const std::string& file) {
    Dib d;
    std::thread([&] { d = FromMemory(file); }).join();
    return d;
  }
  static Dib FromDisk(const std::string& path, long offset) {
    HANDLE info = nullptr, bits = nullptr;
    int r = p_.picture(path.c_str(), offset, 0, &info, &bits, &NeverStop, 0);
    return Collect(r, info, bits);
  }
  static std::string Write(const std::string& name, const std::string& bytes) {
    mvtest::WriteFileBytes(dir_ + name, bytes);
    return dir_ + name;
  }

  long base_ = 0;  // blocks alive before the test
  static Plugin p_;
  static HRESULT com_;
  static bool counting_;
  static std::string dir_;
};
Plugin WicPlugin::p_;
HRESULT WicPlugin::com_ = E_FAIL;
bool WicPlugin::counting_ = false;
std::string WicPlugin::dir_;

// One image kind: how it is encoded and what must come back.
struct Case {
  const char* name;
  const GUID* container;
  const GUID* format;       // nullptr: built by hand (icon)
  Picture pic;
  int dib_bpp;
  int table_size;           // biClrUsed: the image's own colours; -1: the GIF's own table
  bool lossy;
};

std::vector<Case> Cases() {
  return {
      {"pal16.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat8bppIndexed, Indexed(13, 7, 8, 16), 8, 16, false},
      {"pal256.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat8bppIndexed, Indexed(33, 17, 8, 256), 8, 256, false},
      {"pal4.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat4bppIndexed, Indexed(11, 5, 4, 16), 4, 16, false},
      {"pal2bit.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat2bppIndexed, Indexed(9, 6, 2, 4), 4, 4, false},
      {"pal1.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat1bppIndexed, Indexed(21, 4, 1, 2), 1, 2, false},
      {"grey.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat8bppGray, Grey(15, 9), 8, 256, false},
      {"rgb.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat24bppBGR, Colour(10, 6, false), 24, 0, false},
      {"rgba.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat32bppBGRA, Colour(9, 5, true), 32, 0, false},
      // Wine converts 48-bit RGB to 32-bit BGR but not to 24-bit.
      {"rgb48.png", &GUID_ContainerFormatPng, &GUID_WICPixelFormat48bppRGB, Deep(8, 8), 24, 0, false},
      {"pal.gif", &GUID_ContainerFormatGif, &GUID_WICPixelFormat8bppIndexed, Indexed(14, 8, 8, 16), 8, -1, false},
      {"pal8.tif", &GUID_ContainerFormatTiff, &GUID_WICPixelFormat8bppIndexed, Indexed(12, 6, 8, 256), 8, 256, false},
      {"pal4.tif", &GUID_ContainerFormatTiff, &GUID_WICPixelFormat4bppIndexed, Indexed(7, 5, 4, 16), 4, 16, false},
      {"rgb.tif", &GUID_ContainerFormatTiff, &GUID_WICPixelFormat24bppBGR, Colour(11, 4, false), 24, 0, false},
      {"photo.jpg", &GUID_ContainerFormatJpeg, &GUID_WICPixelFormat24bppBGR, Smooth(24, 16), 24, 0, true},
      {"icon.ico", nullptr, nullptr, Colour(16, 16, true), 32, 0, false},
  };
}

std::string Make(const Case& c, std::string* why) {
  if (!c.format) return Icon(c.pic);
  return Encode(*c.container, *c.format, c.pic, why);
}

// The colour table a GIF's first image uses: its local one, else the global
// one, as 0xRRGGBB.
std::vector<std::uint32_t> GifTable(const std::string& gif) {
  auto table = [&](size_t at, unsigned packed) {
    std::vector<std::uint32_t> t;
    const size_t n = 2u << (packed & 7);
    for (size_t i = 0; i < n && at + 3 * i + 2 < gif.size(); ++i)
      t.push_back(static_cast<std::uint8_t>(gif[at + 3 * i]) << 16 | static_cast<std::uint8_t>(gif[at + 3 * i + 1]) << 8 |
                  static_cast<std::uint8_t>(gif[at + 3 * i + 2]));
    return t;
  };
  const unsigned screen = static_cast<std::uint8_t>(gif[10]);
  const std::vector<std::uint32_t> global = screen & 0x80 ? table(13, screen) : std::vector<std::uint32_t>{};
  size_t at = 13 + 3 * global.size();
  while (at < gif.size() && gif[at] == '!') {  // extensions: label, then sub-blocks
    at += 2;
    while (at < gif.size() && gif[at] != 0) at += 1 + static_cast<std::uint8_t>(gif[at]);
    ++at;
  }
  if (at + 10 > gif.size() || gif[at] != ',') return global;
  const unsigned local = static_cast<std::uint8_t>(gif[at + 9]);
  return local & 0x80 ? table(at + 10, local) : global;
}

// The colour that the encoded picture has at (x, y), as At() would give it.
std::uint32_t Expected(const Picture& p, int x, int y) {
  const std::uint8_t* row = &p.pixels[static_cast<size_t>(y) * p.Stride()];
  switch (p.bpp) {
    case 24: return 0xFF000000u | row[x * 3 + 2] << 16 | row[x * 3 + 1] << 8 | row[x * 3];
    case 48: return 0xFF000000u | row[x * 6] << 16 | row[x * 6 + 2] << 8 | row[x * 6 + 4];
    case 32: return static_cast<std::uint32_t>(row[x * 4 + 3]) << 24 | row[x * 4 + 2] << 16 | row[x * 4 + 1] << 8 | row[x * 4];
    default: {
      const int bit = x * p.bpp;
      return (row[bit / 8] >> (8 - p.bpp - bit % 8)) & ((1u << p.bpp) - 1);
    }
  }
}

void CheckDib(Case c, const Dib& d, const std::string& file) {
  std::vector<std::uint32_t> table;
  for (WICColor w : c.pic.palette) table.push_back(w & 0xFFFFFF);
  if (c.table_size < 0) {
    table = GifTable(file);
    c.table_size = static_cast<int>(table.size());
    ASSERT_GE(table.size(), c.pic.palette.size());
  }
  ASSERT_EQ(d.result, 0) << c.name;
  ASSERT_NE(d.info, nullptr);
  ASSERT_NE(d.bits, nullptr);
  EXPECT_TRUE(d.movable) << c.name << ": blocks must be movable";
  // Hosts read 1 << bit count entries, however few the image uses.
  const int full = c.dib_bpp <= 8 ? 1 << c.dib_bpp : 0;
  const size_t stride = (static_cast<size_t>(c.pic.width) * c.dib_bpp + 31) / 32 * 4;
  ASSERT_GE(d.info_size, 40 + 4 * static_cast<size_t>(full)) << c.name;
  ASSERT_GE(d.bits_size, stride * c.pic.height) << c.name;
  const BITMAPINFOHEADER& h = d.Header();
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, c.pic.width);
  EXPECT_EQ(h.biHeight, c.pic.height) << "bottom-up";
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, c.dib_bpp) << c.name;
  EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(h.biClrUsed, static_cast<DWORD>(c.table_size)) << c.name;

  if (!c.pic.palette.empty()) {
    for (int i = 0; i < c.table_size; ++i) {
      const RGBQUAD q = d.Table()[i];
      EXPECT_EQ(static_cast<std::uint32_t>(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue), table[i])
          << c.name << " entry " << i;
    }
  } else if (c.table_size == 256) {  // grey
    for (int i = 0; i < 256; ++i) {
      const RGBQUAD q = d.Table()[i];
      EXPECT_TRUE(q.rgbRed == i && q.rgbGreen == i && q.rgbBlue == i) << "grey entry " << i;
    }
  }
  for (int i = c.table_size; i < full; ++i) {
    std::uint32_t entry;
    std::memcpy(&entry, &d.Table()[i], 4);
    EXPECT_EQ(entry, 0u) << c.name << ": entry " << i << " past the image's own is not black";
  }
  int worst = 0;
  for (int y = 0; y < c.pic.height; ++y)
    for (int x = 0; x < c.pic.width; ++x) {
      const std::uint32_t got = d.At(x, y), want = Expected(c.pic, x, y);
      if (!c.lossy) {
        ASSERT_EQ(got, want) << c.name << " at " << x << "," << y;
        continue;
      }
      for (int shift = 0; shift < 24; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((got >> shift) & 255) - static_cast<int>((want >> shift) & 255)));
    }
  if (c.lossy) {
    EXPECT_LE(worst, 24) << c.name << ": too far from the encoded colours";
  }
}

// ---- Tests -------------------------------------------------------------------

TEST_F(WicPlugin, PluginInfoTextsAndBufferLength) {
  const char* want[] = {"00IN", "Morvane WIC plug-in 1.0", "*.png", "PNG", "*.gif", "GIF",
                        "*.jpg;*.jpeg;*.jpe", "JPEG", "*.tif;*.tiff", "TIFF", "*.ico", "ICO"};
  char buf[256];
  for (int i = 0; i < 12; ++i) {
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(p_.info(i, buf, 255), static_cast<int>(std::strlen(want[i]))) << i;
    EXPECT_STREQ(buf, want[i]);
  }
  EXPECT_EQ(p_.info(12, buf, 255), 0);
  EXPECT_EQ(p_.info(-1, buf, 255), 0);

  // A short buffer gets what fits, terminated, and nothing past its end.
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(p_.info(6, buf, 5), 4);
  EXPECT_STREQ(buf, "*.jp");
  EXPECT_EQ(buf[5], 'x');
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(p_.info(0, buf, 1), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], 'x');
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(p_.info(1, buf, 0), 0);
  EXPECT_EQ(buf[0], 'x');
}

TEST_F(WicPlugin, NoPreviewAndNoSettings) {
  HANDLE info = nullptr, bits = nullptr;
  EXPECT_EQ(p_.preview("x", 1, 1, &info, &bits, &NeverStop, 0), -1);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(p_.config(nullptr, 1), -1);
  EXPECT_EQ(p_.config(nullptr, 0), -1);
}

TEST_F(WicPlugin, ExportDirectoryNamesTheFileOfItsEdition) {
  const auto* base = reinterpret_cast<const BYTE*>(p_.module);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "ifwic" MV_SPI_EXT);
}

TEST_F(WicPlugin, IsSupportedByContentInBothArgumentForms) {
  std::string why;
  for (const Case& c : Cases()) {
    const std::string bytes = Make(c, &why);
    if (bytes.empty()) continue;  // reported by the decoding test
    // The 2 KB buffer of the file's start, zero-padded.
    std::vector<char> head(2048, 0);
    std::memcpy(head.data(), bytes.data(), std::min<size_t>(bytes.size(), head.size()));
    EXPECT_NE(p_.supported("whatever.dat", reinterpret_cast<DWORD_PTR>(head.data())), 0) << c.name;

    const std::string path = Write(c.name, bytes);
    const std::string shifted = Write(std::string("junk_") + c.name, std::string(128, 'J') + bytes);
    mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(f);
    EXPECT_NE(p_.supported(path.c_str(), reinterpret_cast<DWORD_PTR>(f.get())), 0) << c.name;
    EXPECT_EQ(::SetFilePointer(f.get(), 0, nullptr, FILE_CURRENT), 0u) << "position restored";
    // Read where the handle stands, not from the start.
    ::SetFilePointer(f.get(), 3, nullptr, FILE_BEGIN);
    EXPECT_EQ(p_.supported(path.c_str(), reinterpret_cast<DWORD_PTR>(f.get())), 0) << c.name;
    EXPECT_EQ(::SetFilePointer(f.get(), 0, nullptr, FILE_CURRENT), 3u);

    mv::unique_file g(::CreateFileA(shifted.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(g);
    EXPECT_EQ(p_.supported(shifted.c_str(), reinterpret_cast<DWORD_PTR>(g.get())), 0) << "junk at the start";
    ::SetFilePointer(g.get(), 128, nullptr, FILE_BEGIN);
    EXPECT_NE(p_.supported(shifted.c_str(), reinterpret_cast<DWORD_PTR>(g.get())), 0) << c.name;
    EXPECT_EQ(::SetFilePointer(g.get(), 0, nullptr, FILE_CURRENT), 128u);
  }

  // Not ours, whatever the name says: a bitmap, text, a cursor, an icon
  // directory of no images, a file shorter than any signature.
  const std::string others[] = {std::string("BM\x36\0\0\0\0\0\0\0\x36\0\0\0", 14), "plain text, no image",
                                std::string("\0\0\2\0\1\0", 6), std::string("\0\0\1\0\0\0", 6), "GIF8",
                                std::string("\x89PNG", 4)};
  int n = 0;
  for (const std::string& o : others) {
    std::vector<char> head(2048, 0);
    std::memcpy(head.data(), o.data(), o.size());
    EXPECT_EQ(p_.supported("a.png", reinterpret_cast<DWORD_PTR>(head.data())), 0) << n;
    const std::string path = Write("other" + std::to_string(n++) + ".png", o);
    mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(p_.supported(path.c_str(), reinterpret_cast<DWORD_PTR>(f.get())), 0);
  }
  EXPECT_EQ(p_.supported("a.png", 0), 0) << "no handle at all";
}

TEST_F(WicPlugin, DecodesEveryKindFromMemoryAndFromDisk) {
  std::string why;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Make(c, &why);
    if (bytes.empty()) {
      // Wine's WIC lacks some encoders; the case is then not run at all.
      std::printf("[  SKIPPED ] %s: %s\n", c.name, why.c_str());
      continue;
    }
    const long before = g_live_blocks;
    const Dib mem = FromMemory(bytes);
    CheckDib(c, mem, bytes);
    EXPECT_EQ(g_live_blocks, before) << "both blocks handed over, nothing else kept";

    // From disk, the image starting 128 bytes into the file.
    const std::string path = Write(std::string("off_") + c.name, std::string(128, '\x5A') + bytes);
    const Dib disk = FromDisk(path, 128);
    ASSERT_EQ(disk.result, 0);
    EXPECT_EQ(disk.info_bytes, mem.info_bytes);
    EXPECT_EQ(disk.bits_bytes, mem.bits_bytes);
    const std::string plain = Write(c.name, bytes);
    EXPECT_EQ(FromDisk(plain, 0).bits_bytes, mem.bits_bytes);

    PictureInfo pi{};
    pi.text = reinterpret_cast<HLOCAL>(1);
    ASSERT_EQ(p_.picture_info(bytes.data(), static_cast<LONG_PTR>(bytes.size()), 1, &pi), 0);
    EXPECT_EQ(pi.width, c.pic.width);
    EXPECT_EQ(pi.height, c.pic.height);
    EXPECT_EQ(pi.color_depth, c.dib_bpp);
    EXPECT_EQ(pi.left, 0);
    EXPECT_EQ(pi.text, nullptr);
    PictureInfo pd{};
    ASSERT_EQ(p_.picture_info(path.c_str(), 128, 0, &pd), 0);
    EXPECT_EQ(pd.width, c.pic.width);
  }
}

// A 2 × 2 GIF of indices 0, 1, 2, 3 with a global table of 4 colours (WIC's
// encoder always writes 256 entries, so this one is built by hand). The LZW
// stream restarts with a clear code every two pixels, so every code stays
// 3 bits wide: clear, 0, 1, clear, 2, 3, end.
std::string FourColourGif() {
  std::string g("GIF89a\x02\0\x02\0\x81\0\0", 13);
  g += std::string("\xff\0\0\0\xff\0\0\0\xff\x10\x20\x30", 12);
  g += std::string(",\0\0\0\0\x02\0\x02\0\0", 10);
  const unsigned codes[] = {4, 0, 1, 4, 2, 3, 5};
  std::uint32_t bits = 0;
  for (int i = 0; i < 7; ++i) bits |= codes[i] << (3 * i);
  g += '\x02';  // minimum code size
  g += '\x03';  // one sub-block of 3 bytes
  for (int i = 0; i < 3; ++i) g += static_cast<char>(bits >> (8 * i));
  g += std::string("\0;", 2);
  return g;
}

TEST_F(WicPlugin, GifKeepsItsOwnPaletteInAFullTable) {
  const Dib d = FromMemory(FourColourGif());
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Header().biBitCount, 8);
  EXPECT_EQ(d.Header().biClrUsed, 4u);
  ASSERT_GE(d.info_size, 40u + 4 * 256u);
  const std::uint32_t want[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x102030};
  for (int i = 0; i < 256; ++i) {
    std::uint32_t entry;  // 0x00RRGGBB, reserved byte included
    std::memcpy(&entry, &d.Table()[i], 4);
    EXPECT_EQ(entry, i < 4 ? want[i] : 0u) << i;
  }
  EXPECT_EQ(d.At(0, 0), 0u);
  EXPECT_EQ(d.At(1, 0), 1u);
  EXPECT_EQ(d.At(0, 1), 2u);
  EXPECT_EQ(d.At(1, 1), 3u);
}

TEST_F(WicPlugin, RefusesWhatItDoesNotReadAndBadArguments) {
  const std::string bmp = std::string("BM", 2) + std::string(100, '\0');
  HANDLE info = reinterpret_cast<HANDLE>(1), bits = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(p_.picture(bmp.data(), static_cast<LONG_PTR>(bmp.size()), 1, &info, &bits, &NeverStop, 0), 2);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(p_.picture(bmp.data(), 0, 1, &info, &bits, &NeverStop, 0), 2) << "empty image";
  EXPECT_EQ(p_.picture((dir_ + "missing.png").c_str(), 0, 0, &info, &bits, &NeverStop, 0), 6);
  std::string why;
  const std::string png = Encode(GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, Colour(4, 4, false), &why);
  ASSERT_FALSE(png.empty()) << why;
  const std::string path = Write("small.png", png);
  EXPECT_EQ(p_.picture(path.c_str(), static_cast<LONG_PTR>(png.size()), 0, &info, &bits, &NeverStop, 0), 2)
      << "offset at the end of the file";
  EXPECT_EQ(p_.picture(path.c_str(), 1, 0, &info, &bits, &NeverStop, 0), 2) << "offset past the signature";
  EXPECT_EQ(p_.picture(png.data(), static_cast<LONG_PTR>(png.size()), 1, nullptr, &bits, &NeverStop, 0), 8);
  EXPECT_EQ(p_.picture(png.data(), static_cast<LONG_PTR>(png.size()), 1, &info, nullptr, &NeverStop, 0), 8);
  EXPECT_EQ(p_.picture(png.data(), static_cast<LONG_PTR>(png.size()), 5, &info, &bits, &NeverStop, 0), 8)
      << "an input kind that does not exist";
  // No progress callback is allowed.
  const int no_callback = p_.picture(png.data(), static_cast<LONG_PTR>(png.size()), 1, &info, &bits, nullptr, 0);
  EXPECT_EQ(Collect(no_callback, info, bits).result, 0);
  EXPECT_EQ(g_live_blocks, base_);
}

TEST_F(WicPlugin, ProgressRunsFromZeroToTheHeightAndCanAbort) {
  std::string why;
  // Tall enough for several bands of rows.
  const Picture pic = Colour(64, 2000, false);
  const std::string png = Encode(GUID_ContainerFormatPng, GUID_WICPixelFormat24bppBGR, pic, &why);
  ASSERT_FALSE(png.empty()) << why;

  Progress run;
  g_progress = &run;
  Dib d = FromMemory(png, &RecordProgress, 0x1234);
  ASSERT_EQ(d.result, 0);
  ASSERT_GE(run.calls.size(), 3u);
  EXPECT_EQ(run.calls.front(), std::make_pair(0, 2000));
  EXPECT_EQ(run.calls.back(), std::make_pair(2000, 2000));
  for (size_t i = 1; i < run.calls.size(); ++i) {
    EXPECT_GT(run.calls[i].first, run.calls[i - 1].first);
    EXPECT_EQ(run.calls[i].second, 2000);
  }
  EXPECT_EQ(run.user, 0x1234);

  for (int stop : {0, 1, static_cast<int>(run.calls.size()) - 1}) {
    Progress abort_run;
    abort_run.abort_at = stop;
    g_progress = &abort_run;
    HANDLE info = reinterpret_cast<HANDLE>(1), bits = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(p_.picture(png.data(), static_cast<LONG_PTR>(png.size()), 1, &info, &bits, &RecordProgress, 0), 1)
        << "stop at call " << stop;
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(abort_run.calls.size(), static_cast<size_t>(stop + 1)) << "no call after the stop";
    EXPECT_EQ(g_live_blocks, base_) << "blocks of an aborted decode are freed";
  }
  g_progress = nullptr;
}

TEST_F(WicPlugin, DamagedFilesGiveErrorsAndLeaveNothingAllocated) {
  std::string why;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Make(c, &why);
    if (bytes.empty()) continue;
    std::vector<size_t> cuts = {1, 4, 7, 12, 20, bytes.size() / 4, bytes.size() / 2, bytes.size() * 3 / 4,
                                bytes.size() - 2};
    for (size_t cut : cuts) {
      if (cut == 0 || cut >= bytes.size()) continue;
      const std::string part = bytes.substr(0, cut);
      HANDLE info = nullptr, bits = nullptr;
      const int r = p_.picture(part.data(), static_cast<LONG_PTR>(part.size()), 1, &info, &bits, &NeverStop, 0);
      if (r == 0) {
        // Some decoders (JPEG) fill in what is missing; then the blocks must be whole.
        // A PNG cut before its closing 12-byte IEND chunk misses image data.
        const bool pixels_cut = std::string(c.name).ends_with(".png") && cut + 12 <= bytes.size();
        EXPECT_FALSE(pixels_cut) << "a cut PNG decoded at " << cut;
        const Dib d = Collect(r, info, bits);
        EXPECT_GE(d.bits_size, static_cast<SIZE_T>(c.pic.height));
      } else {
        EXPECT_TRUE(r >= 1 && r <= 8) << r;
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(bits, nullptr);
      }
      if (cut <= 20) {
        EXPECT_NE(r, 0) << "no image in " << cut << " bytes";
      }
      EXPECT_EQ(g_live_blocks, base_) << "cut at " << cut;
    }
    for (size_t at : {bytes.size() / 3, bytes.size() / 2, bytes.size() * 2 / 3}) {
      std::string bad = bytes;
      for (size_t i = at; i < std::min(bad.size(), at + 16); ++i) bad[i] = static_cast<char>(bad[i] ^ 0xA5);
      HANDLE info = nullptr, bits = nullptr;
      const int r = p_.picture(bad.data(), static_cast<LONG_PTR>(bad.size()), 1, &info, &bits, &NeverStop, 0);
      EXPECT_TRUE(r >= 0 && r <= 8) << r;
      if (r != 0) {
        EXPECT_TRUE(info == nullptr && bits == nullptr);
      }
      Collect(r, info, bits);
      EXPECT_EQ(g_live_blocks, base_) << "flipped at " << at;
    }
  }
}

// A baseline TIFF header of 8-bit grey claiming width × height, with one
// strip of a few bytes: WIC learns the size without reading pixels.
std::string HugeTiff(std::uint32_t w, std::uint32_t h) {
  std::string t("II*\0\x08\0\0\0", 8);
  auto u16 = [&](std::uint16_t v) { t.append(reinterpret_cast<const char*>(&v), 2); };
  auto u32 = [&](std::uint32_t v) { t.append(reinterpret_cast<const char*>(&v), 4); };
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
    u16(tag), u16(type), u32(1), type == 3 ? (u16(static_cast<std::uint16_t>(value)), u16(0)) : u32(value);
  };
  const std::uint32_t data_at = 8 + 2 + 9 * 12 + 4;
  u16(9);
  entry(256, 4, w);
  entry(257, 4, h);
  entry(258, 3, 8);
  entry(259, 3, 1);
  entry(262, 3, 1);
  entry(273, 4, data_at);
  entry(277, 3, 1);
  entry(278, 4, h);
  entry(279, 4, 16);
  u32(0);
  t.append(16, '\x80');
  return t;
}

TEST_F(WicPlugin, RefusesImagesBeyondTheSizeCapWithNoMemory) {
  const std::string huge = HugeTiff(60000, 60000);  // 3.6 GB of 8-bit rows
  PictureInfo pi{};
  const int info_result = p_.picture_info(huge.data(), static_cast<LONG_PTR>(huge.size()), 1, &pi);
  if (info_result != 0) GTEST_SKIP() << "this WIC does not open the hand-made TIFF header: " << info_result;
  EXPECT_EQ(pi.width, 60000);
  HANDLE info = nullptr, bits = nullptr;
  EXPECT_EQ(p_.picture(huge.data(), static_cast<LONG_PTR>(huge.size()), 1, &info, &bits, &NeverStop, 0), 4);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(g_live_blocks, base_);
}

// ---- COM on the calling thread --------------------------------------------

TEST_F(WicPlugin, LeavesTheCallersComStateAsItFoundIt) {
  std::string why;
  const std::string png = Encode(GUID_ContainerFormatPng, GUID_WICPixelFormat8bppIndexed, Indexed(5, 5, 8, 16), &why);
  ASSERT_FALSE(png.empty()) << why;
  int fresh_result = -1, mta_result = -1;
  HRESULT after_fresh = E_FAIL, after_mta = E_FAIL, after_mta_release = E_FAIL;
  // A thread without COM: the plug-in initialises and uninitialises it.
  std::thread([&] {
    fresh_result = FromMemory(png).result;
    after_fresh = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_OK only when nothing was left behind
    if (SUCCEEDED(after_fresh)) ::CoUninitialize();
  }).join();
  // A thread in the multi-threaded apartment: the plug-in works in it and
  // takes nothing away.
  std::thread([&] {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    mta_result = FromMemory(png).result;
    after_mta = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still ours
    if (SUCCEEDED(after_mta)) ::CoUninitialize();
    ::CoUninitialize();
    after_mta_release = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(after_mta_release)) ::CoUninitialize();
  }).join();
  // A thread already in a single-threaded apartment: the plug-in's own
  // initialisation answers S_FALSE and must still be balanced.
  int sta_result = -1;
  HRESULT after_sta_release = E_FAIL;
  std::thread([&] {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    sta_result = FromMemory(png).result;
    ::CoUninitialize();
    after_sta_release = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_OK once COM is gone
    if (SUCCEEDED(after_sta_release)) ::CoUninitialize();
  }).join();
  EXPECT_EQ(sta_result, 0);
  EXPECT_EQ(after_sta_release, S_OK) << "the plug-in left COM initialised";
  EXPECT_EQ(fresh_result, 0);
  EXPECT_EQ(after_fresh, S_OK);
  EXPECT_EQ(mta_result, 0);
  EXPECT_EQ(after_mta, S_FALSE);
  EXPECT_EQ(after_mta_release, S_OK) << "one CoUninitialize of ours ended COM: the plug-in balanced its own";
  EXPECT_EQ(g_live_blocks, base_);
}

TEST_F(WicPlugin, TwoThreadsDecodeAtOnce) {
  std::string why;
  const Case c = Cases()[1];
  const std::string png = Make(c, &why);
  ASSERT_FALSE(png.empty()) << why;
  const std::vector<std::uint8_t> want = FromMemory(png).bits_bytes;
  ASSERT_FALSE(want.empty());
  std::atomic<int> wrong{0};
  auto work = [&] {
    for (int i = 0; i < 15; ++i) {
      const Dib d = FromMemory(png);
      if (d.result != 0 || d.bits_bytes != want) ++wrong;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(g_live_blocks, base_);
}

TEST_F(WicPlugin, ThreadsAfterTheMainOneDecodeWithOneFactory) {
  std::string why;
  const Case c = Cases()[0];
  const std::string png = Make(c, &why);
  ASSERT_FALSE(png.empty()) << why;
  CheckDib(c, FromMemory(png), png);  // the main thread, in its apartment
  const long made = g_factories_made;
  // Two threads without COM, the second started after the first has ended.
  for (int t = 0; t < 2; ++t) {
    std::vector<Dib> got;
    std::thread([&] {
      for (int i = 0; i < 3; ++i) got.push_back(FromMemory(png));
    }).join();
    for (const Dib& d : got) CheckDib(c, d, png);
  }
  EXPECT_LE(g_factories_made - made, 1) << "a factory per call or per thread, not one kept";
  EXPECT_EQ(g_live_blocks, base_);
}

TEST_F(WicPlugin, DecodesAfterBeingFreedAndLoadedAgain) {
  std::string why;
  const Case c = Cases()[6];
  const std::string png = Make(c, &why);
  ASSERT_FALSE(png.empty()) << why;
  CheckDib(c, FromMemoryOnThreadWithoutCom(png), png);  // the factory the library keeps now exists
  const HMODULE old = p_.module;
  Unload();
  char name[MAX_PATH];
  EXPECT_EQ(::GetModuleFileNameA(old, name, MAX_PATH), 0u) << "the library was not unloaded";
  Load();
  ASSERT_NE(p_.module, nullptr);
  ASSERT_TRUE(counting_ && p_.picture);
  CheckDib(c, FromMemory(png), png);
  CheckDib(c, FromMemoryOnThreadWithoutCom(png), png);
  EXPECT_EQ(g_live_blocks, base_);
}

// ---- Through Morvane's decoder ---------------------------------------------

TEST_F(WicPlugin, MorvaneDecodesThroughThePlugin) {
  const std::string folder = mvtest::MakeScratchDir("wic_host");
  ASSERT_TRUE(::CopyFileA(PluginPath().c_str(), (folder + "ifwic" MV_SPI_EXT).c_str(), FALSE));
  std::string why;
  const Case pal = Cases()[0];   // 16-colour palette PNG
  const Case rgb = Cases()[6];   // 24-bit PNG
  const std::string pal_path = Write("host_pal.png", Make(pal, &why));
  const std::string rgb_path = Write("host_rgb.png", Make(rgb, &why));
  QvSpiCtrl host(folder);
  ASSERT_EQ(host.Plugins.size(), 1u);
  EXPECT_EQ(host.Plugins[0]->Description, "Morvane WIC plug-in 1.0");
  EXPECT_EQ(host.Plugins[0]->ExtFilter, "*.png");

  tag_BeforeImage a;
  a.FilePath = pal_path;
  ASSERT_TRUE(DecodeImage(host, &a));
  EXPECT_EQ(a.FormatIndex, 1);
  EXPECT_EQ(a.BitCount, 8);
  EXPECT_EQ(a.DepthIcon, 2);
  EXPECT_EQ(a.Width, pal.pic.width);
  EXPECT_EQ(a.Height, pal.pic.height);
  ASSERT_NE(a.Bitmap, nullptr);
  RGBQUAD table[256];
  ASSERT_EQ(a.Bitmap->ColorTable(table, 0, 256), 256);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ((table[i].rgbRed << 16 | table[i].rgbGreen << 8 | table[i].rgbBlue),
              static_cast<int>(pal.pic.palette[i] & 0xFFFFFF)) << i;
  for (int y = 0; y < pal.pic.height; ++y)
    for (int x = 0; x < pal.pic.width; ++x)
      ASSERT_EQ(a.Bitmap->Bits()[(pal.pic.height - 1 - y) * a.Bitmap->Stride() + x], Expected(pal.pic, x, y));

  tag_BeforeImage b;
  b.FilePath = rgb_path;
  ASSERT_TRUE(DecodeImage(host, &b));
  EXPECT_EQ(b.BitCount, 24);
  EXPECT_EQ(b.DepthIcon, 4);
  ASSERT_NE(b.Bitmap, nullptr);
  for (int y = 0; y < rgb.pic.height; ++y)
    for (int x = 0; x < rgb.pic.width; ++x) {
      const std::uint8_t* px = b.Bitmap->Bits() + (rgb.pic.height - 1 - y) * b.Bitmap->Stride() + x * 3;
      ASSERT_EQ(0xFF000000u | px[2] << 16 | px[1] << 8 | px[0], Expected(rgb.pic, x, y)) << x << "," << y;
    }
}

}  // namespace

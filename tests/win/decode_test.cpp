// Decoding real files written to a scratch folder: Windows bitmaps read in
// place through a named read-only mapping, everything else through the
// fixture plug-ins. Every check goes through QvSpiCtrl::DecodeImage and the
// real kernel32/gdi32 calls under Wine.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decode/decode_image.h"
#include "forms/bitmap.h"
#include "image/before_image.h"
#include "plugins/spi_ctrl.h"
#include "tests/fixtures/fixture_stats.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/fixture_stats_reader.h"
#include "tests/win/support/import_patch.h"
#include "tests/win/support/paths.h"
#include "tests/win/support/plugin_place.h"

namespace {

using mv::test::BmpSpec;
using mv::test::BuildBmp;
using mv::test::FixtureCounters;
using Record = std::unique_ptr<tag_BeforeImage>;

Record Decode(QvSpiCtrl& host, const std::string& path, bool* ok) {
  auto rec = std::make_unique<tag_BeforeImage>();
  rec->FilePath = path;
  *ok = DecodeImage(host, rec.get());
  return rec;
}

bool HoldsNothing(const tag_BeforeImage& r) { return !r.FileView && !r.Bitmap && !r.Palette; }

std::string Bytes(const void* p, std::size_t n) { return std::string(static_cast<const char*>(p), n); }

// Every entry of a logical palette; GetObject on a palette answers its entry count.
std::vector<PALETTEENTRY> Entries(HPALETTE pal) {
  WORD count = 0;
  if (::GetObjectA(pal, sizeof count, &count) != sizeof count) return {};
  std::vector<PALETTEENTRY> out(count);
  if (count && ::GetPaletteEntries(pal, 0, count, out.data()) != count) return {};
  return out;
}

bool SameColor(const PALETTEENTRY& e, std::uint32_t rgb) {
  return e.peRed == ((rgb >> 16) & 0xFF) && e.peGreen == ((rgb >> 8) & 0xFF) && e.peBlue == (rgb & 0xFF);
}

COLORREF Ref(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

std::vector<std::uint32_t> DistinctColors(int n) {
  std::vector<std::uint32_t> c;
  for (int i = 0; i < n; ++i) c.push_back(static_cast<std::uint32_t>(0x103050 + i * 0x0A0301) & 0xFFFFFF);
  return c;
}

// A folder holding only the named fixture plug-ins (the fixture folder also
// holds plug-ins that crash on purpose).
std::string PluginFolder(const std::string& scratch, const std::vector<std::string>& names) {
  const std::string dir = mvtest::MakeScratchDir(scratch);
  for (const auto& n : names)
    EXPECT_TRUE(::CopyFileA((mvtest::FixtureDir() + n).c_str(), (dir + n).c_str(), FALSE)) << n;
  return dir;
}

// Puts the named plug-ins first, in this order, whatever the folder order was.
void Reorder(QvSpiCtrl& host, const std::vector<std::string>& first) {
  std::vector<std::unique_ptr<QvSpiPlugin>> out;
  for (const auto& n : first)
    for (auto& p : host.Plugins)
      if (p && p->FileName == n) out.push_back(std::move(p));
  for (auto& p : host.Plugins)
    if (p) out.push_back(std::move(p));
  host.Plugins = std::move(out);
  ASSERT_EQ(host.Plugins.size() >= first.size(), true);
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(host.Plugins[i]->FileName, first[i]);
}

FixtureCounters* Stats(const QvSpiPlugin& p) { return mvtest::FixtureStatsOf(p); }

// Where the plug-ins of a test run: in the worker (the program's way) and,
// for the tests that run twice, inside the test's process as the setting
// makes them run.
enum class Place { Worker, InProcess };
const char* Name(Place p) { return p == Place::Worker ? "in the worker" : "in process"; }
std::unique_ptr<mvtest::PluginsInProcess> RunPlugins(Place p) {
  return p == Place::InProcess ? std::make_unique<mvtest::PluginsInProcess>() : nullptr;
}

std::string Mvt(std::int32_t w, std::int32_t h, std::uint16_t bits, const std::vector<std::uint32_t>& pal,
                const std::vector<std::uint32_t>& topFirst) {
  const std::int32_t rows = h < 0 ? -h : h;
  std::string px = mv::test::PackMvtRows(w, rows, bits, topFirst);
  // A negative height asks for top-down output; the file rows stay bottom-up.
  return mv::test::BuildMvt(w, h, bits, pal, px);
}

// Handle owners of every kind decoding uses, and the bitmap objects.
struct Counts {
  int view, palette, file, kernel, global, bitmaps;
  static Counts Now() {
    return {mv::HandleCount<mv::ViewTraits>::live,   mv::HandleCount<mv::GdiTraits<HPALETTE>>::live,
            mv::HandleCount<mv::FileTraits>::live,   mv::HandleCount<mv::KernelHandleTraits>::live,
            mv::HandleCount<mv::GlobalTraits>::live, forms::Bitmap::LiveCount()};
  }
  bool operator==(const Counts&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Counts& c) {
  return os << "view " << c.view << " palette " << c.palette << " file " << c.file << " kernel " << c.kernel
            << " global " << c.global << " bitmaps " << c.bitmaps;
}


// Paints an image's surface over white as a viewer does: the colour at its centre.
COLORREF PaintedCentre(const tag_BeforeImage& r) {
  forms::Bitmap offscreen, canvas;
  const int w = r.Surface->Width(), h = r.Surface->Height();
  canvas.Reshape(w, h, forms::PixelFormat::pf32bit);
  RECT all{0, 0, w, h};
  ::FillRect(canvas.CanvasHandle(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  r.Surface->Paint(canvas.CanvasHandle(), 0, 0, offscreen);
  return ::GetPixel(canvas.CanvasHandle(), w / 2, h / 2);
}

// Calls of GlobalFree on what is no live block.
int g_bad_frees = 0;
decltype(&::GlobalFree) g_real_global_free = nullptr;
HGLOBAL WINAPI CountingGlobalFree(HGLOBAL h) {
  HGLOBAL left = g_real_global_free(h);
  g_bad_frees += left != nullptr;
  return left;
}

// Watches the decoder's CreateFileMappingA calls by swapping this
// executable's import-table entry for a recorder that calls the real one.
// The name of a mapping disappears with its last handle (the view alone does
// not keep it), so it can only be seen from inside the call.
struct MappingCall {
  std::string name;     // "<unnamed>" for none
  DWORD error = 0;      // GetLastError after the call
  std::string head;     // first bytes seen through OpenFileMappingA(name)
};
std::vector<MappingCall> g_mapping_calls;
decltype(&::CreateFileMappingA) g_real_create_mapping = nullptr;

HANDLE WINAPI RecordingCreateMapping(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect, DWORD hi, DWORD lo,
                                     LPCSTR name) {
  HANDLE h = g_real_create_mapping(file, sa, protect, hi, lo, name);
  const DWORD error = ::GetLastError();
  MappingCall call{name ? name : "<unnamed>", error, {}};
  if (h && name) {
    if (HANDLE byName = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name)) {
      if (const void* v = ::MapViewOfFile(byName, FILE_MAP_READ, 0, 0, 0)) {
        MEMORY_BASIC_INFORMATION mbi{};
        ::VirtualQuery(v, &mbi, sizeof mbi);
        call.head.assign(static_cast<const char*>(v), std::min<SIZE_T>(mbi.RegionSize, 64));
        ::UnmapViewOfFile(v);
      }
      ::CloseHandle(byName);
    }
  }
  g_mapping_calls.push_back(call);
  ::SetLastError(error);  // the caller reads it next
  return h;
}

// The import-table slot of one kernel32 function in this executable.
void** ImportSlot(const char* function) {
  auto* base = reinterpret_cast<std::uint8_t*>(::GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "kernel32.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

class MappingRecorder {
 public:
  MappingRecorder() : slot_(ImportSlot("CreateFileMappingA")) {
    if (!slot_) return;
    g_mapping_calls.clear();
    g_real_create_mapping = reinterpret_cast<decltype(&::CreateFileMappingA)>(*slot_);
    Write(reinterpret_cast<void*>(&RecordingCreateMapping));
  }
  ~MappingRecorder() {
    if (slot_) Write(reinterpret_cast<void*>(g_real_create_mapping));
  }
  bool active() const { return slot_ != nullptr; }

 private:
  void Write(void* fn) {
    DWORD old = 0;
    ::VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
    *slot_ = fn;
    ::VirtualProtect(slot_, sizeof(void*), old, &old);
  }
  void** slot_;
};

}  // namespace

// --- which decoder a name chooses ---------------------------------------

TEST(DecodeChoice, ExtensionPicksNativeOrPlugins) {
  const std::string dir = mvtest::MakeScratchDir("decode_ext");
  const std::string bmp = BuildBmp(BmpSpec{});
  QvSpiCtrl none(mvtest::MakeScratchDir("decode_ext_noplugins"));
  ASSERT_TRUE(none.Plugins.empty());

  for (const char* name : {"a.bmp", "b.BmP", "c.bmpx", "d.BMP"}) {
    mvtest::WriteFileBytes(dir + name, bmp);
    bool ok = false;
    Record r = Decode(none, dir + name, &ok);
    EXPECT_TRUE(ok) << name;
    EXPECT_EQ(r->FormatIndex, 0) << name;
    EXPECT_EQ(r->FileName, name);
    EXPECT_TRUE(r->FileView) << name;
  }
  // Bitmap bytes under other names still go to the plug-ins, of which there are none.
  CreateDirectoryA((dir + "sub.bmp").c_str(), nullptr);
  for (const char* name : {"e.dib", "f.bm", "g", "sub.bmp\\h", "i.bm_"}) {
    mvtest::WriteFileBytes(dir + name, bmp);
    bool ok = true;
    Record r = Decode(none, dir + name, &ok);
    EXPECT_FALSE(ok) << name;
    EXPECT_EQ(r->FormatIndex, 1) << name;
    EXPECT_TRUE(HoldsNothing(*r)) << name;
  }
  EXPECT_EQ(none.MappingCounter, 4);  // one name per native decode only

  // With a plug-in, an MVT file under those names decodes through it.
  QvSpiCtrl host(PluginFolder("decode_ext_plugins", {"mvt_good" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 1u);
  const std::string mvt = Mvt(2, 1, 24, {}, {0xFF0000, 0x00FF00});
  for (const char* name : {"j.dib", "k.bm", "l", "sub.bmp\\m"}) {
    mvtest::WriteFileBytes(dir + name, mvt);
    bool ok = false;
    Record r = Decode(host, dir + name, &ok);
    EXPECT_TRUE(ok) << name;
    EXPECT_EQ(r->FormatIndex, 1) << name;
    EXPECT_TRUE(r->Bitmap) << name;
    EXPECT_FALSE(r->FileView) << name;
  }
}

TEST(DecodeChoice, ShiftJisNamesWithTrailByte5C) {
  ASSERT_EQ(::GetACP(), 932u) << "the Wine session must run with the Japanese ANSI code page";
  const std::string dir = mvtest::MakeScratchDir("decode_sjis");
  const std::string folder = dir + "\x95\x5C";  // 表
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  const std::string bmp = BuildBmp(BmpSpec{});
  QvSpiCtrl host(mvtest::MakeScratchDir("decode_sjis_noplugins"));

  struct Case {
    std::string name;
    int format;
  };
  const std::vector<Case> cases = {
      {"\x83\x5C.bmp", 0},          // ソ.bmp
      {"\x95\x5C.bmp", 0},          // 表.bmp
      {"x.bmp\x95\x5Cy", 0},        // the extension runs on through 表
      {"\x83\x5C", 1},              // ソ, no extension
  };
  for (const auto& c : cases) {
    const std::string path = folder + "\\" + c.name;
    mvtest::WriteFileBytes(path, bmp);
    ASSERT_NE(::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << c.name;
    bool ok = false;
    Record r = Decode(host, path, &ok);
    EXPECT_EQ(r->FileName, c.name);
    EXPECT_EQ(r->FormatIndex, c.format) << c.name;
    EXPECT_EQ(ok, c.format == 0) << c.name;
    if (ok) {
      ASSERT_EQ(r->FileSize, bmp.size());
      EXPECT_EQ(Bytes(r->View(), r->FileSize), bmp);
    }
  }
}

// --- the named mapping --------------------------------------------------

TEST(DecodeMapping, FirstTwoDecodesUseNamesZeroAndOne) {
  const std::string dir = mvtest::MakeScratchDir("decode_names");
  BmpSpec s1, s2;
  s1.width = 5;
  s2.width = 7;
  s2.bitCount = 8;
  const std::string b1 = BuildBmp(s1), b2 = BuildBmp(s2);
  mvtest::WriteFileBytes(dir + "one.bmp", b1);
  mvtest::WriteFileBytes(dir + "two.bmp", b2);

  QvSpiCtrl host(mvtest::MakeScratchDir("decode_names_noplugins"));
  MappingRecorder recorder;
  bool ok = false;
  // A file that cannot be opened takes no name.
  Record missing = Decode(host, dir + "missing.bmp", &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(host.MappingCounter, 0);

  Record r1 = Decode(host, dir + "one.bmp", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(host.MappingCounter, 1);
  Record r2 = Decode(host, dir + "two.bmp", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(host.MappingCounter, 2);

  ASSERT_TRUE(recorder.active()) << "no CreateFileMappingA import to watch";
  ASSERT_EQ(g_mapping_calls.size(), 2u);
  const std::string* files[] = {&b1, &b2};
  for (int i = 0; i < 2; ++i) {
    const MappingCall& c = g_mapping_calls[static_cast<size_t>(i)];
    EXPECT_EQ(c.name, std::to_string(i));
    EXPECT_EQ(c.error, static_cast<DWORD>(ERROR_SUCCESS)) << c.name;
    // The name opened the mapping of this very file.
    ASSERT_EQ(c.head.size(), 64u) << c.name;
    EXPECT_EQ(c.head, files[i]->substr(0, 64)) << c.name;
  }
  EXPECT_EQ(Bytes(r1->View(), b1.size()), b1);
  EXPECT_EQ(Bytes(r2->View(), b2.size()), b2);
  // Only the view is left: the names are free again at once.
  EXPECT_EQ(::OpenFileMappingA(FILE_MAP_READ, FALSE, "0"), nullptr);
  EXPECT_EQ(::OpenFileMappingA(FILE_MAP_READ, FALSE, "1"), nullptr);
}

TEST(DecodeMapping, NameTakenByAnotherObjectNeverShowsItsBytes) {
  const std::string dir = mvtest::MakeScratchDir("decode_squat");
  BmpSpec recipe;
  recipe.bitCount = 8;
  const std::string bmp = BuildBmp(recipe);
  mvtest::WriteFileBytes(dir + "a.bmp", bmp);

  // Another program's mapping named "0", full of 'Z'.
  mv::unique_handle other(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, "0"));
  ASSERT_TRUE(other);
  {
    mv::unique_view w(::MapViewOfFile(other.get(), FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_TRUE(w);
    std::memset(const_cast<void*>(w.get()), 'Z', 65536);
  }
  // And something that is not a mapping at all holding "1".
  mv::unique_handle event(::CreateEventA(nullptr, TRUE, FALSE, "1"));
  ASSERT_TRUE(event);

  QvSpiCtrl host(mvtest::MakeScratchDir("decode_squat_noplugins"));
  MappingRecorder recorder;
  ASSERT_TRUE(recorder.active());
  for (int i = 0; i < 2; ++i) {
    bool ok = false;
    Record r = Decode(host, dir + "a.bmp", &ok);
    ASSERT_TRUE(ok) << "decode " << i << " with its name taken";
    ASSERT_EQ(r->FileSize, bmp.size());
    EXPECT_EQ(Bytes(r->View(), r->FileSize), bmp);
    EXPECT_EQ(Entries(r->Palette.get()).size(), 256u);
  }
  EXPECT_EQ(host.MappingCounter, 2);
  // Each taken name was tried, then given up for an unnamed mapping.
  ASSERT_EQ(g_mapping_calls.size(), 4u);
  EXPECT_EQ(g_mapping_calls[0].name, "0");
  EXPECT_EQ(g_mapping_calls[0].error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(g_mapping_calls[1].name, "<unnamed>");
  EXPECT_EQ(g_mapping_calls[2].name, "1");
  EXPECT_EQ(g_mapping_calls[2].error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(g_mapping_calls[3].name, "<unnamed>");
  // The other mapping is untouched.
  mv::unique_view check(::MapViewOfFile(other.get(), FILE_MAP_READ, 0, 0, 0));
  ASSERT_TRUE(check);
  EXPECT_EQ(Bytes(check.get(), 4), "ZZZZ");
}

// A file that grew after its mapping was made is longer than the mapping;
// made here by mappings one page long.
HANDLE WINAPI OnePageMapping(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect, DWORD, DWORD, LPCSTR name) {
  return g_real_create_mapping(file, sa, protect, 0, 4096, name);
}

TEST(DecodeMapping, SizeIsWhatTheViewHolds) {
  QvSpiCtrl host(mvtest::MakeScratchDir("decode_grown_noplugins"));
  const std::string dir = mvtest::MakeScratchDir("decode_grown");
  BmpSpec rgb;
  rgb.width = rgb.height = 64;
  mvtest::WriteFileBytes(dir + "big.bmp", BuildBmp(rgb));
  mvtest::ScopedImportPatch patch("kernel32.dll", "CreateFileMappingA", reinterpret_cast<void*>(&OnePageMapping));
  ASSERT_TRUE(patch.ok());
  g_real_create_mapping = patch.Original<decltype(&::CreateFileMappingA)>();
  bool ok = false;
  Record r = Decode(host, dir + "big.bmp", &ok);
  ASSERT_TRUE(ok);  // the rows the view holds
  EXPECT_EQ(r->FileSize, 4096u);
  EXPECT_LT(r->Layout.rowsPresent, 64u);
}

// --- native bitmaps -----------------------------------------------------

TEST(DecodeNative, DepthsSizesAndPalettes) {
  const std::string dir = mvtest::MakeScratchDir("decode_native");
  QvSpiCtrl host(mvtest::MakeScratchDir("decode_native_noplugins"));
  struct Case {
    std::uint16_t bits;
    std::int32_t width, height;
    int icon;
    int entries;  // 0: no palette
  };
  for (const Case c : {Case{1, 9, 3, 0, 2}, Case{2, 6, 2, 6, 4}, Case{4, 5, 4, 1, 16}, Case{8, 3, -2, 2, 256},
                       Case{16, 4, 2, 3, 0}, Case{24, 7, 5, 4, 0}, Case{24, 3, -4, 4, 0}, Case{32, 2, 2, 5, 0}}) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits " << c.width << "x" << c.height);
    BmpSpec recipe;
    recipe.bitCount = c.bits;
    recipe.width = c.width;
    recipe.height = c.height;
    if (c.entries) recipe.palette = DistinctColors(c.entries);
    const std::string bytes = BuildBmp(recipe);
    const std::string path = dir + "d" + std::to_string(c.bits) + "_" + std::to_string(c.height) + ".bmp";
    mvtest::WriteFileBytes(path, bytes);

    bool ok = false;
    Record r = Decode(host, path, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r->FormatIndex, 0);
    EXPECT_EQ(r->BitCount, c.bits);
    EXPECT_EQ(r->DepthIcon, c.icon);
    EXPECT_EQ(r->Width, c.width);
    EXPECT_EQ(r->Height, c.height);
    EXPECT_FALSE(r->Bitmap);
    ASSERT_TRUE(r->FileView);
    ASSERT_EQ(r->FileSize, bytes.size());
    EXPECT_EQ(Bytes(r->View(), r->FileSize), bytes);
    // The view is the file itself, read-only.
    MEMORY_BASIC_INFORMATION mbi{};
    ASSERT_NE(::VirtualQuery(r->View(), &mbi, sizeof mbi), 0u);
    EXPECT_EQ(mbi.Type, static_cast<DWORD>(MEM_MAPPED));
    EXPECT_EQ(mbi.Protect, static_cast<DWORD>(PAGE_READONLY));
    if (c.entries == 0) {
      EXPECT_FALSE(r->Palette);
    } else {
      ASSERT_TRUE(r->Palette);
      const auto e = Entries(r->Palette.get());
      ASSERT_EQ(e.size(), static_cast<size_t>(c.entries));
      for (int i = 0; i < c.entries; ++i) EXPECT_TRUE(SameColor(e[i], recipe.palette[i])) << "entry " << i;
    }
  }
}

TEST(DecodeNative, ShortAndOs2ColorTables) {
  const std::string dir = mvtest::MakeScratchDir("decode_tables");
  QvSpiCtrl host(mvtest::MakeScratchDir("decode_tables_noplugins"));
  {
    BmpSpec recipe;
    recipe.bitCount = 8;
    recipe.palette = {0xFF0000, 0x00FF00, 0x0000FF};  // biClrUsed 3
    const std::string bytes = BuildBmp(recipe);
    ASSERT_EQ(mv::test::Get32(bytes, mv::test::kOffBiClrUsed), 3u);
    mvtest::WriteFileBytes(dir + "short.bmp", bytes);
    bool ok = false;
    Record r = Decode(host, dir + "short.bmp", &ok);
    ASSERT_TRUE(ok);
    const auto e = Entries(r->Palette.get());
    ASSERT_EQ(e.size(), 256u);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameColor(e[i], recipe.palette[i])) << i;
    // The pixel bytes follow the three entries: they must not show up as colours.
    for (int i = 3; i < 256; ++i) EXPECT_TRUE(SameColor(e[i], 0)) << "entry " << i << " is not black";
  }
  {
    BmpSpec recipe;
    recipe.headerSize = 12;
    recipe.bitCount = 4;
    recipe.width = 6;
    recipe.height = 3;
    recipe.palette = DistinctColors(16);
    const std::string bytes = BuildBmp(recipe);
    ASSERT_EQ(bytes.size(), 14u + 12 + 16 * 3 + 3 * 4);  // 3-byte entries
    mvtest::WriteFileBytes(dir + "os2.bmp", bytes);
    bool ok = false;
    Record r = Decode(host, dir + "os2.bmp", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r->Width, 6);
    EXPECT_EQ(r->Height, 3);
    EXPECT_EQ(r->BitCount, 4);
    EXPECT_EQ(r->DepthIcon, 1);
    const auto e = Entries(r->Palette.get());
    ASSERT_EQ(e.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(SameColor(e[i], recipe.palette[i])) << "entry " << i;
  }
}

TEST(DecodeNative, RefusesWhatCannotBeShownAndKeepsShortRows) {
  const std::string dir = mvtest::MakeScratchDir("decode_refuse");
  QvSpiCtrl host(mvtest::MakeScratchDir("decode_refuse_noplugins"));
  BmpSpec good;
  good.bitCount = 8;
  good.width = 16;
  good.height = 16;
  const std::string full = BuildBmp(good);

  BmpSpec huge;
  huge.bitCount = 8;
  huge.compression = 1;  // RLE8: a few stream bytes may claim any size
  huge.width = 3000000;
  huge.height = 2000000;
  huge.pixels = {0x00, 0x01};
  const std::string hugeBytes = BuildBmp(huge);
  ASSERT_LT(hugeBytes.size(), 2000u);

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"text.bmp", "This is a text file, not a picture.\r\n"},
      {"empty.bmp", ""},
      {"header.bmp", full.substr(0, 30)},
      {"mvt.bmp", Mvt(1, 1, 24, {}, {0x123456})},
      {"huge.bmp", hugeBytes},
  };
  for (const auto& [name, bytes] : refused) {
    mvtest::WriteFileBytes(dir + name, bytes);
    bool ok = true;
    Record r = Decode(host, dir + name, &ok);
    EXPECT_FALSE(ok) << name;
    EXPECT_EQ(r->FormatIndex, 0) << name;
    EXPECT_TRUE(HoldsNothing(*r)) << name;
  }

  // Rows cut short: still shown, with the rows that are there.
  const std::string cut = full.substr(0, full.size() - 16 * 5 - 3);
  mvtest::WriteFileBytes(dir + "cut.bmp", cut);
  bool ok = false;
  Record r = Decode(host, dir + "cut.bmp", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r->FileSize, cut.size());
  EXPECT_EQ(r->Width, 16);
  EXPECT_EQ(r->Height, 16);
  EXPECT_TRUE(r->FileView);
  EXPECT_EQ(Entries(r->Palette.get()).size(), 256u);
  EXPECT_EQ(r->Layout.rowsPresent, 10u);
  EXPECT_FALSE(r->Layout.complete);
}

// Cuts a file to nothing as another program of the machine does: under
// Wine through the system's truncate (Windows itself refuses to cut a
// mapped file). False where that cannot be done.
bool CutShortFromOutside(const std::string& path) {
  HMODULE k32 = ::GetModuleHandleA("kernel32.dll");
  const auto to_unix = reinterpret_cast<char*(__cdecl*)(LPCWSTR)>(
      reinterpret_cast<void*>(::GetProcAddress(k32, "wine_get_unix_file_name")));
  const auto to_dos = reinterpret_cast<WCHAR*(__cdecl*)(LPCSTR)>(
      reinterpret_cast<void*>(::GetProcAddress(k32, "wine_get_dos_file_name")));
  std::wstring wide(MAX_PATH, L'\0'), unix_wide(4 * MAX_PATH, L'\0');
  wide.resize(::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), MAX_PATH));
  char* unix_path = to_unix && to_dos ? to_unix(wide.c_str()) : nullptr;  // on the process heap
  if (!unix_path) return false;
  unix_wide.resize(::MultiByteToWideChar(CP_UTF8, 0, unix_path, -1, unix_wide.data(), 4 * MAX_PATH));
  std::wstring cmd = L"truncate -s 0 \"" + std::wstring(unix_wide.c_str()) + L"\"";
  WCHAR* truncate = to_dos("/usr/bin/truncate");
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessW(truncate, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  ::HeapFree(::GetProcessHeap(), 0, truncate);
  if (!started) return false;
  mv::unique_handle process(pi.hProcess), thread(pi.hThread);
  // Wine neither waits for a Unix program nor gives its exit code: the
  // file's length tells when it has run.
  for (int tries = 0; tries < 500; ++tries, ::Sleep(10)) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == 0) return true;
  }
  return false;
}

TEST(DecodeNative, FileCutShortOnDiskPaintsBlack) {
  QvSpiCtrl host(mvtest::MakeScratchDir("decode_cut_noplugins"));
  const std::string dir = mvtest::MakeScratchDir("decode_cut");
  BmpSpec rle;  // expanded by the program: rows of one absolute run each
  rle.width = rle.height = 200;
  rle.bitCount = 8;
  rle.compression = 1;
  for (int y = 0; y < 200; ++y) {
    rle.pixels.insert(rle.pixels.end(), {0, 200});
    rle.pixels.insert(rle.pixels.end(), 200, 0xC0);
    rle.pixels.insert(rle.pixels.end(), {0, 0});
  }
  rle.pixels.insert(rle.pixels.end(), {0, 1});
  BmpSpec two;  // rendered by the program
  two.width = 512;
  two.height = 256;
  two.bitCount = 2;
  two.pixels.assign(128 * 256, 0xFF);
  for (const auto& [name, recipe] : {std::pair{"rle.bmp", rle}, std::pair{"two.bmp", two}}) {
    SCOPED_TRACE(name);
    const std::string path = dir + name;
    mvtest::WriteFileBytes(path, BuildBmp(recipe));
    bool ok = false;
    Record r = Decode(host, path, &ok);
    ASSERT_TRUE(ok);
    ASSERT_NE(PaintedCentre(*r), RGB(0, 0, 0));
    // Another program cuts the file short while it is listed.
    if (!CutShortFromOutside(path)) GTEST_SKIP() << "no way to cut a mapped file here";
    EXPECT_EQ(PaintedCentre(*r), RGB(0, 0, 0));
  }
}

// --- plug-ins -----------------------------------------------------------

TEST(DecodePlugins, FailingPluginIsPassedOverAndCallsAreAsDocumented) {
  for (const Place place : {Place::Worker, Place::InProcess}) {
    SCOPED_TRACE(Name(place));
    const auto here = RunPlugins(place);
    const std::string pdir = PluginFolder("decode_order", {"mvt_good" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT});
    QvSpiCtrl host(pdir);
    ASSERT_EQ(host.Plugins.size(), 2u);
    Reorder(host, {"mvt_failpic" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
    FixtureCounters* fail = Stats(*host.Plugins[0]);
    FixtureCounters* good = Stats(*host.Plugins[1]);
    ASSERT_TRUE(fail && good);
    mv::test::ResetCounters(*fail);
    mv::test::ResetCounters(*good);

    const std::string dir = mvtest::MakeScratchDir("decode_order_files");
    const std::string file = Mvt(3, 2, 24, {}, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF, 0x808080});
    const std::string path = dir + "pic.mvt";
    mvtest::WriteFileBytes(path, file);
    bool ok = false;
    Record r;
    {
      MappingRecorder recorder;
      ASSERT_TRUE(recorder.active());
      r = Decode(host, path, &ok);
      // One unnamed mapping for each plug-in tried here; none when the
      // plug-ins run in the worker: a small file travels in its mailbox.
      ASSERT_EQ(g_mapping_calls.size(), place == Place::Worker ? 0u : 2u);
      for (const auto& c : g_mapping_calls) EXPECT_EQ(c.name, "<unnamed>");
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(r->FormatIndex, 1);
    EXPECT_EQ(fail->isSupportedResult, 1);
    EXPECT_EQ(fail->getPictureCalls, 1);
    EXPECT_NE(fail->getPictureResult, 0);
    // Each plug-in gets a fresh handle at the file's start, even after the
    // first one read 2 KB from its own. The 64-bit edition, and a worker,
    // hand every plug-in the file's first 2 KB instead.
    std::uint32_t file_sum = 0;
    for (unsigned char c : file) file_sum += c;
    for (FixtureCounters* s : {fail, good}) {
      EXPECT_EQ(s->isSupportedCalls, 1);
      if (spi::kIsSupportedTakesBuffer || place == Place::Worker) {
        EXPECT_EQ(s->isSupportedGotHandle, 0);
        EXPECT_EQ(s->isSupportedBufferSum, file_sum);  // the file, zero-padded
      } else {
        EXPECT_EQ(s->isSupportedGotHandle, 1);
        EXPECT_EQ(s->isSupportedFilePos, 0);
        EXPECT_EQ(s->isSupportedBytesRead, static_cast<int>(file.size()));
      }
      EXPECT_STREQ(s->lastPath, path.c_str());
      EXPECT_EQ(s->getPictureFlag, 1);
      EXPECT_EQ(s->getPictureLen, static_cast<int>(file.size()));
      EXPECT_EQ(s->getPictureHadCallback, 1);
      EXPECT_EQ(s->getPictureUserData, 0u);
    }
    EXPECT_EQ(good->getPictureResult, 0);
    EXPECT_EQ(r->Width, 3);
    EXPECT_EQ(r->Height, 2);
    EXPECT_EQ(r->BitCount, 24);
    EXPECT_EQ(r->DepthIcon, 4);
    ASSERT_TRUE(r->Bitmap);
    EXPECT_FALSE(r->FileView);
    EXPECT_FALSE(r->Palette);
    EXPECT_EQ(r->Bitmap->Format(), forms::PixelFormat::pf24bit);
    HDC dc = r->Bitmap->CanvasHandle();
    EXPECT_EQ(::GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 2, 0), RGB(0, 0, 255));
    EXPECT_EQ(::GetPixel(dc, 1, 1), RGB(255, 255, 255));

    // Switched off, neither is asked.
    for (auto& p : host.Plugins) p->Enabled = 0;
    Record off = Decode(host, path, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(HoldsNothing(*off));
    EXPECT_EQ(fail->isSupportedCalls + good->isSupportedCalls, 2);

    // A missing file: false, and no plug-in is asked.
    for (auto& p : host.Plugins) p->Enabled = 1;
    Record missing = Decode(host, dir + "missing.mvt", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(HoldsNothing(*missing));
    EXPECT_EQ(fail->isSupportedCalls + good->isSupportedCalls, 2);
    EXPECT_EQ(host.MappingCounter, 0);
  }
}

TEST(DecodePlugins, ShortBlocksAreRefusedAndTheNextPluginDecodes) {
  QvSpiCtrl host(PluginFolder("decode_badblock", {"mvt_good" MV_SPI_EXT, "mvt_badblock" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 2u);
  Reorder(host, {"mvt_badblock" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  FixtureCounters* bad = Stats(*host.Plugins[0]);
  ASSERT_TRUE(bad);
  const std::string dir = mvtest::MakeScratchDir("decode_badblock_files");
  const Counts before = Counts::Now();

  const std::vector<std::uint32_t> pal = DistinctColors(256);
  std::vector<std::uint32_t> px8(8 * 4);
  for (size_t i = 0; i < px8.size(); ++i) px8[i] = static_cast<std::uint32_t>(i * 7 % 256);
  const std::vector<std::uint32_t> px24(8 * 4, 0x336699);
  struct Case {
    const char* name;
    std::string bytes;
    std::uint32_t pixel11;  // colour at (1, 1)
  };
  const std::vector<Case> cases = {
      {"info8.mvt", Mvt(8, 4, 8, pal, px8) + mv::test::kMvtTrailerShortInfo, pal[px8[9]]},
      {"info24.mvt", Mvt(8, 4, 24, {}, px24) + mv::test::kMvtTrailerShortInfo, 0x336699},
      {"bits8.mvt", Mvt(8, 4, 8, pal, px8) + mv::test::kMvtTrailerShortBits, pal[px8[9]]},
      {"bits24.mvt", Mvt(8, 4, 24, {}, px24) + mv::test::kMvtTrailerShortBits, 0x336699},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mvtest::WriteFileBytes(dir + c.name, c.bytes);
    host.Plugins[1]->Enabled = 0;
    mv::test::ResetCounters(*bad);
    bool ok = true;
    Record r = Decode(host, dir + c.name, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(HoldsNothing(*r));
    EXPECT_EQ(bad->getPictureCalls, 1);
    EXPECT_EQ(bad->getPictureResult, 0);  // it claimed success
    r.reset();
    EXPECT_EQ(Counts::Now(), before);  // its blocks were freed all the same

    host.Plugins[1]->Enabled = 1;
    Record r2 = Decode(host, dir + c.name, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(r2->Bitmap);
    EXPECT_EQ(r2->Width, 8);
    EXPECT_EQ(r2->Height, 4);
    EXPECT_EQ(bad->getPictureCalls, 2);
    EXPECT_EQ(::GetPixel(r2->Bitmap->CanvasHandle(), 1, 1), Ref(c.pixel11));
  }
}

TEST(DecodePlugins, TopDownOutputIsStoredUpright) {
  QvSpiCtrl host(PluginFolder("decode_topdown", {"mvt_topdown" MV_SPI_EXT, "mvt_good" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 2u);
  const std::string dir = mvtest::MakeScratchDir("decode_topdown_files");
  // Top row red, green; bottom row blue, white.
  const std::vector<std::uint32_t> px = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  mvtest::WriteFileBytes(dir + "up.mvt", Mvt(2, 2, 24, {}, px));
  mvtest::WriteFileBytes(dir + "down.mvt", Mvt(2, -2, 24, {}, px));

  struct Case {
    const char* plugin;
    const char* file;
  };
  for (const Case c : {Case{"mvt_topdown" MV_SPI_EXT, "up.mvt"}, Case{"mvt_good" MV_SPI_EXT, "down.mvt"},
                       Case{"mvt_good" MV_SPI_EXT, "up.mvt"}}) {
    SCOPED_TRACE(testing::Message() << c.plugin << " " << c.file);
    Reorder(host, {c.plugin});
    for (size_t i = 1; i < host.Plugins.size(); ++i) host.Plugins[i]->Enabled = 0;
    host.Plugins[0]->Enabled = 1;
    bool ok = false;
    Record r = Decode(host, dir + c.file, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(r->Bitmap);
    const bool topDownOutput = std::string(c.plugin) == "mvt_topdown" MV_SPI_EXT || std::string(c.file) == "down.mvt";
    EXPECT_EQ(r->Height, topDownOutput ? -2 : 2);  // the plug-in header's sign
    EXPECT_EQ(r->Bitmap->Width(), 2);
    EXPECT_EQ(r->Bitmap->Height(), 2);
    HDC dc = r->Bitmap->CanvasHandle();
    EXPECT_EQ(::GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 1, 0), RGB(0, 255, 0));
    EXPECT_EQ(::GetPixel(dc, 0, 1), RGB(0, 0, 255));
    EXPECT_EQ(::GetPixel(dc, 1, 1), RGB(255, 255, 255));
    // The bitmap's own rows are bottom-up: the last stored row is the top one.
    const std::uint8_t* top = r->Bitmap->Bits() + r->Bitmap->Stride();
    EXPECT_EQ(top[0], 0x00);  // blue, green, red of red
    EXPECT_EQ(top[2], 0xFF);
  }
}

TEST(DecodePlugins, IndexedImagesKeepTheirColourTable) {
  QvSpiCtrl host(PluginFolder("decode_indexed", {"mvt_good" MV_SPI_EXT, "mvt_shortpal" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 2u);
  const std::string dir = mvtest::MakeScratchDir("decode_indexed_files");

  // 8 bits through mvt_good: Bitmap with the table, no palette of the record's own.
  {
    Reorder(host, {"mvt_good" MV_SPI_EXT, "mvt_shortpal" MV_SPI_EXT});
    const std::vector<std::uint32_t> pal = DistinctColors(256);
    const std::vector<std::uint32_t> px = {0, 1, 2, 255, 128, 7};
    mvtest::WriteFileBytes(dir + "p8.mvt", Mvt(3, 2, 8, pal, px));
    bool ok = false;
    Record r = Decode(host, dir + "p8.mvt", &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(r->Bitmap);
    EXPECT_FALSE(r->Palette);
    EXPECT_FALSE(r->FileView);
    EXPECT_EQ(r->DepthIcon, 2);
    EXPECT_EQ(r->BitCount, 8);
    EXPECT_EQ(r->Bitmap->Format(), forms::PixelFormat::pf8bit);
    std::vector<RGBQUAD> table(256);
    ASSERT_EQ(r->Bitmap->ColorTable(table.data(), 0, 256), 256);
    for (int i = 0; i < 256; ++i)
      EXPECT_EQ(RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue), Ref(pal[i])) << "entry " << i;
    HDC dc = r->Bitmap->CanvasHandle();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(::GetPixel(dc, i % 3, i / 3), Ref(pal[px[i]])) << "pixel " << i;
    // The bitmap's palette is built from that table when asked for.
    const auto e = Entries(r->Bitmap->Palette());
    ASSERT_EQ(e.size(), 256u);
    EXPECT_TRUE(SameColor(e[255], pal[255]));
  }
  // A three-entry table from mvt_shortpal: the missing entries read black.
  {
    Reorder(host, {"mvt_shortpal" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
    FixtureCounters* sp = Stats(*host.Plugins[0]);
    ASSERT_TRUE(sp);
    mv::test::ResetCounters(*sp);
    const std::vector<std::uint32_t> pal = {0xFF8000, 0x00FFFF, 0xFFFFFF};
    const std::vector<std::uint32_t> px = {0, 1, 2, 5, 200, 0};
    mvtest::WriteFileBytes(dir + "short.mvt", Mvt(3, 2, 8, pal, px));
    bool ok = false;
    Record r = Decode(host, dir + "short.mvt", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sp->getPictureCalls, 1);  // decoded by mvt_shortpal itself
    ASSERT_TRUE(r->Bitmap);
    std::vector<RGBQUAD> table(256);
    ASSERT_EQ(r->Bitmap->ColorTable(table.data(), 0, 256), 256);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue), Ref(pal[i]));
    for (int i = 3; i < 256; ++i)
      EXPECT_EQ(RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue), RGB(0, 0, 0)) << "entry " << i;
    HDC dc = r->Bitmap->CanvasHandle();
    EXPECT_EQ(::GetPixel(dc, 0, 0), Ref(pal[0]));
    EXPECT_EQ(::GetPixel(dc, 2, 0), Ref(pal[2]));
    EXPECT_EQ(::GetPixel(dc, 0, 1), RGB(0, 0, 0));  // index 5
    EXPECT_EQ(::GetPixel(dc, 1, 1), RGB(0, 0, 0));  // index 200
  }
}

TEST(DecodePlugins, DepthIconsAndPixelFormats) {
  QvSpiCtrl host(PluginFolder("decode_depths", {"mvt_good" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 1u);
  const std::string dir = mvtest::MakeScratchDir("decode_depths_files");
  struct Case {
    std::uint16_t bits;
    int icon;
    forms::PixelFormat format;
  };
  for (const Case c : {Case{1, 0, forms::PixelFormat::pf1bit}, Case{4, 1, forms::PixelFormat::pf4bit},
                       Case{16, 3, forms::PixelFormat::pf16bit}, Case{32, 5, forms::PixelFormat::pf32bit}}) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits");
    const std::vector<std::uint32_t> pal = c.bits <= 8 ? DistinctColors(1 << c.bits) : std::vector<std::uint32_t>{};
    // Index 1 everywhere; 16 bits: pure red in 5-5-5; 32 bits: 0x00RRGGBB.
    const std::uint32_t v = c.bits <= 8 ? 1 : c.bits == 16 ? 0x7C00 : 0x00FF0000;
    mvtest::WriteFileBytes(dir + "d.mvt", Mvt(5, 3, c.bits, pal, std::vector<std::uint32_t>(15, v)));
    bool ok = false;
    Record r = Decode(host, dir + "d.mvt", &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(r->Bitmap);
    EXPECT_EQ(r->BitCount, c.bits);
    EXPECT_EQ(r->DepthIcon, c.icon);
    EXPECT_EQ(r->Bitmap->Format(), c.format);
    EXPECT_FALSE(r->Palette);
    const COLORREF px = ::GetPixel(r->Bitmap->CanvasHandle(), 4, 2);
    if (c.bits <= 8) {
      EXPECT_EQ(px, Ref(pal[1]));
    } else {
      EXPECT_GE(GetRValue(px), 0xF8);
      EXPECT_EQ(GetGValue(px), 0);
      EXPECT_EQ(GetBValue(px), 0);
    }
  }
}

TEST(DecodePlugins, MisusedBlocksOrHeadBufferPassThePluginOver) {
  for (const Place place : {Place::Worker, Place::InProcess}) {
    SCOPED_TRACE(Name(place));
    const auto here = RunPlugins(place);
    QvSpiCtrl host(PluginFolder("decode_misuse", {"mvt_odd_blocks" MV_SPI_EXT, "mvt_overrun_head" MV_SPI_EXT,
                                                  "mvt_good" MV_SPI_EXT}));
    Reorder(host, {"mvt_odd_blocks" MV_SPI_EXT, "mvt_overrun_head" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
    FixtureCounters* good = Stats(*host.Plugins[2]);
    ASSERT_TRUE(good);
    const std::string dir = mvtest::MakeScratchDir("decode_misuse_files");
    mvtest::ScopedImportPatch patch("kernel32.dll", "GlobalFree", reinterpret_cast<void*>(&CountingGlobalFree));
    ASSERT_TRUE(patch.ok());
    g_real_global_free = patch.Original<decltype(&::GlobalFree)>();
    const Counts before = Counts::Now();
    // The byte after the rows tells mvt_odd_blocks what to hand back: one
    // block as both ('S'), or blocks it freed itself ('F'). mvt_overrun_head
    // writes past the 2 KB IsSupported gets.
    for (const char* mode : {"S", "F", ""}) {
      SCOPED_TRACE(mode);
      host.Plugins[0]->Enabled = *mode != 0;
      mvtest::WriteFileBytes(dir + "a.mvt", Mvt(4, 4, 24, {}, std::vector<std::uint32_t>(16, 0x336699)) + mode);
      mv::test::ResetCounters(*good);
      g_bad_frees = 0;
      bool ok = false;
      Record r = Decode(host, dir + "a.mvt", &ok);
      ASSERT_TRUE(ok);
      EXPECT_EQ(good->getPictureCalls, 1) << "decoded by the good plug-in";
      EXPECT_EQ(g_bad_frees, 0);  // here: what frees blocks; in a worker: none at all
      r.reset();
      EXPECT_EQ(Counts::Now(), before);
    }
    EXPECT_FALSE(host.Plugins[0]->Faulted);
    EXPECT_TRUE(host.Plugins[1]->Faulted);
  }
}

// A plug-in reading its input view meets the view's fault (by hand: under
// Wine a file cut short under its mapping faults so, but while the decoder
// holds the file no other program of ours may cut it).
TEST(DecodePlugins, FileCutShortUnderAPluginFailsTheFileAndKeepsThePlugin) {
  QvSpiCtrl host(PluginFolder("decode_cutview", {"mvt_cut_view" MV_SPI_EXT, "mvt_good" MV_SPI_EXT}));
  Reorder(host, {"mvt_cut_view" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  const std::string dir = mvtest::MakeScratchDir("decode_cutview_files");
  mvtest::WriteFileBytes(dir + "a.mvt", Mvt(2, 2, 24, {}, {1, 2, 3, 4}));
  bool ok = true;
  Record r = Decode(host, dir + "a.mvt", &ok);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(host.Plugins[0]->Faulted);
  EXPECT_EQ(Stats(*host.Plugins[1])->isSupportedCalls, 0) << "a file that cannot be read is not offered on";
}

// Whether this system's SetDIBits takes a 2-bit DIB into a 32-bit bitmap.
static bool SetDIBitsTakesTwoBits() {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colors[4];
  } info{};
  info.h = {sizeof(BITMAPINFOHEADER), 4, 1, 1, 2, BI_RGB, 0, 0, 0, 0, 0};
  info.colors[1] = {0, 0, 255, 0};
  const std::uint8_t row[4] = {0x55, 0, 0, 0};
  mv::unique_hdc dc(::CreateCompatibleDC(nullptr));
  mv::unique_hbitmap target(::CreateBitmap(4, 1, 1, 32, nullptr));
  return dc && target &&
         ::SetDIBits(dc.get(), target.get(), 0, 1, row, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != 0;
}

TEST(DecodePlugins, TwoBitImageIsThirtyTwoBitOnlyWhereSetDIBitsTakesIt) {
  QvSpiCtrl host(PluginFolder("decode_2bit", {"mvt_good" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 1u);
  const std::string dir = mvtest::MakeScratchDir("decode_2bit_files");
  const std::vector<std::uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  const std::vector<std::uint32_t> px = {1, 2, 3, 0, 3, 2, 1, 0};
  mvtest::WriteFileBytes(dir + "two.mvt", Mvt(4, 2, 2, pal, px));
  const bool gdiTakesIt = SetDIBitsTakesTwoBits();
  const Counts before = Counts::Now();
  bool ok = false;
  Record r = Decode(host, dir + "two.mvt", &ok);
  ASSERT_EQ(ok, gdiTakesIt) << "SetDIBits on 2 bits: " << gdiTakesIt;
  // Wine's SetDIBits refuses 2-bit input: the image is then not taken, and
  // the plug-in's blocks and the bitmap object are all given back.
  if (!ok) {
    EXPECT_TRUE(HoldsNothing(*r));
  } else {
    ASSERT_TRUE(r->Bitmap);
    EXPECT_EQ(r->BitCount, 2);
    EXPECT_EQ(r->DepthIcon, 6);
    EXPECT_EQ(r->Bitmap->Format(), forms::PixelFormat::pf32bit);
    EXPECT_FALSE(r->Palette);
    HDC dc = r->Bitmap->CanvasHandle();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(::GetPixel(dc, i % 4, i / 4), Ref(pal[px[i]])) << "pixel " << i;
  }
  r.reset();
  EXPECT_EQ(Counts::Now(), before);
}

// --- giving everything back ---------------------------------------------

TEST(DecodeRelease, DestroyingRecordsGivesBackEveryHandleAndUnmaps) {
  QvSpiCtrl host(PluginFolder("decode_release", {"mvt_badblock" MV_SPI_EXT, "mvt_good" MV_SPI_EXT, "mvt_failpic" MV_SPI_EXT}));
  ASSERT_EQ(host.Plugins.size(), 3u);
  Reorder(host, {"mvt_failpic" MV_SPI_EXT, "mvt_badblock" MV_SPI_EXT, "mvt_good" MV_SPI_EXT});
  const std::string dir = mvtest::MakeScratchDir("decode_release_files");
  BmpSpec s8;
  s8.bitCount = 8;
  s8.width = 64;
  s8.height = 64;
  BmpSpec s24;
  s24.width = 300;
  s24.height = 300;
  mvtest::WriteFileBytes(dir + "p8.bmp", BuildBmp(s8));
  mvtest::WriteFileBytes(dir + "rgb.bmp", BuildBmp(s24));
  mvtest::WriteFileBytes(dir + "bad.bmp", "BM not really");
  mvtest::WriteFileBytes(dir + "pic.mvt", Mvt(2, 2, 8, DistinctColors(4), {0, 1, 2, 3}));
  mvtest::WriteFileBytes(dir + "short.mvt", Mvt(2, 2, 24, {}, {1, 2, 3, 4}) + mv::test::kMvtTrailerShortBits);
  mvtest::WriteFileBytes(dir + "junk.dib", "neither");

  const Counts before = Counts::Now();
  std::vector<Record> kept;
  std::vector<const void*> views;
  int decoded = 0;
  for (int round = 0; round < 3; ++round) {
    for (const char* name : {"p8.bmp", "bad.bmp", "pic.mvt", "rgb.bmp", "junk.dib", "missing.bmp", "short.mvt",
                             "missing.mvt"}) {
      bool ok = false;
      Record r = Decode(host, dir + name, &ok);
      if (!ok) {
        EXPECT_TRUE(HoldsNothing(*r)) << name;
        continue;  // a failed record is destroyed at once, as the load command does
      }
      ++decoded;
      if (r->FileView) views.push_back(r->FileView.get());
      kept.push_back(std::move(r));
    }
  }
  EXPECT_EQ(decoded, 12);  // p8, pic, rgb and short (through mvt_good) in each round
  const Counts alive = Counts::Now();
  EXPECT_EQ(alive.view, before.view + 6);
  EXPECT_EQ(alive.palette, before.palette + 3);  // only the native 8-bit file has one
  EXPECT_EQ(alive.bitmaps, before.bitmaps + 6);
  // A listed image holds no file or mapping handle, nor any plug-in block.
  EXPECT_EQ(alive.file, before.file);
  EXPECT_EQ(alive.kernel, before.kernel);
  EXPECT_EQ(alive.global, before.global);
  for (const void* v : views) {
    MEMORY_BASIC_INFORMATION mbi{};
    ASSERT_NE(::VirtualQuery(v, &mbi, sizeof mbi), 0u);
    EXPECT_EQ(mbi.State, static_cast<DWORD>(MEM_COMMIT));
  }

  // Destroy in an order unlike the loading one.
  std::reverse(kept.begin(), kept.end());
  for (auto& r : kept) delete r.release();
  EXPECT_EQ(Counts::Now(), before);
  for (const void* v : views) {
    MEMORY_BASIC_INFORMATION mbi{};
    ASSERT_NE(::VirtualQuery(v, &mbi, sizeof mbi), 0u);
    EXPECT_EQ(mbi.State, static_cast<DWORD>(MEM_FREE)) << "a destroyed record's view is still mapped";
  }
}

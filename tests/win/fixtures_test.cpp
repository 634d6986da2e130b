// The fixture plug-ins, called directly (LoadLibraryA + GetProcAddress), so
// that host tests can rely on what each variant does. Decoded blocks are
// checked field by field and also drawn through GDI, which proves they are
// DIBs that Windows reads the intended way.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/handles.h"
#include "susie/spi_interface.h"
#include "tests/fixtures/fixture_stats.h"
#include "tests/support/mvt_format.h"
#include "tests/win/support/paths.h"

namespace {

using mv::test::FixtureCounters;

using ProgressFn = int(__stdcall*)(int, int, LONG_PTR);
using GetPluginInfoFn = int(__stdcall*)(int, LPSTR, int);
using IsSupportedFn = int(__stdcall*)(LPCSTR, DWORD_PTR);
using GetPictureFn = int(__stdcall*)(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressFn, LONG_PTR);
using ConfigurationDlgFn = int(__stdcall*)(HWND, int);
using FixtureStatsFn = FixtureCounters*(__stdcall*)();


template <class F>
F Proc(HMODULE m, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(m, name)));
}

// One loaded fixture with its entry points (null when not exported).
struct Plugin {
  mv::unique_module module;
  GetPluginInfoFn getPluginInfo = nullptr;
  IsSupportedFn isSupported = nullptr;
  GetPictureFn getPicture = nullptr;
  ConfigurationDlgFn configurationDlg = nullptr;
  FixtureCounters* stats = nullptr;
};

Plugin Load(const std::string& file) {
  Plugin p;
  p.module.reset(::LoadLibraryA((mvtest::FixtureDir() + file).c_str()));
  if (!p.module) return p;
  HMODULE m = p.module.get();
  p.getPluginInfo = Proc<GetPluginInfoFn>(m, "GetPluginInfo");
  p.isSupported = Proc<IsSupportedFn>(m, "IsSupported");
  p.getPicture = Proc<GetPictureFn>(m, "GetPicture");
  p.configurationDlg = Proc<ConfigurationDlgFn>(m, "ConfigurationDlg");
  if (auto fn = Proc<FixtureStatsFn>(m, "FixtureStats")) {
    p.stats = fn();
    mv::test::ResetCounters(*p.stats);
  }
  return p;
}

// The host side of progress: counts calls, optionally asks to stop.
struct ProgressLog {
  int calls = 0, firstNum = -1, lastNum = -1, lastDenom = -1;
  long data = 0;
  int stopAfter = -1;  // answer 1 on this call number (1-based)
};
ProgressLog* g_log = nullptr;
int __stdcall RecordProgress(int num, int denom, LONG_PTR data) {
  ProgressLog& l = *g_log;
  if (l.calls++ == 0) l.firstNum = num;
  l.lastNum = num;
  l.lastDenom = denom;
  l.data = data;
  return l.calls == l.stopAfter ? 1 : 0;
}

// A file mapped read-only, the way the host hands files to GetPicture.
struct MappedFile {
  mv::unique_file file;
  mv::unique_handle mapping;
  mv::unique_view view;
  DWORD size = 0;
};
MappedFile MapFile(const std::string& path) {
  MappedFile m;
  m.file.reset(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m.file) return m;
  m.size = ::GetFileSize(m.file.get(), nullptr);
  m.mapping.reset(::CreateFileMappingA(m.file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (m.mapping) m.view.reset(::MapViewOfFile(m.mapping.get(), FILE_MAP_READ, 0, 0, 0));
  return m;
}

mv::unique_file OpenFresh(const std::string& path) {
  return mv::unique_file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
}

DWORD_PTR AsArg(HANDLE h) { return reinterpret_cast<DWORD_PTR>(h); }

// Locked view of a returned block; GlobalLock must work, so the block is real.
struct Locked {
  HGLOBAL h;
  const unsigned char* p;
  explicit Locked(HGLOBAL block) : h(block), p(static_cast<const unsigned char*>(::GlobalLock(block))) {}
  ~Locked() {
    if (p) ::GlobalUnlock(h);
  }
  const BITMAPINFOHEADER& header() const { return *reinterpret_cast<const BITMAPINFOHEADER*>(p); }
};

// What a decode returned, freed with GlobalFree as a host does.
struct Decoded {
  int rc = -100;
  mv::unique_hglobal info, bits;
};

Decoded DecodeMemory(const Plugin& p, const std::string& path, ProgressLog* log = nullptr, long userData = 0) {
  Decoded d;
  MappedFile m = MapFile(path);
  EXPECT_TRUE(m.view) << path;
  if (!m.view) return d;
  ProgressLog local;
  g_log = log ? log : &local;
  HLOCAL info = nullptr, bits = nullptr;
  d.rc = p.getPicture(static_cast<LPCSTR>(m.view.get()), static_cast<LONG_PTR>(m.size), 1, &info, &bits, RecordProgress,
                      userData);
  g_log = nullptr;
  d.info.reset(info);
  d.bits.reset(bits);
  return d;
}

// A test image with a distinct value in every pixel, and its palette.
struct Sample {
  std::int32_t width, height;
  std::uint16_t bits;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::uint32_t> values;   // top row first
  std::string rows;                    // bottom-up DIB rows
  std::string file;
};

Sample MakeSample(std::uint16_t bits, std::int32_t width = 13, std::int32_t height = 5, int paletteCount = -1) {
  Sample s{width, height, bits, {}, {}, {}, {}};
  const std::uint32_t full = mv::test::MvtFullTableSize(bits);
  const std::uint32_t n = paletteCount >= 0 ? static_cast<std::uint32_t>(paletteCount) : full;
  for (std::uint32_t i = 0; i < n; ++i) s.palette.push_back(((i * 37 + 11) & 0xFF) << 16 | ((i * 91) & 0xFF) << 8 | (255 - i));
  const std::int32_t rows = height < 0 ? -height : height;
  for (std::int32_t y = 0; y < rows; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t k = static_cast<std::uint32_t>(y * width + x);
      std::uint32_t v;
      if (bits <= 8) v = (k * 7 + static_cast<std::uint32_t>(y)) % (n ? (n < full ? n : full) : 1);
      else if (bits == 16) v = (k * 2654435761u) & 0x7FFF;
      else v = (k * 2654435761u) & 0x00FFFFFF;
      s.values.push_back(v);
    }
  }
  s.rows = mv::test::PackMvtRows(width, rows, bits, s.values);
  s.file = mv::test::BuildMvt(width, height, bits, s.palette, s.rows);
  return s;
}

// The colour GDI should show for pixel value v.
std::uint32_t ExpectedColour(const Sample& s, std::uint32_t v) {
  if (s.bits <= 8) return v < s.palette.size() ? s.palette[v] : 0;
  if (s.bits == 16) {  // BI_RGB 16 bits is 5-5-5; GDI widens each channel as (c << 3) | (c >> 2)
    auto widen = [](std::uint32_t c) { return (c << 3) | (c >> 2); };
    return widen((v >> 10) & 31) << 16 | widen((v >> 5) & 31) << 8 | widen(v & 31);
  }
  return v & 0x00FFFFFF;
}

// Draws the DIB onto a 32-bit top-down DIB section and reads it back as 0x00RRGGBB, top row first.
std::vector<std::uint32_t> RenderThroughGdi(const void* infoBlock, const void* bitsBlock, int width, int height) {
  BITMAPINFO target{};
  target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  target.bmiHeader.biWidth = width;
  target.bmiHeader.biHeight = -height;
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 32;
  target.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  mv::unique_hbitmap bmp(::CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &pixels, nullptr, 0));
  mv::unique_hdc dc(::CreateCompatibleDC(nullptr));
  if (!bmp || !dc) return {};
  mv::SelectGuard sel(dc.get(), bmp.get());
  const int lines = ::SetDIBitsToDevice(dc.get(), 0, 0, width, height, 0, 0, 0, height, bitsBlock,
                                        static_cast<const BITMAPINFO*>(infoBlock), DIB_RGB_COLORS);
  EXPECT_EQ(lines, height);
  ::GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(pixels);
  std::vector<std::uint32_t> out(p, p + static_cast<std::size_t>(width) * height);
  for (auto& c : out) c &= 0x00FFFFFF;
  return out;
}

std::uint16_t ReadFpuControl() {
  std::uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}
void WriteFpuControl(std::uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

class FixturePlugins : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = mvtest::MakeScratchDir("fixtures"); }
  static std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + name;
    mvtest::WriteFileBytes(path, bytes);
    return path;
  }
  static inline std::string dir_;
};

// ---------------------------------------------------------------- loading

TEST_F(FixturePlugins, TextFileNamedLikeAPluginDoesNotLoad) {
  ::SetLastError(0);
  mv::unique_module m(::LoadLibraryA((mvtest::FixtureDir() + "not_a_dll" MV_SPI_EXT).c_str()));
  const DWORD err = ::GetLastError();
  EXPECT_FALSE(m);
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), err);
  // ...while it is really there, so the failure is the format, not a missing file.
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA((mvtest::FixtureDir() + "not_a_dll" MV_SPI_EXT).c_str()));
}

// ---------------------------------------------------------------- IsSupported

TEST_F(FixturePlugins, IsSupportedReadsAFreshHandleFromItsStart) {
  Plugin p = Load("mvt_good" MV_SPI_EXT);
  const std::string path = Write("is_supported.mvt", MakeSample(8, 100, 30).file);  // over 2 KB
  mv::unique_file h = OpenFresh(path);
  ASSERT_TRUE(h);
  EXPECT_NE(0, p.isSupported(path.c_str(), AsArg(h.get())));
  EXPECT_EQ(1, p.stats->isSupportedCalls);
  EXPECT_EQ(1, p.stats->isSupportedGotHandle);
  EXPECT_EQ(AsArg(h.get()), p.stats->isSupportedArg);
  EXPECT_EQ(0, p.stats->isSupportedFilePos);
  EXPECT_EQ(2048, p.stats->isSupportedBytesRead);  // the file is longer than 2 KB
  EXPECT_STREQ(path.c_str(), p.stats->lastPath);

  // The same handle, now past the magic: the plug-in does not rewind.
  ::SetFilePointer(h.get(), 4, nullptr, FILE_BEGIN);
  EXPECT_EQ(0, p.isSupported(path.c_str(), AsArg(h.get())));
  EXPECT_EQ(4, p.stats->isSupportedFilePos);
  EXPECT_EQ(2, p.stats->isSupportedCalls);
}

TEST_F(FixturePlugins, IsSupportedAcceptsTheTwoKilobyteBufferAndRejectsOtherData) {
  Plugin p = Load("mvt_good" MV_SPI_EXT);
  std::string head = MakeSample(1).file;
  head.resize(2048, '\0');
  EXPECT_NE(0, p.isSupported("C:\\x.mvt", reinterpret_cast<DWORD_PTR>(head.data())));
  EXPECT_EQ(0, p.stats->isSupportedGotHandle);
  EXPECT_EQ(-1, p.stats->isSupportedFilePos);

  std::string bmp = "BM" + std::string(2046, '\0');
  EXPECT_EQ(0, p.isSupported("C:\\x.mvt", reinterpret_cast<DWORD_PTR>(bmp.data())));

  const std::string shortPath = Write("tiny.bin", "MV");  // shorter than the magic
  mv::unique_file h = OpenFresh(shortPath);
  EXPECT_EQ(0, p.isSupported(shortPath.c_str(), AsArg(h.get())));
  EXPECT_EQ(2, p.stats->isSupportedBytesRead);
}

// ---------------------------------------------------------------- GetPicture

class DecodeDepth : public FixturePlugins, public ::testing::WithParamInterface<int> {};

TEST_P(DecodeDepth, RoundTripsThroughIsSupportedAndMemoryGetPicture) {
  const auto bits = static_cast<std::uint16_t>(GetParam());
  Plugin p = Load("mvt_good" MV_SPI_EXT);
  const Sample s = MakeSample(bits);
  const std::string path = Write("depth" + std::to_string(bits) + ".mvt", s.file);
  {
    mv::unique_file h = OpenFresh(path);
    ASSERT_NE(0, p.isSupported(path.c_str(), AsArg(h.get())));
  }
  ProgressLog log;
  Decoded d = DecodeMemory(p, path, &log, 0x5A5A);
  ASSERT_EQ(0, d.rc);
  ASSERT_TRUE(d.info);
  ASSERT_TRUE(d.bits);

  const std::uint32_t table = mv::test::MvtFullTableSize(bits);
  const std::uint32_t stride = static_cast<std::uint32_t>(mv::test::MvtRowStride(s.width, bits));
  EXPECT_EQ(sizeof(BITMAPINFOHEADER) + 4 * table, ::GlobalSize(d.info.get()));
  EXPECT_EQ(stride * s.height, ::GlobalSize(d.bits.get()));
  {
    Locked info(d.info.get()), px(d.bits.get());
    ASSERT_TRUE(info.p);
    ASSERT_TRUE(px.p);
    // Movable blocks: the handle is not the address.
    EXPECT_NE(static_cast<const void*>(d.info.get()), static_cast<const void*>(info.p));
    const BITMAPINFOHEADER& h = info.header();
    EXPECT_EQ(40u, h.biSize);
    EXPECT_EQ(s.width, h.biWidth);
    EXPECT_EQ(s.height, h.biHeight);
    EXPECT_EQ(1, h.biPlanes);
    EXPECT_EQ(bits, h.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), h.biCompression);
    EXPECT_EQ(0u, h.biClrUsed);
    for (std::uint32_t i = 0; i < table; ++i) {
      std::uint32_t entry;
      std::memcpy(&entry, info.p + 40 + 4 * i, 4);
      EXPECT_EQ(s.palette[i], entry) << "colour " << i;
    }
    EXPECT_EQ(0, std::memcmp(s.rows.data(), px.p, s.rows.size()));

    if (bits != 2) {  // GDI has no 2-bit DIBs; the bytes above are all there is to check
      const auto shown = RenderThroughGdi(info.p, px.p, s.width, s.height);
      ASSERT_EQ(s.values.size(), shown.size());
      for (std::size_t i = 0; i < shown.size(); ++i)
        ASSERT_EQ(ExpectedColour(s, s.values[i]), shown[i]) << "pixel " << i % s.width << "," << i / s.width;
    }
  }

  // Progress: first 0, last num == denom, user data passed through.
  EXPECT_EQ(s.height + 1, log.calls);
  EXPECT_EQ(0, log.firstNum);
  EXPECT_EQ(log.lastDenom, log.lastNum);
  EXPECT_EQ(0x5A5A, log.data);
  EXPECT_EQ(1, p.stats->getPictureCalls);
  EXPECT_EQ(1, p.stats->getPictureFlag);
  EXPECT_EQ(static_cast<std::int32_t>(s.file.size()), p.stats->getPictureLen);
  EXPECT_EQ(0x5A5Au, p.stats->getPictureUserData);
  EXPECT_EQ(log.calls, p.stats->progressCalls);

  // The host frees both blocks with GlobalFree, which must accept them.
  EXPECT_EQ(nullptr, ::GlobalFree(d.bits.release()));
  EXPECT_EQ(nullptr, ::GlobalFree(d.info.release()));
}

INSTANTIATE_TEST_SUITE_P(Depths, DecodeDepth, ::testing::Values(1, 2, 4, 8, 16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST_F(FixturePlugins, NegativeHeightGivesATopDownDibOfTheSamePicture) {
  Plugin p = Load("mvt_good" MV_SPI_EXT);
  const Sample s = MakeSample(4, 9, -6);
  Decoded d = DecodeMemory(p, Write("topdown_request.mvt", s.file));
  ASSERT_EQ(0, d.rc);
  Locked info(d.info.get()), px(d.bits.get());
  EXPECT_EQ(-6, info.header().biHeight);
  const std::size_t stride = mv::test::MvtRowStride(9, 4);
  EXPECT_EQ(mv::test::MvtFlipRows(s.rows, stride), std::string(reinterpret_cast<const char*>(px.p), s.rows.size()));
  const auto shown = RenderThroughGdi(info.p, px.p, 9, 6);
  ASSERT_EQ(s.values.size(), shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(ExpectedColour(s, s.values[i]), shown[i]) << i;
}

TEST_F(FixturePlugins, BadInputAndAbortReturnCodesAndNoBlocks) {
  Plugin p = Load("mvt_good" MV_SPI_EXT);
  const Sample s = MakeSample(8, 4, 3);
  struct Case {
    const char* name;
    std::string bytes;
    int rc;
  } cases[] = {
      {"not_mvt.bin", "BM" + std::string(100, '\0'), 2},
      {"truncated.mvt", s.file.substr(0, s.file.size() - 1), 3},
      {"header_only.mvt", s.file.substr(0, 10), 3},
      {"bad_depth.mvt", mv::test::MvtHeaderBytes(1, 1, 3, 0) + std::string(4, '\0'), 3},
      {"zero_width.mvt", mv::test::MvtHeaderBytes(0, 1, 8, 0), 3},
      {"palette_past_end.mvt", mv::test::MvtHeaderBytes(1, 1, 8, 0xFFFF) + std::string(16, '\0'), 3},
      {"huge.mvt", mv::test::MvtHeaderBytes(0x7FFFFFFF, 0x7FFFFFFF, 32, 0) + std::string(64, '\0'), 3},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    Decoded d = DecodeMemory(p, Write(c.name, c.bytes));
    EXPECT_EQ(c.rc, d.rc);
    EXPECT_FALSE(d.info);
    EXPECT_FALSE(d.bits);
  }

  // The host's callback asks to stop on its third call.
  ProgressLog log;
  log.stopAfter = 3;
  Decoded d = DecodeMemory(p, Write("abort.mvt", s.file), &log);
  EXPECT_EQ(1, d.rc);
  EXPECT_EQ(3, log.calls);
  EXPECT_FALSE(d.info);
  EXPECT_FALSE(d.bits);
}

// ---------------------------------------------------------------- variants

TEST_F(FixturePlugins, ShortPaletteVariantSetsClrUsedAndShortensTheBlock) {
  Plugin p = Load("mvt_shortpal" MV_SPI_EXT);
  const Sample s = MakeSample(8, 6, 2, 5);  // five colours of 256
  Decoded d = DecodeMemory(p, Write("five_colours.mvt", s.file));
  ASSERT_EQ(0, d.rc);
  EXPECT_EQ(40u + 4 * 5, ::GlobalSize(d.info.get()));
  Locked info(d.info.get()), px(d.bits.get());
  EXPECT_EQ(5u, info.header().biClrUsed);
  for (std::uint32_t i = 0; i < 5; ++i) {
    std::uint32_t entry;
    std::memcpy(&entry, info.p + 40 + 4 * i, 4);
    EXPECT_EQ(s.palette[i], entry);
  }
  const auto shown = RenderThroughGdi(info.p, px.p, 6, 2);
  ASSERT_EQ(s.values.size(), shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(ExpectedColour(s, s.values[i]), shown[i]) << i;

  // A full palette is not shortened.
  Decoded full = DecodeMemory(p, Write("full_colours.mvt", MakeSample(4).file));
  ASSERT_EQ(0, full.rc);
  EXPECT_EQ(40u + 4 * 16, ::GlobalSize(full.info.get()));
}

TEST_F(FixturePlugins, BadBlockVariantReturnsBlocksShorterThanTheirHeaders) {
  Plugin p = Load("mvt_badblock" MV_SPI_EXT);
  const Sample s8 = MakeSample(8, 8, 4);
  {  // no mode byte: short colour table
    Decoded d = DecodeMemory(p, Write("short_info8.mvt", s8.file));
    ASSERT_EQ(0, d.rc);
    Locked info(d.info.get());
    EXPECT_EQ(8, info.header().biBitCount);
    EXPECT_EQ(0u, info.header().biClrUsed);  // so 256 entries are claimed...
    EXPECT_EQ(40u + 4 * 128, ::GlobalSize(d.info.get()));  // ...and 128 are there
    EXPECT_EQ(s8.rows.size(), ::GlobalSize(d.bits.get()));
  }
  {  // 24 bits: the block does not even hold the whole header it claims
    Decoded d = DecodeMemory(p, Write("short_info24.mvt", MakeSample(24, 2, 2).file + mv::test::kMvtTrailerShortInfo));
    ASSERT_EQ(0, d.rc);
    EXPECT_LT(::GlobalSize(d.info.get()), sizeof(BITMAPINFOHEADER));
    Locked info(d.info.get());
    EXPECT_EQ(40u, info.header().biSize);
  }
  {  // mode byte 'B': full info, half the rows
    Decoded d = DecodeMemory(p, Write("short_bits.mvt", s8.file + mv::test::kMvtTrailerShortBits));
    ASSERT_EQ(0, d.rc);
    EXPECT_EQ(40u + 4 * 256, ::GlobalSize(d.info.get()));
    Locked info(d.info.get());
    EXPECT_EQ(s8.rows.size(), info.header().biSizeImage);
    EXPECT_EQ(s8.rows.size() / 2, ::GlobalSize(d.bits.get()));
  }
}

TEST_F(FixturePlugins, FpuVariantLeavesTheControlWordChanged) {
  Plugin p = Load("mvt_fpu" MV_SPI_EXT);
  const std::uint16_t before = ReadFpuControl();
  const std::string path = Write("fpu.mvt", MakeSample(8, 2, 2).file);
  mv::unique_file h = OpenFresh(path);
  const int yes = p.isSupported(path.c_str(), AsArg(h.get()));
  const std::uint16_t afterSupported = ReadFpuControl();
  WriteFpuControl(before);
  Decoded d = DecodeMemory(p, path);
  const std::uint16_t afterPicture = ReadFpuControl();
  WriteFpuControl(before);
  EXPECT_NE(0, yes);
  EXPECT_EQ(0, d.rc);
  for (std::uint16_t cw : {afterSupported, afterPicture}) {
    EXPECT_EQ(0, cw & 0x0300) << std::hex << cw << ": precision should be 24 bits";
    EXPECT_EQ(0, cw & 0x0004) << std::hex << cw << ": divide-by-zero should be unmasked";
    EXPECT_NE(before, cw);
  }
}

// ---------------------------------------------------------------- faults
// A fault in a plug-in ends the process, so each one runs in a child: this
// same executable, running only the disabled test below, which reports the
// exception through its exit code.

constexpr DWORD kNoFault = 0x600D;
constexpr DWORD kFaultElsewhere = 0xBAD;

LONG WINAPI ExitWithFaultCode(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD& r = *e->ExceptionRecord;
  // Only an access to the lowest 64 KB counts: a null pointer, or a handle value taken for one.
  const bool low = r.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r.NumberParameters >= 2 &&
                   r.ExceptionInformation[1] < 0x10000;
  ::ExitProcess(low ? r.ExceptionCode : kFaultElsewhere);
}

TEST(FaultChild, DISABLED_CallOneEntryPoint) {
  char recipe[256];
  const DWORD n = ::GetEnvironmentVariableA("MVT_FAULT_CHILD", recipe, sizeof recipe);
  if (n == 0 || n >= sizeof recipe) GTEST_SKIP() << "only run as a child of FixturePlugins.FaultVariants...";
  const std::string s(recipe, n);
  const std::string file = s.substr(0, s.find('|')), entry = s.substr(s.find('|') + 1);
  Plugin p = Load(file);
  ASSERT_TRUE(p.module);
  const std::string path = mvtest::MakeScratchDir("fault_child") + "x.mvt";
  mvtest::WriteFileBytes(path, MakeSample(8, 2, 2).file);
  ::SetUnhandledExceptionFilter(ExitWithFaultCode);
  if (entry == "info") {
    char buf[256];
    p.getPluginInfo(1, buf, 255);
  } else if (entry == "supported") {
    mv::unique_file h = OpenFresh(path);
    p.isSupported(path.c_str(), AsArg(h.get()));
  } else if (entry == "picture") {
    DecodeMemory(p, path);
  } else if (entry == "config") {
    p.configurationDlg(nullptr, 1);
  }
  ::ExitProcess(kNoFault);
}

DWORD RunFaultChild(const std::string& file, const std::string& entry) {
  char exe[MAX_PATH];
  ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string cmd = std::string("\"") + exe + "\" --gtest_filter=FaultChild.* --gtest_also_run_disabled_tests";
  ::SetEnvironmentVariableA("MVT_FAULT_CHILD", (file + "|" + entry).c_str());
  STARTUPINFOA si{sizeof si};
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessA(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  ::SetEnvironmentVariableA("MVT_FAULT_CHILD", nullptr);
  if (!started) return 0;
  mv::unique_handle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return 1;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

TEST_F(FixturePlugins, FaultVariantsFaultInTheirEntryPointAndOnlyThere) {
  struct Case {
    const char* file;
    const char* entry;
    DWORD code;
  } cases[] = {
      {"mvt_good" MV_SPI_EXT, "info", kNoFault},  // the child itself does not fault
      {"mvt_good" MV_SPI_EXT, "supported", kNoFault},
      {"mvt_fault_info" MV_SPI_EXT, "info", EXCEPTION_ACCESS_VIOLATION},
      {"mvt_fault_info" MV_SPI_EXT, "supported", kNoFault},
      {"mvt_fault_issupported" MV_SPI_EXT, "supported", EXCEPTION_ACCESS_VIOLATION},
      {"mvt_fault_issupported" MV_SPI_EXT, "picture", kNoFault},
      {"mvt_fault_getpicture" MV_SPI_EXT, "picture", EXCEPTION_ACCESS_VIOLATION},
      {"mvt_fault_config" MV_SPI_EXT, "config", EXCEPTION_ACCESS_VIOLATION},
      {"mvt_fault_config" MV_SPI_EXT, "info", kNoFault},
      {"mvt_ptronly" MV_SPI_EXT, "supported", EXCEPTION_ACCESS_VIOLATION},  // given a real handle
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.code, RunFaultChild(c.file, c.entry)) << std::hex << c.file << " " << c.entry;
  }
}

}  // namespace

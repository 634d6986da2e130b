// How much loading costs beyond mapping the file, and that a huge bitmap
// costs no more than a small one, in time and in private memory.
//
//   (a) DecodeImage of 1,000 small 8-bit bitmaps against a floor loop that
//       only opens, maps, views, unmaps and closes the same files;
//   (b) DecodeImage of one 200 MB 24-bit bitmap against one of 2 KB;
//   (c) growth of the process's private memory while the 200 MB bitmap is
//       loaded, and after every page of it has been read.
//
// The files are written to a fresh temporary folder and deleted at the end.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "decode/decode_image.h"
#include "image/before_image.h"
#include "plugins/spi_ctrl.h"
#include "tests/support/bmp_builder.h"
#include "worker/worker_serve.h"

using bench::Now;
using bench::WriteAll;

namespace {

constexpr int kSmallFiles = 1000;
constexpr int kRounds = 7;        // (a): rounds of each loop, alternating
constexpr int kBigRepeats = 41;   // (b): decodes of each file, alternating
constexpr std::int32_t kBigWidth = 8192, kBigHeight = 8534;  // 24 bits: 200 MiB of rows

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  return f && WriteAll(f.get(), bytes.data(), bytes.size());
}

// A 24-bit bitmap of kBigWidth x kBigHeight, written in 8 MB chunks.
bool WriteBigBitmap(const std::string& path, std::uint64_t* size) {
  mv::test::BmpSpec recipe;
  recipe.width = kBigWidth;
  recipe.height = 1;
  std::string header = mv::test::BuildBmp(recipe);
  header.resize(54);
  const std::uint64_t stride = mv::test::RowStride(kBigWidth, 24);
  const std::uint64_t pixels = stride * kBigHeight;
  *size = 54 + pixels;
  mv::test::Put32(header, mv::test::kOffBiHeight, static_cast<std::uint32_t>(kBigHeight));
  mv::test::Put32(header, mv::test::kOffBfSize, static_cast<std::uint32_t>(*size));
  mv::test::Put32(header, mv::test::kOffBiSizeImage, static_cast<std::uint32_t>(pixels));
  mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  if (!f || !WriteAll(f.get(), header.data(), header.size())) return false;
  const std::size_t rowsPerChunk = (8u << 20) / stride;
  std::vector<std::uint8_t> chunk(rowsPerChunk * stride);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i * 31 + (i >> 12));
  for (std::uint64_t row = 0; row < static_cast<std::uint64_t>(kBigHeight); row += rowsPerChunk) {
    const std::uint64_t rows = std::min<std::uint64_t>(rowsPerChunk, kBigHeight - row);
    if (!WriteAll(f.get(), chunk.data(), static_cast<std::size_t>(rows * stride))) return false;
  }
  return true;
}

// One load and release, as the load command and the remove command do it.
bool DecodeOnce(QvSpiCtrl& host, const std::string& path) {
  auto rec = std::make_unique<tag_BeforeImage>();
  rec->FilePath = path;
  return DecodeImage(host, rec.get());
}

// Only what any in-place reader must do: open, map, view, unmap, close.
bool FloorOnce(const std::string& path) {
  HANDLE f = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  HANDLE m = ::CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
  const void* v = m ? ::MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0) : nullptr;
  if (v) ::UnmapViewOfFile(v);
  if (m) ::CloseHandle(m);
  ::CloseHandle(f);
  return v != nullptr;
}

// Private memory of the process in bytes, both ways: what the system
// reports, and the committed private regions summed with VirtualQuery.
// Wine leaves PrivateUsage at 0 but keeps PagefileUsage, which Windows
// documents as the same commit charge; the walk needs neither.
struct Private {
  std::uint64_t reported = 0;  // 0 when GetProcessMemoryInfo gives neither
  const char* source = "none";
  std::uint64_t walked = 0;
};

Private PrivateNow() {
  Private p;
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
  {
    p.reported = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    p.source = pmc.PrivateUsage ? "GetProcessMemoryInfo PrivateUsage" : "GetProcessMemoryInfo PagefileUsage";
  }
  p.walked = bench::CommittedPrivateBytes();
  return p;
}

double Kb(std::int64_t bytes) { return static_cast<double>(bytes) / 1024.0; }

const char* Verdict(bool ok) { return ok ? "met" : "MISSED"; }

}  // namespace

int main() {
  if (worker::StartedAsWorker()) worker::Serve();  // its plug-ins' worker
  char tmp[MAX_PATH + 1];
  if (!::GetTempPathA(sizeof tmp, tmp)) return 1;
  const std::string dir = std::string(tmp) + "morvane_bench_" + std::to_string(::GetCurrentProcessId()) + "\\";
  if (!::CreateDirectoryA(dir.c_str(), nullptr)) {
    std::printf("cannot create %s\n", dir.c_str());
    return 1;
  }
  std::printf("files in %s\n", dir.c_str());
  std::vector<std::string> created;
  int status = 0;

  // --- the files ---
  mv::test::BmpSpec smallSpec;
  smallSpec.width = 32;
  smallSpec.height = 32;
  smallSpec.bitCount = 8;
  const std::string smallBytes = mv::test::BuildBmp(smallSpec);
  std::vector<std::string> small;
  for (int i = 0; i < kSmallFiles; ++i) {
    small.push_back(dir + "s" + std::to_string(i) + ".bmp");
    if (!WriteFileBytes(small.back(), smallBytes)) status = 1;
    created.push_back(small.back());
  }
  mv::test::BmpSpec tinySpec;
  tinySpec.width = 24;
  tinySpec.height = 24;
  const std::string tinyBytes = mv::test::BuildBmp(tinySpec);
  const std::string tiny = dir + "tiny.bmp";
  if (!WriteFileBytes(tiny, tinyBytes)) status = 1;
  created.push_back(tiny);
  const std::string big = dir + "big.bmp";
  std::uint64_t bigSize = 0;
  const double w0 = Now();
  if (!WriteBigBitmap(big, &bigSize)) status = 1;
  created.push_back(big);
  std::printf("wrote %d x %zu-byte 8-bit files, one %zu-byte file and one %.1f MB file (%.1f s)\n", kSmallFiles,
              smallBytes.size(), tinyBytes.size(), static_cast<double>(bigSize) / (1 << 20), Now() - w0);

  QvSpiCtrl host(dir);  // no plug-ins here: only native decoding is measured
  if (status == 0 && (!DecodeOnce(host, small[0]) || !DecodeOnce(host, tiny) || !DecodeOnce(host, big) ||
                      !FloorOnce(big))) {
    std::printf("a benchmark file does not decode\n");
    status = 1;
  }

  if (status == 0) {
    // (a) Warm both paths once, then alternate whole rounds.
    for (const auto& p : small) {
      DecodeOnce(host, p);
      FloorOnce(p);
    }
    std::vector<double> decodeRounds, floorRounds;
    for (int r = 0; r < kRounds; ++r) {
      double t = Now();
      for (const auto& p : small) DecodeOnce(host, p);
      decodeRounds.push_back(Now() - t);
      t = Now();
      for (const auto& p : small) FloorOnce(p);
      floorRounds.push_back(Now() - t);
    }
    const double dec = Median(decodeRounds) * 1000, flo = Median(floorRounds) * 1000;
    std::printf("(a) %d small bitmaps: DecodeImage %.1f ms (%.1f us each), floor %.1f ms; ratio %.2f "
                "(target <= 1.3: %s)\n",
                kSmallFiles, dec, dec * 1000 / kSmallFiles, flo, dec / flo, Verdict(dec / flo <= 1.3));

    // Where the difference goes: the steps decoding adds to the floor.
    {
      double t = Now();
      for (const auto& p : small) {
        mv::unique_file f(::CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER li;
        ::GetFileSizeEx(f.get(), &li);
      }
      const double openSize = (Now() - t) * 1000;
      t = Now();
      for (const auto& p : small) {
        mv::unique_file f(::CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
      }
      const double openOnly = (Now() - t) * 1000;
      struct {
        WORD version, count;
        PALETTEENTRY e[256];
      } lp{0x300, 256, {}};
      t = Now();
      for (int i = 0; i < kSmallFiles; ++i) mv::unique_hpalette pal(::CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp)));
      const double palettes = (Now() - t) * 1000;
      std::printf("    of which: GetFileSizeEx %.1f ms, CreatePalette+DeleteObject %.1f ms per %d\n",
                  openSize - openOnly, palettes, kSmallFiles);
    }

    // (b) One huge and one tiny file, alternating.
    std::vector<double> bigTimes, tinyTimes;
    for (int i = 0; i < kBigRepeats; ++i) {
      double t = Now();
      DecodeOnce(host, big);
      bigTimes.push_back(Now() - t);
      t = Now();
      DecodeOnce(host, tiny);
      tinyTimes.push_back(Now() - t);
    }
    const double b = Median(bigTimes) * 1e6, s = Median(tinyTimes) * 1e6;
    std::printf("(b) DecodeImage of %.0f MB: %.1f us, of %zu bytes: %.1f us (medians of %d); ratio %.2f "
                "(target <= 1.3: %s)\n",
                static_cast<double>(bigSize) / (1 << 20), b, tinyBytes.size(), s, kBigRepeats, b / s,
                Verdict(b / s <= 1.3));

    // (c) Private memory around one load of the huge file.
    const Private before = PrivateNow();
    auto rec = std::make_unique<tag_BeforeImage>();
    rec->FilePath = big;
    const bool loaded = DecodeImage(host, rec.get());
    const Private loadedNow = PrivateNow();
    // What a viewer does over time: read every page of the mapped file.
    std::uint32_t sum = 0;
    for (std::size_t off = 0; loaded && off < rec->FileSize; off += 4096) sum += rec->View()[off];
    const Private readNow = PrivateNow();
    rec.reset();
    const Private after = PrivateNow();
    const bool reportedWorks = before.reported > 0;
    const std::int64_t growLoad = static_cast<std::int64_t>(
        reportedWorks ? loadedNow.reported - before.reported : loadedNow.walked - before.walked);
    const std::int64_t growRead =
        static_cast<std::int64_t>(reportedWorks ? readNow.reported - before.reported : readNow.walked - before.walked);
    std::printf("(c) private memory (%s): %.0f KB before; +%.0f KB with the %.0f MB bitmap loaded (target < 1024 KB: "
                "%s), +%.0f KB after reading all its pages (checksum %u), %+.0f KB after release\n",
                reportedWorks ? before.source : "VirtualQuery MEM_PRIVATE",
                Kb(static_cast<std::int64_t>(reportedWorks ? before.reported : before.walked)), Kb(growLoad),
                static_cast<double>(bigSize) / (1 << 20), Verdict(loaded && growLoad < 1024 * 1024), Kb(growRead),
                sum,
                Kb(static_cast<std::int64_t>(reportedWorks ? after.reported - before.reported
                                                           : after.walked - before.walked)));
    std::printf("    VirtualQuery MEM_PRIVATE committed: %.0f KB before, %+.0f KB loaded, %+.0f KB read\n",
                Kb(static_cast<std::int64_t>(before.walked)),
                Kb(static_cast<std::int64_t>(loadedNow.walked - before.walked)),
                Kb(static_cast<std::int64_t>(readNow.walked - before.walked)));
    if (!loaded) status = 1;
  }

  for (const auto& p : created) ::DeleteFileA(p.c_str());
  if (!::RemoveDirectoryA(dir.c_str())) std::printf("could not remove %s\n", dir.c_str());
  return status;
}

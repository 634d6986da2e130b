// What the WIC plug-in costs over WIC itself: 1,000 small PNGs in memory
// (16 x 16, 24-bit, each written once by WIC's encoder) decoded
//   - through the plug-in's GetPicture (memory input), called from a thread
//     that never initialised COM, as Morvane's window thread is;
//   - the same, from a thread that initialised a single-threaded apartment
//     itself, as some hosts do;
//   - directly: one factory, then per file a stream, a decoder, its first
//     frame and CopyPixels, on a thread of its own in a single-threaded
//     apartment.
// Rounds of each alternate; the figures are medians. The plug-in is the one
// built into ..\bin\ beside this program.
#include <initguid.h>
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/handles.h"
#include "bench/bench_support.h"
#include "bench/wic_png.h"
#include "susie/spi_interface.h"

using bench::Com;
using bench::EncodePng;
using bench::NewFactory;
using bench::ExeDir;
using bench::Now;

namespace {

constexpr int kFiles = 1000;
constexpr int kRounds = 7;
constexpr UINT kSide = 16;
constexpr UINT kStride = (kSide * 3 + 3) / 4 * 4;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The direct decode: what the plug-in does at the least, without its blocks.
bool DecodeDirect(IWICImagingFactory* f, const std::string& png, BYTE* out) {
  Com<IWICStream> stream;
  Com<IWICBitmapDecoder> decoder;
  Com<IWICBitmapFrameDecode> frame;
  return SUCCEEDED(f->CreateStream(&stream.p)) &&
         SUCCEEDED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png.data())),
                                                static_cast<DWORD>(png.size()))) &&
         SUCCEEDED(f->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder.p)) &&
         SUCCEEDED(decoder->GetFrame(0, &frame.p)) &&
         SUCCEEDED(frame->CopyPixels(nullptr, kStride, kStride * kSide, out));
}

// One GetPicture; the rows (top-down, like CopyPixels) into `out` when given.
bool DecodePlugin(SpiGetPicture get, const std::string& png, BYTE* out) {
  HANDLE info = nullptr, bits = nullptr;
  const int r = get(png.data(), static_cast<LONG_PTR>(png.size()), spi::kInputMemory, &info, &bits, nullptr, 0);
  mv::unique_hglobal i(static_cast<HGLOBAL>(info)), b(static_cast<HGLOBAL>(bits));
  if (r != 0 || !i || !b) return false;
  if (!out) return true;
  const auto* rows = static_cast<const BYTE*>(::GlobalLock(b.get()));
  if (!rows) return false;
  for (UINT y = 0; y < kSide; ++y) std::copy_n(rows + (kSide - 1 - y) * kStride, kStride, out + y * kStride);
  ::GlobalUnlock(b.get());
  return true;
}

// Runs `body` on a new thread in a single-threaded apartment of its own.
template <class F>
void OnStaThread(F&& body) {
  std::thread([&] {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    body();
    if (SUCCEEDED(com)) ::CoUninitialize();
  }).join();
}

}  // namespace

int main() {
  std::vector<std::string> files;
  OnStaThread([&] {
    IWICImagingFactory* f = NewFactory();
    if (!f) return;
    for (int i = 0; i < kFiles; ++i) {
      files.push_back(EncodePng(f, i));
      if (files.back().empty()) break;
    }
    f->Release();
  });
  if (files.size() != kFiles || files.back().empty()) {
    std::printf("WIC did not write the PNGs\n");
    return 1;
  }

  const std::string path = ExeDir() + "..\\bin\\ifwic" MV_SPI_EXT;
  mv::unique_module plugin(::LoadLibraryA(path.c_str()));
  const auto get = plugin ? reinterpret_cast<SpiGetPicture>(reinterpret_cast<void*>(::GetProcAddress(plugin.get(), "GetPicture")))
                          : nullptr;
  if (!get) {
    std::printf("cannot load GetPicture from %s\n", path.c_str());
    return 1;
  }

  // Both ways must give the same pixels before either is timed.
  std::vector<BYTE> via_plugin(kStride * kSide), direct(kStride * kSide);
  bool same = DecodePlugin(get, files[0], via_plugin.data());
  OnStaThread([&] {
    IWICImagingFactory* f = NewFactory();
    same = same && f && DecodeDirect(f, files[0], direct.data());
    if (f) f->Release();
  });
  if (!same || via_plugin != direct) {
    std::printf("the plug-in and WIC disagree on the first file\n");
    return 1;
  }

  std::printf("%d PNGs of %u x %u, 24-bit, %zu bytes on average; %d rounds, medians\n", kFiles, kSide, kSide,
              [&] {
                std::size_t sum = 0;
                for (const auto& f : files) sum += f.size();
                return sum / files.size();
              }(),
              kRounds);

  bool ok = true;
  std::vector<double> no_com, sta, straight;
  for (int r = 0; r < kRounds; ++r) {
    double t = Now();
    for (const auto& png : files) ok = DecodePlugin(get, png, nullptr) && ok;
    no_com.push_back(Now() - t);

    OnStaThread([&] {
      const double s = Now();
      for (const auto& png : files) ok = DecodePlugin(get, png, nullptr) && ok;
      sta.push_back(Now() - s);
    });

    OnStaThread([&] {
      IWICImagingFactory* f = NewFactory();
      if (!f) {
        ok = false;
        return;
      }
      std::vector<BYTE> out(kStride * kSide);
      const double s = Now();
      for (const auto& png : files) ok = DecodeDirect(f, png, out.data()) && ok;
      straight.push_back(Now() - s);
      f->Release();
    });
  }
  if (!ok || straight.empty()) {
    std::printf("a decode failed\n");
    return 1;
  }
  const double per_k = 1000.0 / kFiles * 1000.0;  // seconds per round -> ms per 1,000
  const double p = Median(no_com) * per_k, s = Median(sta) * per_k, d = Median(straight) * per_k;
  std::printf("GetPicture, thread without COM:        %8.1f ms per 1,000\n", p);
  std::printf("GetPicture, single-threaded apartment: %8.1f ms per 1,000\n", s);
  std::printf("WIC directly, one factory:             %8.1f ms per 1,000\n", d);
  std::printf("ratio plug-in / direct: %.2f (thread without COM), %.2f (apartment)\n", p / d, s / d);
  return 0;
}

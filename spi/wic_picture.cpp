#include "spi/wic_picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/handles.h"
#include "spi/dib_rows.h"
#include "spi/wic_frame.h"
#include "susie/spi_result_codes.h"

namespace mv::wic {

namespace {

// Pixels are fetched in bands of about this many bytes, with a progress
// call after each.
constexpr std::uint64_t kBandBytes = 64 * 1024;

LONG PelsPerMeter(double dpi) {
  return std::isfinite(dpi) && dpi > 0 && dpi < 1e6 ? static_cast<LONG>(dpi / 0.0254 + 0.5) : 0;
}

// Entries of the colour table after the header: hosts read 1 << bit count of
// them whatever biClrUsed says, so an indexed DIB gets them all.
std::size_t TableEntries(const DibPlan& plan) { return plan.dib_bpp <= 8 ? std::size_t{1} << plan.dib_bpp : 0; }

WORD Dpi(double dpi) { return std::isfinite(dpi) && dpi > 0 && dpi < 65535 ? static_cast<WORD>(dpi + 0.5) : 0; }

class Locked {
 public:
  explicit Locked(HGLOBAL h) : h_(h), p_(static_cast<std::uint8_t*>(::GlobalLock(h))) {}
  ~Locked() {
    if (p_) ::GlobalUnlock(h_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  std::uint8_t* get() const { return p_; }

 private:
  HGLOBAL h_;
  std::uint8_t* p_;
};

void WriteHeader(std::uint8_t* block, const FirstFrame& frame, const DibPlan& plan, std::uint64_t pixel_bytes) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = static_cast<LONG>(frame.width);
  h.biHeight = static_cast<LONG>(frame.height);  // bottom-up
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(plan.dib_bpp);
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(pixel_bytes);
  h.biXPelsPerMeter = PelsPerMeter(frame.dpi_x);
  h.biYPelsPerMeter = PelsPerMeter(frame.dpi_y);
  const std::size_t own = std::min(plan.table.size(), TableEntries(plan));
  h.biClrUsed = static_cast<DWORD>(own);  // the image's own; the rest stay black (zeroed block)
  std::memcpy(block, &h, sizeof h);
  if (own) std::memcpy(block + sizeof h, plan.table.data(), own * sizeof(RGBQUAD));
}

// Copies every row, bottom-up, calling progress from 0 to the height.
int CopyRows(IWICBitmapSource* source, const FirstFrame& frame, const DibPlan& plan, std::uint8_t* bits,
             SpiProgressCallback progress, LONG_PTR user_data) {
  const UINT w = frame.width, h = frame.height;
  const std::uint64_t dib_stride = DibStride(w, plan.dib_bpp);
  const std::uint64_t copy_stride = DibStride(w, plan.deliver_bpp);
  const UINT band_rows = static_cast<UINT>(std::clamp<std::uint64_t>(kBandBytes / copy_stride, 1, h));
  std::vector<std::uint8_t> band(static_cast<std::size_t>(copy_stride * band_rows));
  const int total = static_cast<int>(h);
  if (progress && progress(0, total, user_data)) return spi::kAborted;
  for (UINT y = 0; y < h;) {
    const UINT n = std::min(band_rows, h - y);
    const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(w), static_cast<INT>(n)};
    const HRESULT hr = source->CopyPixels(&rect, static_cast<UINT>(copy_stride),
                                          static_cast<UINT>(copy_stride * n), band.data());
    if (FAILED(hr)) return CodeFor(hr);
    for (UINT i = 0; i < n; ++i) {
      std::uint8_t* dst = bits + (h - 1 - (y + i)) * dib_stride;
      const std::uint8_t* src = band.data() + i * copy_stride;
      if (plan.deliver_bpp == 2)
        Widen2To4(src, dst, w);
      else if (plan.deliver_bpp == 32 && plan.dib_bpp == 24)
        Pack32To24(src, dst, w);
      else
        std::memcpy(dst, src, static_cast<std::size_t>(dib_stride));
    }
    y += n;
    if (progress && progress(static_cast<int>(y), total, user_data)) return spi::kAborted;
  }
  return spi::kOk;
}

}  // namespace

int DecodePicture(const std::uint8_t* data, std::uint32_t size, SpiProgressCallback progress, LONG_PTR user_data,
                  HANDLE* info_out, HANDLE* bits_out) {
  FirstFrame frame;
  if (int code = frame.Open(data, size)) return code;
  DibPlan plan;
  if (int code = frame.Plan(plan)) return code;
  const std::uint64_t pixel_bytes = DibPixelBytes(frame.width, frame.height, plan.dib_bpp);
  if (pixel_bytes == 0) return spi::kNoMemory;  // beyond what the plug-in hands out
  IWICBitmapSource* source = nullptr;
  if (int code = frame.Source(plan, &source)) return code;

  const std::size_t info_bytes = sizeof(BITMAPINFOHEADER) + TableEntries(plan) * sizeof(RGBQUAD);
  mv::unique_hglobal info(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, info_bytes));
  mv::unique_hglobal bits(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(pixel_bytes)));
  if (!info || !bits) return spi::kNoMemory;
  {
    Locked header(info.get());
    Locked rows(bits.get());
    if (!header.get() || !rows.get()) return spi::kMemoryError;
    WriteHeader(header.get(), frame, plan, pixel_bytes);
    if (int code = CopyRows(source, frame, plan, rows.get(), progress, user_data)) return code;
  }
  *info_out = info.release();
  *bits_out = bits.release();
  return spi::kOk;
}

int DescribePicture(const std::uint8_t* data, std::uint32_t size, SpiPictureInfo* out) {
  FirstFrame frame;
  if (int code = frame.Open(data, size)) return code;
  DibPlan plan;
  if (int code = frame.Plan(plan)) return code;
  if (frame.width > 0x7FFFFFFF || frame.height > 0x7FFFFFFF) return spi::kNoMemory;
  *out = SpiPictureInfo{};
  out->width = static_cast<long>(frame.width);
  out->height = static_cast<long>(frame.height);
  out->x_density = Dpi(frame.dpi_x);
  out->y_density = Dpi(frame.dpi_y);
  out->color_depth = static_cast<short>(plan.dib_bpp);
  return spi::kOk;
}

}  // namespace mv::wic

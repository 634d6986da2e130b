#include "spi/wic_frame.h"

#include <cmath>

#include "spi/format_sniff.h"
#include "susie/spi_result_codes.h"

namespace mv::wic {

namespace {

bool Same(const GUID& a, const GUID& b) { return IsEqualGUID(a, b) != 0; }

unsigned IndexedBits(const WICPixelFormatGUID& f) {
  if (Same(f, GUID_WICPixelFormat1bppIndexed)) return 1;
  if (Same(f, GUID_WICPixelFormat2bppIndexed)) return 2;
  if (Same(f, GUID_WICPixelFormat4bppIndexed)) return 4;
  if (Same(f, GUID_WICPixelFormat8bppIndexed)) return 8;
  return 0;
}

bool IsGrey(const WICPixelFormatGUID& f) {
  static const GUID* const kGrey[] = {
      &GUID_WICPixelFormat2bppGray,          &GUID_WICPixelFormat4bppGray,
      &GUID_WICPixelFormat8bppGray,          &GUID_WICPixelFormat16bppGray,
      &GUID_WICPixelFormat16bppGrayFixedPoint, &GUID_WICPixelFormat16bppGrayHalf,
      &GUID_WICPixelFormat32bppGrayFloat,    &GUID_WICPixelFormat32bppGrayFixedPoint,
  };
  for (const GUID* g : kGrey)
    if (Same(f, *g)) return true;
  return false;
}

}  // namespace

int CodeFor(HRESULT hr) {
  switch (hr) {
    case E_OUTOFMEMORY:
      return spi::kNoMemory;
    case WINCODEC_ERR_COMPONENTNOTFOUND:
    case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
    case WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT:
    case WINCODEC_ERR_UNSUPPORTEDOPERATION:  // a conversion the system does not do
    case E_NOTIMPL:
      return spi::kUnknownFormat;
    default:
      return spi::kBrokenData;
  }
}

int FirstFrame::Open(const std::uint8_t* data, std::uint32_t size) {
  // Only what the plug-in lists goes to WIC; it would read more.
  if (SniffFormat(data, size) == Sniffed::Unknown) return spi::kUnknownFormat;
  if (!factory()) return spi::kInternalError;
  if (FAILED(factory()->CreateStream(stream_.put()))) return spi::kInternalError;
  // WIC's memory stream only reads unless asked to write.
  if (FAILED(stream_->InitializeFromMemory(const_cast<BYTE*>(data), size))) return spi::kInternalError;
  HRESULT hr = factory()->CreateDecoderFromStream(stream_.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                  decoder_.put());
  if (FAILED(hr)) return CodeFor(hr);
  if (FAILED(hr = decoder_->GetFrame(0, frame_.put()))) return CodeFor(hr);
  if (FAILED(hr = frame_->GetSize(&width, &height))) return CodeFor(hr);
  if (width == 0 || height == 0) return spi::kBrokenData;
  if (FAILED(frame_->GetResolution(&dpi_x, &dpi_y))) dpi_x = dpi_y = 0;
  return spi::kOk;
}

std::vector<RGBQUAD> FirstFrame::Palette(unsigned max_entries) {
  ComPtr<IWICPalette> palette;
  if (FAILED(factory()->CreatePalette(palette.put()))) return {};
  // A frame without its own colours uses the file's (a GIF's global table).
  if (FAILED(frame_->CopyPalette(palette.get())) && FAILED(decoder_->CopyPalette(palette.get()))) return {};
  UINT count = 0;
  if (FAILED(palette->GetColorCount(&count)) || count == 0) return {};
  std::vector<WICColor> colors(count);
  UINT got = 0;
  if (FAILED(palette->GetColors(count, colors.data(), &got))) return {};
  if (got > max_entries) got = max_entries;
  std::vector<RGBQUAD> table(got);
  for (UINT i = 0; i < got; ++i) {
    const WICColor c = colors[i];  // 0xAARRGGBB
    table[i] = RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
  }
  return table;
}

bool FirstFrame::HasAlpha(const WICPixelFormatGUID& f) {
  static const GUID* const kAlpha[] = {
      &GUID_WICPixelFormat32bppBGRA,     &GUID_WICPixelFormat32bppPBGRA,   &GUID_WICPixelFormat32bppRGBA,
      &GUID_WICPixelFormat32bppPRGBA,    &GUID_WICPixelFormat64bppRGBA,    &GUID_WICPixelFormat64bppBGRA,
      &GUID_WICPixelFormat64bppPRGBA,    &GUID_WICPixelFormat64bppPBGRA,   &GUID_WICPixelFormat64bppRGBAHalf,
      &GUID_WICPixelFormat64bppRGBAFixedPoint, &GUID_WICPixelFormat128bppRGBAFloat,
      &GUID_WICPixelFormat128bppPRGBAFloat, &GUID_WICPixelFormat40bppCMYKAlpha, &GUID_WICPixelFormat80bppCMYKAlpha,
  };
  for (const GUID* g : kAlpha)
    if (Same(f, *g)) return true;
  // Formats not named above say it themselves, where WIC knows them.
  ComPtr<IWICComponentInfo> info;
  ComPtr<IWICPixelFormatInfo2> pixel;
  BOOL transparent = FALSE;
  if (SUCCEEDED(factory()->CreateComponentInfo(f, info.put())) &&
      SUCCEEDED(info->QueryInterface(IID_IWICPixelFormatInfo2, pixel.put_void())) &&
      SUCCEEDED(pixel->SupportsTransparency(&transparent)))
    return transparent != FALSE;
  return false;
}

int FirstFrame::Plan(DibPlan& plan) {
  WICPixelFormatGUID format{};
  HRESULT hr = frame_->GetPixelFormat(&format);
  if (FAILED(hr)) return CodeFor(hr);
  plan = DibPlan{};
  if (const unsigned bits = IndexedBits(format)) {
    plan.table = Palette(1u << bits);
    if (!plan.table.empty()) {  // indexed stays indexed; 2 bits widen to 4
      plan.deliver = format;
      plan.deliver_bpp = bits;
      plan.dib_bpp = bits == 2 ? 4 : bits;
      return spi::kOk;
    }
    // No usable colours: taken as colour pixels below.
  }
  if (Same(format, GUID_WICPixelFormatBlackWhite)) {
    plan.deliver = format;
    plan.deliver_bpp = plan.dib_bpp = 1;
    plan.table = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  } else if (IsGrey(format)) {
    plan.deliver = GUID_WICPixelFormat8bppGray;
    plan.deliver_bpp = plan.dib_bpp = 8;
    plan.table.resize(256);
    for (int i = 0; i < 256; ++i) {
      const BYTE v = static_cast<BYTE>(i);
      plan.table[i] = RGBQUAD{v, v, v, 0};
    }
  } else if (HasAlpha(format)) {
    plan.deliver = GUID_WICPixelFormat32bppBGRA;
    plan.deliver_bpp = plan.dib_bpp = 32;
  } else {
    plan.deliver = GUID_WICPixelFormat24bppBGR;
    plan.deliver_bpp = plan.dib_bpp = 24;
  }
  plan.convert = !Same(format, plan.deliver);
  return spi::kOk;
}

HRESULT FirstFrame::Convert(const DibPlan& plan) {
  converter_.reset();
  HRESULT hr = factory()->CreateFormatConverter(converter_.put());
  if (FAILED(hr)) return hr;
  hr = converter_->Initialize(frame_.get(), plan.deliver, WICBitmapDitherTypeNone, nullptr, 0.0,
                              WICBitmapPaletteTypeCustom);
  if (FAILED(hr)) return hr;
  // Some converters set up and then refuse to copy: one pixel tells.
  BYTE pixel[16];
  const WICRect first{0, 0, 1, 1};
  return converter_->CopyPixels(&first, sizeof pixel, sizeof pixel, pixel);
}

int FirstFrame::Source(DibPlan& plan, IWICBitmapSource** source) {
  *source = nullptr;
  if (!plan.convert) {
    *source = frame_.get();
    return spi::kOk;
  }
  HRESULT hr = Convert(plan);
  if (FAILED(hr) && plan.dib_bpp == 24) {
    DibPlan wide = plan;
    wide.deliver = GUID_WICPixelFormat32bppBGR;
    wide.deliver_bpp = 32;
    if (SUCCEEDED(hr = Convert(wide))) plan = wide;
  }
  if (hr == E_OUTOFMEMORY) return spi::kNoMemory;
  if (FAILED(hr)) return spi::kUnknownFormat;  // a pixel format WIC cannot turn into ours
  *source = converter_.get();
  return spi::kOk;
}

}  // namespace mv::wic

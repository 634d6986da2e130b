// Small PNGs written by WIC's own encoder, for the benchmarks that decode
// them back through the bundled plug-in.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <string>
#include <vector>

namespace bench {

template <class T>
struct Com {
  T* p = nullptr;
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

inline IWICImagingFactory* NewFactory() {
  IWICImagingFactory* f = nullptr;
  ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                     reinterpret_cast<void**>(&f));
  return f;
}

// A 24-bit PNG whose pixels depend on `seed`; empty on failure.
inline std::string EncodePng(IWICImagingFactory* f, int seed, UINT side = 16) {
  Com<IStream> stream;
  Com<IWICBitmapEncoder> enc;
  Com<IWICBitmapFrameEncode> frame;
  Com<IPropertyBag2> props;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream.p)) ||
      FAILED(f->CreateEncoder(GUID_ContainerFormatPng, nullptr, &enc.p)) ||
      FAILED(enc->Initialize(stream.p, WICBitmapEncoderNoCache)) || FAILED(enc->CreateNewFrame(&frame.p, &props.p)) ||
      FAILED(frame->Initialize(props.p)) || FAILED(frame->SetSize(side, side)))
    return {};
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return {};
  std::vector<BYTE> rows(side * side * 3);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<BYTE>(i * 7 + seed * 13 + (i >> 5));
  if (FAILED(frame->WritePixels(side, side * 3, static_cast<UINT>(rows.size()), rows.data())) ||
      FAILED(frame->Commit()) || FAILED(enc->Commit()))
    return {};
  STATSTG st{};
  LARGE_INTEGER zero{};
  if (FAILED(stream->Stat(&st, STATFLAG_NONAME)) || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) return {};
  std::string bytes(static_cast<std::size_t>(st.cbSize.QuadPart), '\0');
  ULONG got = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got);
  bytes.resize(got);
  return bytes;
}

}  // namespace bench

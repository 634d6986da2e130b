// The first frame of an image in memory, opened through WIC, and the form
// of DIB the plug-in turns it into.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <cstdint>
#include <vector>

#include "spi/com_scope.h"
#include "spi/wic_factory.h"

namespace mv::wic {

// Maps a failed WIC call to the plug-in's answer.
int CodeFor(HRESULT hr);

// What CopyPixels is asked to deliver and what DIB rows are made of it.
struct DibPlan {
  WICPixelFormatGUID deliver{};  // the pixel format pixels are copied in
  bool convert = false;          // through a format converter
  unsigned deliver_bpp = 0;
  unsigned dib_bpp = 0;          // 1, 4, 8, 24 or 32; 24 from 32 delivered: packed
  std::vector<RGBQUAD> table;    // indexed output: the entries the image has
};

class FirstFrame {
 public:
  // Answers spi::kOk or the code to return. The bytes must outlive the object.
  int Open(const std::uint8_t* data, std::uint32_t size);
  // Decides the output form from the frame's own pixel format.
  int Plan(DibPlan& plan);
  // The source to copy pixels from: the frame, or a converter over it that
  // has shown it converts. A conversion to 24 bits the system refuses (some
  // converters set up and then fail to copy) is replaced by one to 32 bits,
  // packed to 24 afterwards.
  int Source(DibPlan& plan, IWICBitmapSource** source);

  UINT width = 0, height = 0;
  double dpi_x = 0, dpi_y = 0;

 private:
  bool HasAlpha(const WICPixelFormatGUID& format);
  // A converter to the plan's form; fails when the system refuses it.
  HRESULT Convert(const DibPlan& plan);
  std::vector<RGBQUAD> Palette(unsigned max_entries);

  IWICImagingFactory* factory() const { return lease_.get(); }

  FactoryLease lease_;  // first: outlives every interface below
  ComPtr<IWICStream> stream_;
  ComPtr<IWICBitmapDecoder> decoder_;
  ComPtr<IWICBitmapFrameDecode> frame_;
  ComPtr<IWICFormatConverter> converter_;
};

}  // namespace mv::wic

#include "decode/decode_image.h"

#include <string>

#include "base/sjis_path.h"
#include "base/wide_text.h"
#include "decode/native_bitmap.h"
#include "plugins/spi_ctrl.h"

namespace {

// The formats the program reads itself.
constexpr char kNativeFormats[][5] = {".BMP"};
constexpr int kNativeFormatCount = 1;

int NativeFormatIndex(const std::string& path) {
  const std::string ext = mv::UpperAscii(mv::ExtractFileExt(path));
  for (int i = 0; i < kNativeFormatCount; ++i)
    if (ext.size() >= 4 && ext.compare(0, 4, kNativeFormats[i], 4) == 0) return i;
  return kNativeFormatCount;
}

}  // namespace

bool DecodeImage(QvSpiCtrl& host, tag_BeforeImage* image) {
  if (image->WidePath.empty())
    image->WidePath = mv::WideFromAnsi(image->FilePath);
  else
    image->FilePath = mv::AnsiFromWide(image->WidePath);
  image->WideName = mv::ExtractFileNameW(image->WidePath);
  // The code page keeps '.', "BMP" and the separators whatever else it loses.
  image->FormatIndex = NativeFormatIndex(image->FilePath);
  image->FileName = mv::ExtractFileName(image->FilePath);
  if (image->FormatIndex == 0) return DecodeNativeBitmap(*image, host.MappingCounter);
  mv::DecodedPicture picture;
  if (host.DecodeWithPlugins(image->WidePath, picture) != spi::Outcome::Decoded) return false;
  mv::TakePicture(*image, std::move(picture));
  return true;
}

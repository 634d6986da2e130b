// Turning one file into a decoded image: Windows bitmaps in place through
// a read-only mapping, everything else through the first enabled plug-in
// that accepts and decodes it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "app/before_image.h"
#include "base/handles.h"
#include "base/open_file.h"
#include "base/sjis_path.h"
#include "base/wide_text.h"
#include "decode/dib_check.h"
#include "decode/image_palette.h"
#include "decode/worker_decode.h"
#include "plugins/fault_guard.h"
#include "plugins/plugin_name.h"
#include "plugins/plugin_picture.h"
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

bool FileSize64(HANDLE file, std::uint64_t& size) {
  LARGE_INTEGER li;
  if (!::GetFileSizeEx(file, &li) || li.QuadPart < 0) return false;
  size = static_cast<std::uint64_t>(li.QuadPart);
  return true;
}

// A read-only view of a whole mapping and the bytes of the file it holds.
struct WholeView {
  mv::unique_view view;
  std::uint64_t size = 0;
  spi::MappedBytes Bytes() const { return {view.get(), static_cast<std::size_t>(size)}; }
};

// Maps the whole of `mapping`. The size is the file's, read now, but never
// more than the view: the mapping was sized when it was made, and a file
// that grew since is longer than what it shows.
bool MapWhole(HANDLE file, HANDLE mapping, WholeView& out) {
  std::uint64_t size = 0;
  if (!FileSize64(file, size)) return false;
  out.view.reset(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  MEMORY_BASIC_INFORMATION region{};
  if (!out.view || ::VirtualQuery(out.view.get(), &region, sizeof region) != sizeof region) return false;
  out.size = std::min<std::uint64_t>(size, region.RegionSize);
  return true;
}

bool DecodeNative(QvSpiCtrl& host, tag_BeforeImage& image) {
  mv::unique_file file = mv::OpenForReading(image.WidePath);
  if (!file || file.get() == nullptr) return false;
  char name[16];
  std::snprintf(name, sizeof(name), "%d", host.MappingCounter++);
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, name));
  const DWORD named_error = ::GetLastError();
  if (mapping ? named_error == ERROR_ALREADY_EXISTS : named_error == ERROR_INVALID_HANDLE) {
    // The name belongs to another file's mapping (another run of the
    // program) or to an object of another kind: never read someone else's
    // bytes, and do not fail for a name; go unnamed.
    mapping.reset(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  }
  if (!mapping) return false;
  WholeView whole;
  if (!MapWhole(file.get(), mapping.get(), whole)) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(whole.view.get());
  const auto size = static_cast<std::size_t>(whole.size);
  // The headers are checked against the file's real length before anything
  // reads them; a file that cannot be shown safely is refused here.
  mv::BmpLayout layout;
  // A file whose bytes cannot be read (removed media, cut short) fails.
  if (!spi::GuardedRead(whole.Bytes(), [&] { layout = mv::ParseBmpLayout(bytes, size); })) return false;
  if (!layout.ok) return false;
  image.BitCount = layout.bitCount;
  image.DepthIcon = DepthIconFor(image.BitCount);
  image.Width = layout.width;
  image.Height = layout.height;
  image.Layout = layout;
  image.FileSize = size;
  image.FileView = std::move(whole.view);
  // The file and mapping handles close here; the view keeps the mapping.
  if (image.BitCount <= 8 && !CreateImagePalette(image)) {
    image.FileView.reset();
    return false;  // the colour table could not be read
  }
  image.Surface = MakeNativeSurface(image.Layout, image.View(), image.FileSize, image.Colors);
  return true;
}

// One plug-in's attempt on a file, on a freshly opened and mapped file.
enum class Attempt { Decoded, Declined, FileError };

// The plug-in's picture as the record's bitmap.
bool TakePicture(const spi::PluginPicture& picture, tag_BeforeImage& image) {
  try {
    const mv::DibCheck& dib = picture.Dib();
    auto bitmap = std::make_unique<forms::Bitmap>();
    image.Width = dib.width;
    image.Height = dib.height;
    image.BitCount = dib.bitCount;
    image.DepthIcon = DepthIconFor(image.BitCount);
    bitmap->SetPixelFormat(forms::PixelFormatFor(image.BitCount));
    bitmap->SetSize(dib.width, static_cast<int>(dib.absHeight));
    // Entries the block does not hold read as black (an earlier plug-in's
    // attempt may have left some).
    image.Colors.fill(RGBQUAD{0, 0, 0, 0});
    if (image.BitCount <= 8) {
      std::copy_n(picture.Colors(), std::min<std::uint32_t>(dib.colorCount, 256), image.Colors.begin());
      ::SetDIBColorTable(bitmap->CanvasHandle(), 0, 1u << image.BitCount, image.Colors.data());
    }
    if (picture.CopyInto(bitmap->CanvasHandle(), bitmap->Handle()) == 0) return false;
    bitmap->ReleasePalette();
    image.Surface = MakeBitmapSurface(*bitmap);
    image.Bitmap = std::move(bitmap);
    return true;
  } catch (const std::bad_alloc&) {
    return false;  // no room for the picture
  }
}

Attempt TryPlugin(QvSpiCtrl& host, QvSpiPlugin& plugin, tag_BeforeImage& image) {
  mv::unique_file file = mv::OpenForReading(image.WidePath);
  if (!file || file.get() == nullptr) return Attempt::FileError;
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return Attempt::FileError;
  WholeView whole;
  // A file the address space cannot map whole cannot be handed over.
  if (!MapWhole(file.get(), mapping.get(), whole) || whole.size > static_cast<std::uint64_t>(MAXLONG_PTR))
    return Attempt::FileError;

  spi::PluginInput input;
  input.file = whole.Bytes();
  input.name = spi::PluginNameFor(image.WidePath);
  input.wide_name = image.WidePath;
  // The 32-bit interface takes the file handle first; in 64-bit a handle
  // cannot be told from a pointer, so only the 2 KB form is given.
  input.handle = spi::kIsSupportedTakesBuffer ? nullptr : file.get();
  input.progress = &QvSpiCtrl::ProgressCallback;
  spi::PluginPicture picture;
  switch (spi::TryPicture(plugin.Entries(), input, plugin.BufferForm, picture)) {
    case spi::Attempt::Decoded: return TakePicture(picture, image) ? Attempt::Decoded : Attempt::Declined;
    case spi::Attempt::Declined: return Attempt::Declined;
    case spi::Attempt::FileError: return Attempt::FileError;
    case spi::Attempt::Faulted: break;
  }
  host.NoteFault(plugin);
  return Attempt::Declined;
}

}  // namespace

bool QvSpiCtrl::DecodeImage(tag_BeforeImage* image) {
  if (image->WidePath.empty())
    image->WidePath = mv::WideFromAnsi(image->FilePath);
  else
    image->FilePath = mv::AnsiFromWide(image->WidePath);
  image->WideName = mv::ExtractFileNameW(image->WidePath);
  // The code page keeps '.', "BMP" and the separators whatever else it loses.
  image->FormatIndex = NativeFormatIndex(image->FilePath);
  image->FileName = mv::ExtractFileName(image->FilePath);
  if (image->FormatIndex == 0) return DecodeNative(*this, *image);
  const CallScope call(*this);
  const auto eligible = [this](QvSpiPlugin& p) { return p.Enabled != 0 && Usable(p); };
  for (size_t i = 0; i < Plugins.size();) {
    QvSpiPlugin& plugin = *Plugins[i];
    if (!eligible(plugin)) {
      ++i;
      continue;
    }
    if (plugin.WorkerBits == 0) {
      switch (TryPlugin(*this, plugin, *image)) {
        case Attempt::Decoded: return true;
        case Attempt::FileError: return false;
        case Attempt::Declined: break;
      }
      ++i;
      continue;
    }
    // The plug-ins that come next and share this worker go in one request.
    std::vector<QvSpiPlugin*> run;
    for (; i < Plugins.size(); ++i) {
      QvSpiPlugin& next = *Plugins[i];
      if (!eligible(next)) continue;
      if (next.WorkerBits != plugin.WorkerBits) break;
      run.push_back(&next);
    }
    switch (DecodeInWorker(*this, run, *image)) {
      case WorkerAttempt::Decoded: return true;
      case WorkerAttempt::FileError:
      case WorkerAttempt::GaveUp: return false;
      case WorkerAttempt::Declined: break;
    }
  }
  return false;
}

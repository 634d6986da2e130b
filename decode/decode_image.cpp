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
#include "base/sjis_path.h"
#include "decode/dib_check.h"
#include "decode/image_palette.h"
#include "plugins/fault_guard.h"
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

mv::unique_file OpenForReading(const std::string& path) {
  return mv::unique_file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool FileSize64(HANDLE file, std::uint64_t& size) {
  LARGE_INTEGER li;
  if (!::GetFileSizeEx(file, &li) || li.QuadPart < 0) return false;
  size = static_cast<std::uint64_t>(li.QuadPart);
  return true;
}

bool DecodeNative(QvSpiCtrl& host, tag_BeforeImage& image) {
  mv::unique_file file = OpenForReading(image.FilePath);
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
  std::uint64_t size = 0;
  if (!FileSize64(file.get(), size) || size > SIZE_MAX) return false;
  mv::unique_view view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(view.get());
  // The headers are checked against the file's real length before anything
  // reads them; a file that cannot be shown safely is refused here.
  mv::BmpLayout layout;
  // A read error of the mapped file (removed media) fails the file.
  if (!spi::GuardedRun([&] { layout = mv::ParseBmpLayout(bytes, static_cast<std::size_t>(size)); })) return false;
  if (!layout.ok) return false;
  image.BitCount = layout.bitCount;
  image.DepthIcon = DepthIconFor(image.BitCount);
  image.Width = layout.width;
  image.Height = layout.height;
  image.Layout = layout;
  image.FileSize = static_cast<std::size_t>(size);
  image.FileView = std::move(view);
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

// IsSupported with the file handle, as 32-bit plug-ins expect; a plug-in
// that faults on it is asked once more with the interface's other form, the
// file's first 2,048 bytes (zero-filled past the end), and gets that form
// from then on. The 64-bit edition always passes the 2,048 bytes.
// An answer of IsSupported, or why there is none.
enum class Asked { Yes, No, FileError };

// A fault is the file's failure, not the plug-in's, when reading the file
// failed: an in-page error on the mapped view.
bool FileFailed(const spi::GuardResult& r, const void* view, std::uint64_t size) {
  if (r.code != EXCEPTION_IN_PAGE_ERROR) return false;
  const auto begin = reinterpret_cast<ULONG_PTR>(view);
  return r.address >= begin && r.address - begin < size;
}

Asked AskIsSupported(QvSpiCtrl& host, QvSpiPlugin& plugin, const std::string& path, HANDLE file, const void* view,
                     std::uint64_t size) {
  char head[spi::kIsSupportedHeadBytes] = {};
  const auto head_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof(head)));
  if (!spi::GuardedRun([&] { std::memcpy(head, view, head_bytes); })) return Asked::FileError;
  int yes = 0;
  if (!spi::kIsSupportedTakesBuffer && !plugin.BufferForm) {
    const spi::GuardResult r =
        spi::GuardedCall(yes, plugin.IsSupported, path.c_str(), reinterpret_cast<DWORD_PTR>(file));
    if (r.outcome == spi::CallOutcome::Returned) return yes != 0 ? Asked::Yes : Asked::No;
  }
  const spi::GuardResult r = spi::GuardedCall(yes, plugin.IsSupported, path.c_str(), reinterpret_cast<DWORD_PTR>(head));
  if (r.outcome == spi::CallOutcome::Faulted) {
    host.NoteFault(plugin);
    return Asked::No;
  }
  plugin.BufferForm = true;
  return yes != 0 ? Asked::Yes : Asked::No;
}

// A block a plug-in handed back with a failure: freed when the system
// knows it as a global block, left alone otherwise.
void FreeIfBlock(HANDLE h) {
  SIZE_T bytes = 0;
  // GlobalSize is asked under the guard: the value may be anything.
  if (h && spi::GuardedRun([&] { bytes = ::GlobalSize(h); }) && bytes != 0) ::GlobalFree(h);
}

Attempt TryPlugin(QvSpiCtrl& host, QvSpiPlugin& plugin, tag_BeforeImage& image) {
  mv::unique_file file = OpenForReading(image.FilePath);
  if (!file || file.get() == nullptr) return Attempt::FileError;
  std::uint64_t size = 0;
  // A file the address space cannot map whole cannot be handed over.
  if (!FileSize64(file.get(), size) || size > static_cast<std::uint64_t>(MAXLONG_PTR)) return Attempt::FileError;
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return Attempt::FileError;
  mv::unique_view view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view) return Attempt::FileError;

  switch (AskIsSupported(host, plugin, image.FilePath, file.get(), view.get(), size)) {
    case Asked::Yes: break;
    case Asked::No: return Attempt::Declined;
    case Asked::FileError: return Attempt::FileError;
  }
  HANDLE info_raw = nullptr, bits_raw = nullptr;
  int code = 0;
  const spi::GuardResult got = spi::GuardedCall(code, plugin.GetPicture, static_cast<LPCSTR>(view.get()),
                                                static_cast<LONG_PTR>(size), spi::kInputMemory, &info_raw, &bits_raw,
                                                &QvSpiCtrl::ProgressCallback, LONG_PTR{0});
  if (got.outcome == spi::CallOutcome::Faulted) {
    // Whatever it left behind is not known to be ours: nothing is freed.
    if (FileFailed(got, view.get(), size)) return Attempt::FileError;  // the file's failure, not the plug-in's
    host.NoteFault(plugin);
    return Attempt::Declined;
  }
  if (code != 0) {
    // Some plug-ins hand back blocks with a failure; what is a block is freed.
    FreeIfBlock(bits_raw);
    if (info_raw != bits_raw) FreeIfBlock(info_raw);
    return Attempt::Declined;
  }
  // From here both blocks are ours, whatever happens.
  mv::unique_hglobal info_block(static_cast<HGLOBAL>(info_raw));
  mv::unique_hglobal bits_block(static_cast<HGLOBAL>(bits_raw));
  if (!info_block || !bits_block) return Attempt::Declined;

  const SIZE_T info_size = ::GlobalSize(info_block.get());
  const SIZE_T bits_size = ::GlobalSize(bits_block.get());
  void* bits = ::GlobalLock(bits_block.get());
  void* info = ::GlobalLock(info_block.get());
  struct Unlock {
    HGLOBAL a, b;
    ~Unlock() {
      ::GlobalUnlock(a);
      ::GlobalUnlock(b);
    }
  } unlock{bits_block.get(), info_block.get()};
  if (!bits || !info) return Attempt::Declined;
  // The blocks must hold what their header claims before anything reads them.
  const mv::DibCheck dib = mv::CheckPluginDib(static_cast<const std::uint8_t*>(info), info_size, bits_size);
  if (!dib.ok) return Attempt::Declined;

  try {
    auto bitmap = std::make_unique<forms::Bitmap>();
    const auto* header = static_cast<const BITMAPINFOHEADER*>(info);
    image.Width = header->biWidth;
    image.Height = header->biHeight;
    image.BitCount = header->biBitCount;
    image.DepthIcon = DepthIconFor(image.BitCount);
    bitmap->SetPixelFormat(forms::PixelFormatFor(image.BitCount));
    bitmap->SetSize(header->biWidth, static_cast<int>(dib.absHeight));
    if (image.BitCount <= 8) {
      // Entries the block does not hold read as black.
      image.Colors.fill(RGBQUAD{0, 0, 0, 0});  // an earlier plug-in's attempt may have left some
      const auto* colors = static_cast<const RGBQUAD*>(static_cast<const void*>(
          static_cast<const std::uint8_t*>(info) + dib.colorTableOffset));
      for (std::uint32_t i = 0; i < dib.colorCount && i < image.Colors.size(); ++i) image.Colors[i] = colors[i];
      ::SetDIBColorTable(bitmap->CanvasHandle(), 0, 1u << image.BitCount, image.Colors.data());
    }
    // GDI reads as much as the header implies: hand it a private copy of
    // the checked part of the block, with the counts it was checked for.
    std::vector<std::uint8_t> header_copy(static_cast<const std::uint8_t*>(info),
                                          static_cast<const std::uint8_t*>(info) + dib.colorTableOffset +
                                              dib.colorCount * sizeof(RGBQUAD));
    auto* checked = reinterpret_cast<BITMAPINFOHEADER*>(header_copy.data());
    checked->biClrUsed = image.BitCount <= 8 ? dib.colorCount : 0;
    checked->biSizeImage = static_cast<DWORD>(dib.bytesNeeded);
    const int lines = ::SetDIBits(bitmap->CanvasHandle(), bitmap->Handle(), 0, dib.absHeight, bits,
                                  reinterpret_cast<const BITMAPINFO*>(header_copy.data()), DIB_RGB_COLORS);
    if (lines == 0) return Attempt::Declined;
    bitmap->ReleasePalette();
    image.Surface = MakeBitmapSurface(*bitmap);
    image.Bitmap = std::move(bitmap);
  } catch (const std::bad_alloc&) {
    return Attempt::Declined;  // no room for the picture
  }
  return Attempt::Decoded;
}

}  // namespace

bool QvSpiCtrl::DecodeImage(tag_BeforeImage* image) {
  image->FormatIndex = NativeFormatIndex(image->FilePath);
  image->FileName = mv::ExtractFileName(image->FilePath);
  if (image->FormatIndex == 0) return DecodeNative(*this, *image);
  const CallScope call(*this);
  for (size_t i = 0; i < Plugins.size(); ++i) {
    QvSpiPlugin& plugin = *Plugins[i];
    if (plugin.Enabled == 0 || !Usable(plugin)) continue;
    switch (TryPlugin(*this, plugin, *image)) {
      case Attempt::Decoded:
        return true;
      case Attempt::FileError:
        return false;
      case Attempt::Declined:
        break;
    }
  }
  return false;
}

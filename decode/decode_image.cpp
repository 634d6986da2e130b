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
#include "decode/worker_decode.h"
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

// An answer of IsSupported, or why there is none.
enum class Asked { Yes, No, FileError };

// The 2,048 bytes handed to IsSupported, at the very end of a page of their
// own followed by an inaccessible one: a plug-in that writes past them
// faults inside the guard instead of overwriting the program's memory.
// Made once and reused; only one thread decodes.
struct VirtualBlockTraits {
  using type = void*;
  static type invalid() { return nullptr; }
  static void close(type p) { ::VirtualFree(p, 0, MEM_RELEASE); }
};
class FencedHead {
 public:
  FencedHead() {
    SYSTEM_INFO si;
    ::GetSystemInfo(&si);
    // Two pages reserved, the first committed: the second faults on any access.
    block_.reset(::VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE, PAGE_NOACCESS));
    if (block_ && ::VirtualAlloc(block_.get(), si.dwPageSize, MEM_COMMIT, PAGE_READWRITE))
      head_ = static_cast<char*>(block_.get()) + si.dwPageSize - spi::kIsSupportedHeadBytes;
  }
  char* get() const { return head_; }

 private:
  mv::unique_any<VirtualBlockTraits> block_;
  char* head_ = nullptr;
};
char* IsSupportedHead() {
  static const FencedHead head;
  return head.get();
}

// IsSupported with the file handle, as 32-bit plug-ins expect; a plug-in
// that faults on it is asked once more with the interface's other form, the
// file's first 2,048 bytes (zero-filled past the end), and gets that form
// from then on. The 64-bit edition always passes the 2,048 bytes.
Asked AskIsSupported(QvSpiCtrl& host, QvSpiPlugin& plugin, const std::string& path, HANDLE file,
                     const WholeView& whole) {
  char* head = IsSupportedHead();
  if (!head) return Asked::FileError;
  std::memset(head, 0, spi::kIsSupportedHeadBytes);  // a plug-in may have written into it
  const auto head_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(whole.size, spi::kIsSupportedHeadBytes));
  if (!spi::GuardedRead(whole.Bytes(), [&] { std::memcpy(head, whole.view.get(), head_bytes); }))
    return Asked::FileError;
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

// A block a plug-in handed back, owned only when the system knows it as a
// live global block: the value may be anything, so GlobalSize is asked
// under the guard, and a block the plug-in freed itself answers 0.
mv::unique_hglobal TakeBlock(HANDLE h, SIZE_T& bytes) {
  bytes = 0;
  if (!h || !spi::GuardedRun([&] { bytes = ::GlobalSize(h); }) || bytes == 0) return mv::unique_hglobal();
  return mv::unique_hglobal(static_cast<HGLOBAL>(h));
}

// A block handed back with a failure: freed when it is a live block.
void FreeIfBlock(HANDLE h) {
  SIZE_T bytes = 0;
  mv::unique_hglobal freed_here = TakeBlock(h, bytes);
}

// A plug-in's block, locked for reading for one scope.
class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL h) : h_(h) {
    spi::GuardedRun([this] { p_ = ::GlobalLock(h_); });
  }
  ~LockedBlock() {
    if (p_) ::GlobalUnlock(h_);
  }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  const std::uint8_t* get() const { return static_cast<const std::uint8_t*>(p_); }

 private:
  HGLOBAL h_;
  void* p_ = nullptr;
};

Attempt TryPlugin(QvSpiCtrl& host, QvSpiPlugin& plugin, tag_BeforeImage& image) {
  mv::unique_file file = OpenForReading(image.FilePath);
  if (!file || file.get() == nullptr) return Attempt::FileError;
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return Attempt::FileError;
  WholeView whole;
  // A file the address space cannot map whole cannot be handed over.
  if (!MapWhole(file.get(), mapping.get(), whole) || whole.size > static_cast<std::uint64_t>(MAXLONG_PTR))
    return Attempt::FileError;

  switch (AskIsSupported(host, plugin, image.FilePath, file.get(), whole)) {
    case Asked::Yes: break;
    case Asked::No: return Attempt::Declined;
    case Asked::FileError: return Attempt::FileError;
  }
  HANDLE info_raw = nullptr, bits_raw = nullptr;
  int code = 0;
  const spi::GuardResult got = spi::GuardedCallReading(
      whole.Bytes(), code, plugin.GetPicture, static_cast<LPCSTR>(whole.view.get()), static_cast<LONG_PTR>(whole.size),
      spi::kInputMemory, &info_raw, &bits_raw, &QvSpiCtrl::ProgressCallback, LONG_PTR{0});
  if (got.outcome == spi::CallOutcome::Faulted) {
    // Whatever it left behind is not known to be ours: nothing is freed.
    if (got.file_failed) return Attempt::FileError;  // the file's failure, not the plug-in's
    host.NoteFault(plugin);
    return Attempt::Declined;
  }
  if (code != 0 || info_raw == bits_raw) {
    // Some plug-ins hand back blocks with a failure; what is a block is
    // freed. One block cannot be both the header and the pixels.
    FreeIfBlock(bits_raw);
    if (info_raw != bits_raw) FreeIfBlock(info_raw);
    return Attempt::Declined;
  }
  // From here the live blocks are ours, whatever happens.
  SIZE_T info_size = 0, bits_size = 0;
  const mv::unique_hglobal info_block = TakeBlock(info_raw, info_size);
  const mv::unique_hglobal bits_block = TakeBlock(bits_raw, bits_size);
  if (!info_block || !bits_block) return Attempt::Declined;
  const LockedBlock bits_lock(bits_block.get()), info_lock(info_block.get());
  const std::uint8_t* bits = bits_lock.get();
  const std::uint8_t* info = info_lock.get();
  if (!bits || !info) return Attempt::Declined;
  // The blocks must hold what their header claims before anything reads them.
  const mv::DibCheck dib = mv::CheckPluginDib(info, info_size, bits_size);
  if (!dib.ok) return Attempt::Declined;

  try {
    auto bitmap = std::make_unique<forms::Bitmap>();
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(info);
    image.Width = header->biWidth;
    image.Height = header->biHeight;
    image.BitCount = header->biBitCount;
    image.DepthIcon = DepthIconFor(image.BitCount);
    bitmap->SetPixelFormat(forms::PixelFormatFor(image.BitCount));
    bitmap->SetSize(header->biWidth, static_cast<int>(dib.absHeight));
    if (image.BitCount <= 8) {
      // Entries the block does not hold read as black.
      image.Colors.fill(RGBQUAD{0, 0, 0, 0});  // an earlier plug-in's attempt may have left some
      const auto* colors = reinterpret_cast<const RGBQUAD*>(info + dib.colorTableOffset);
      for (std::uint32_t i = 0; i < dib.colorCount && i < image.Colors.size(); ++i) image.Colors[i] = colors[i];
      ::SetDIBColorTable(bitmap->CanvasHandle(), 0, 1u << image.BitCount, image.Colors.data());
    }
    // GDI reads as much as the header implies: hand it a private copy of
    // the checked part of the block, with the counts it was checked for.
    std::vector<std::uint8_t> header_copy(info, info + dib.colorTableOffset + dib.colorCount * sizeof(RGBQUAD));
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
      case WorkerAttempt::FileError: return false;
      case WorkerAttempt::Declined: break;
    }
  }
  return false;
}

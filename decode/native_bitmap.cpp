#include "decode/native_bitmap.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "base/handles.h"
#include "base/mapped_file.h"
#include "base/open_file.h"
#include "image/image_palette.h"

bool DecodeNativeBitmap(tag_BeforeImage& image, int& mapping_counter) {
  mv::unique_file file = mv::OpenForReading(image.WidePath);
  if (!file) return false;
  char name[16];
  // Files are decoded on several threads at once.
  std::snprintf(name, sizeof name, "%d", std::atomic_ref<int>(mapping_counter).fetch_add(1));
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, name));
  const DWORD named_error = ::GetLastError();
  if (mapping ? named_error == ERROR_ALREADY_EXISTS : named_error == ERROR_INVALID_HANDLE) {
    // The name belongs to another file's mapping (another run of the
    // program) or to an object of another kind: never read someone else's
    // bytes, and do not fail for a name; go unnamed.
    mapping.reset(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  }
  if (!mapping) return false;
  mv::MappedFile whole;
  if (!mv::MapWholeFile(file.get(), mapping.get(), whole)) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(whole.view.get());
  const auto size = static_cast<std::size_t>(whole.size);
  mv::BmpLayout layout;
  // A file whose bytes cannot be read (removed media, cut short) fails.
  if (!mv::GuardedRead(whole.Bytes(), [&] { layout = mv::ParseBmpLayout(bytes, size); })) return false;
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

#include "plugins/inprocess_site.h"

#include <algorithm>
#include <new>

#include "base/mapped_file.h"
#include "base/open_file.h"
#include "base/sjis_path.h"
#include "forms/bitmap.h"
#include "plugins/plugin_windows.h"
#include "susie/plugin_name.h"
#include "susie/plugin_picture.h"

namespace spi {

namespace {

// The plug-in's picture as a bitmap object, converted by GDI from a header
// with the counts the blocks were checked for.
bool MakeBitmap(const PluginPicture& picture, mv::DecodedPicture& out) {
  try {
    const mv::DibCheck& dib = picture.Dib();
    auto bitmap = std::make_unique<forms::Bitmap>();
    bitmap->SetPixelFormat(forms::PixelFormatFor(dib.bitCount));
    bitmap->SetSize(dib.width, static_cast<int>(dib.absHeight));
    // Entries the block does not hold read as black.
    out.colors.fill(RGBQUAD{0, 0, 0, 0});
    if (dib.bitCount <= 8) {
      std::copy_n(picture.Colors(), std::min<std::uint32_t>(dib.colorCount, 256), out.colors.begin());
      ::SetDIBColorTable(bitmap->CanvasHandle(), 0, 1u << dib.bitCount, out.colors.data());
    }
    if (picture.CopyInto(bitmap->CanvasHandle(), bitmap->Handle()) == 0) return false;
    // Its palette is built afresh from the table just written.
    bitmap->ReleasePalette();
    out.bitmap = std::move(bitmap);
    out.width = dib.width;
    out.height = dib.height;
    out.bitCount = dib.bitCount;
    return true;
  } catch (const std::bad_alloc&) {
    return false;  // no room for the picture
  }
}

}  // namespace

bool InProcessSite::Load(const std::string& folder, const std::vector<std::string>& names,
                         std::vector<SiteLoaded>& loaded) {
  Unload();
  loaded.assign(names.size(), SiteLoaded{});
  const std::string bundled = mv::UpperAscii(std::string(kBundledPlugin) + kPluginExtension);
  for (std::size_t i = 0; i < names.size(); ++i) {
    slots_.push_back(std::make_unique<Slot>());
    if (names[i].empty()) continue;
    // Paths are built to any length; a path the system cannot load simply
    // does not load.
    Slot& slot = *slots_.back();
    slot.one_thread = mv::UpperAscii(names[i]) != bundled;
    SiteLoaded& o = loaded[i];
    o.result = LoadPluginLibrary(folder + "\\" + names[i], slot.library);
    o.error = slot.library.error;
    o.has_config = slot.library.entries.ConfigurationDlg != nullptr;
    o.description = slot.library.description;
    o.filter = slot.library.filter;
    o.filters = slot.library.filters;
    slot.faulted = o.result == LoadResult::Faulted;
    // Not a plug-in: nothing refers to it again, so it goes at once.
    if (o.result != LoadResult::Loaded && o.result != LoadResult::Faulted) slot.library = LoadedLibrary{};
  }
  return true;
}

void InProcessSite::Unload() {
  // Every library is freed, but never while a window of its lives: such a
  // library stays loaded for the rest of the run. One that is no longer the
  // library loaded (it freed itself) holds no reference of ours any more.
  std::vector<LoadedImage> images;
  for (const auto& s : slots_) images.push_back(s->library.image);
  const std::vector<bool> may_free = ReleaseWindowsOf(images);
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (!may_free[i]) static_cast<void>(slots_[i]->library.module.release());
  slots_.clear();
}

InProcessSite::Slot* InProcessSite::Usable(int plugin) {
  if (plugin < 0 || static_cast<std::size_t>(plugin) >= slots_.size()) return nullptr;
  Slot& s = *slots_[static_cast<std::size_t>(plugin)];
  return s.library.module && !s.faulted ? &s : nullptr;
}

bool InProcessSite::Callable(int plugin) {
  Slot* s = Usable(plugin);
  if (!s) return false;
  if (StillLoaded(s->library.image)) return true;
  // It freed its own library: nothing of it may be read, called or freed.
  const std::lock_guard<std::mutex> lock(gone_);
  if (s->faulted.exchange(true)) return false;
  static_cast<void>(s->library.module.release());
  Faulted(plugin);
  return false;
}

Outcome InProcessSite::TryOne(Slot& slot, const std::wstring& path, mv::DecodedPicture& out) {
  mv::unique_file file = mv::OpenForReading(path);
  if (!file) return Outcome::FileError;
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return Outcome::FileError;
  mv::MappedFile whole;
  // A file the address space cannot map whole cannot be handed over.
  if (!mv::MapWholeFile(file.get(), mapping.get(), whole) || whole.size > static_cast<std::uint64_t>(MAXLONG_PTR))
    return Outcome::FileError;
  PluginInput input;
  input.file = whole.Bytes();
  input.name = PluginNameFor(path);
  input.wide_name = path;
  // The 32-bit interface takes the file handle first; in 64-bit a handle
  // cannot be told from a pointer, so only the 2 KB form is given.
  input.handle = kIsSupportedTakesBuffer ? nullptr : file.get();
  input.progress = progress_;
  PluginPicture picture;
  bool buffer_form = slot.buffer_form;
  Outcome got;
  if (slot.one_thread) {
    const std::lock_guard<std::mutex> lock(one_thread_);
    got = TryPicture(slot.library.entries, input, buffer_form, picture);
  } else {
    got = TryPicture(slot.library.entries, input, buffer_form, picture);
  }
  if (buffer_form) slot.buffer_form = true;
  if (got != Outcome::Decoded) return got;
  return MakeBitmap(picture, out) ? Outcome::Decoded : Outcome::Declined;
}

Outcome InProcessSite::Decode(const std::wstring& path, HWND, const std::vector<int>& plugins,
                              mv::DecodedPicture& picture) {
  for (const int p : plugins) {
    if (!Callable(p)) continue;
    Slot& slot = *slots_[static_cast<std::size_t>(p)];
    switch (TryOne(slot, path, picture)) {
      case Outcome::Decoded: return Outcome::Decoded;
      case Outcome::FileError: return Outcome::FileError;
      case Outcome::Faulted:
        if (!slot.faulted.exchange(true)) Faulted(p);
        break;
      default: break;
    }
  }
  return Outcome::Declined;
}

PluginSite::Configured InProcessSite::Configure(int plugin, HWND parent, int& value) {
  if (!Callable(plugin)) return Configured::NoDialog;
  Slot& slot = *slots_[static_cast<std::size_t>(plugin)];
  if (!slot.library.entries.ConfigurationDlg) return Configured::NoDialog;
  if (GuardedCall(value, slot.library.entries.ConfigurationDlg, parent, kConfigSettings).outcome ==
      CallOutcome::Faulted) {
    slot.faulted = true;
    return Configured::Faulted;
  }
  return Configured::Returned;
}

}  // namespace spi

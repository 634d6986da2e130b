#include "worker/worker_plugins.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "base/fault_guard.h"
#include "base/mapped_file.h"
#include "forms/dib_format.h"
#include "susie/plugin_picture.h"

namespace worker {

namespace {

// A request's field, read from the mailbox's request area.
template <class T>
T RequestAt(const std::uint8_t* request, std::size_t offset) {
  return ReadAt<T>(request, kRequestBytes, offset);
}

// A bitmap in the layout the program keeps bitmaps in (forms/dib_format.h),
// in `section` when given, filled from the picture by GDI, which converts
// the plug-in's form as the program would. Null when that fails.
mv::unique_hbitmap ConvertedByGdi(const spi::PluginPicture& picture, const RGBQUAD* table, HANDLE section,
                                  void** pixels) {
  const mv::DibCheck& dib = picture.Dib();
  forms::DibHeader header;
  forms::FillDibHeader(header, dib.width, static_cast<int>(dib.absHeight), forms::StoredBits(dib.bitCount), table);
  mv::unique_hbitmap bitmap(
      ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, pixels, section, 0));
  mv::unique_hdc dc(::CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return mv::unique_hbitmap();
  int lines = 0;
  {
    mv::SelectGuard use(dc.get(), bitmap.get());
    lines = picture.CopyInto(dc.get(), bitmap.get());
  }
  ::GdiFlush();
  return lines ? std::move(bitmap) : mv::unique_hbitmap();
}

// The picture's rows in that layout at `out`. Rows already in that form
// are copied as they are (turned upright); other forms go through GDI.
bool RenderRows(const spi::PluginPicture& picture, const RGBQUAD* table, std::uint8_t* out, std::size_t bytes) {
  const mv::DibCheck& dib = picture.Dib();
  const int bits = forms::StoredBits(dib.bitCount);
  if (dib.compression == mv::kBiRgb && bits == dib.bitCount && bits != 16) {
    const std::size_t stride = forms::DibStride(dib.width, bits);
    for (std::uint32_t r = 0; r < dib.absHeight; ++r) {
      const std::uint32_t from = dib.topDown ? dib.absHeight - 1 - r : r;
      std::memcpy(out + r * stride, picture.Rows() + from * stride, stride);
    }
    return true;
  }
  void* pixels = nullptr;
  const mv::unique_hbitmap converted = ConvertedByGdi(picture, table, nullptr, &pixels);
  if (!converted) return false;
  std::memcpy(out, pixels, bytes);
  return true;
}

// The picture for the program: a small one in the reply itself, a large one
// in a section of exactly the size its layout needs, whose handle (ours)
// goes into the reply.
bool Deliver(const spi::PluginPicture& picture, DecodeReply& reply, std::uint8_t* inline_pixels) {
  const mv::DibCheck& dib = picture.Dib();
  const std::uint64_t bytes = static_cast<std::uint64_t>(forms::DibStride(dib.width, forms::StoredBits(dib.bitCount))) *
                              static_cast<std::uint64_t>(dib.absHeight);
  RGBQUAD table[256] = {};
  if (dib.bitCount <= 8) std::copy_n(picture.Colors(), std::min<std::uint32_t>(dib.colorCount, 256), table);
  reply.section = 0;
  if (bytes <= kInlinePixelBytes) {
    if (!RenderRows(picture, table, inline_pixels, static_cast<std::size_t>(bytes))) return false;
  } else {
    mv::unique_handle section(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                   static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes),
                                                   nullptr));
    // The rows stay in the section when the bitmap that wrote them goes.
    void* pixels = nullptr;
    if (!section || !ConvertedByGdi(picture, table, section.get(), &pixels)) return false;
    reply.section = reinterpret_cast<std::uintptr_t>(section.release());
  }
  reply.width = dib.width;
  reply.height = dib.height;
  reply.bitCount = dib.bitCount;
  reply.colorCount = dib.bitCount <= 8 ? std::min<std::uint32_t>(dib.colorCount, 256) : 0;
  std::memcpy(reply.colors, table, sizeof table);
  return true;
}

// While a plug-in works, a window it opens of its own (a prompt, a
// warning box) is owned by the program's window, as it would be in the
// program: it stays in front of it, and the program waits while it is up.
class OwnedWindows {
 public:
  explicit OwnedWindows(HWND owner) {
    if (!owner) return;
    // Set once for the worker's life, as calls come thick and fast.
    static const HHOOK hook = ::SetWindowsHookExW(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
    if (hook) owner_ = owner;
  }
  ~OwnedWindows() { owner_ = nullptr; }
  OwnedWindows(const OwnedWindows&) = delete;
  OwnedWindows& operator=(const OwnedWindows&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND) {
      const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs;
      const HWND w = reinterpret_cast<HWND>(wp);
      if (owner_ && !(create->style & WS_CHILD) && !::GetWindow(w, GW_OWNER) && ::IsWindow(owner_))
        ::SetWindowLongPtrW(w, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner_));
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
  }
  static inline HWND owner_ = nullptr;
};

}  // namespace

bool PluginSet::Answer() {
  switch (static_cast<Op>(RequestAt<std::uint32_t>(mailbox_.Request(), 0))) {
    case Op::Load: Load(); return true;
    case Op::Decode: Decode(); return true;
    case Op::Configure: Configure(); return true;
    default: return false;
  }
}

PluginSet::Slot* PluginSet::Usable(std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return nullptr;
  Slot& s = slots_[static_cast<std::size_t>(index)];
  return s.library.module && !s.faulted ? &s : nullptr;
}

void PluginSet::Unload() {
  // Only ever at the end: the program gives each new list a new worker, so
  // no plug-in's unloading code runs while the program waits on us.
  ForgetModuleRanges();
  for (Slot& s : slots_) static_cast<void>(s.library.module.release());
  slots_.clear();
}

void PluginSet::Load() {
  const auto request = RequestAt<LoadRequest>(mailbox_.Request(), 0);
  const std::string folder = TextOf(request.folder);
  const std::uint32_t count = std::min(request.count, kMaxPlugins);
  Unload();
  slots_.resize(count);
  LoadReply head{static_cast<std::uint32_t>(Op::Load), count};
  std::uint8_t* out = mailbox_.Reply();
  std::memcpy(out, &head, sizeof head);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string name =
        TextOf(RequestAt<LoadName>(mailbox_.Request(), sizeof(LoadRequest) + i * sizeof(LoadName)).fileName);
    LoadedPlugin r{};
    r.result = static_cast<std::int32_t>(spi::LoadResult::NotLoaded);
    if (!name.empty()) {
      const int index = static_cast<int>(i);
      Slot& slot = slots_[i];
      mailbox_.SetRunning(index);  // its DllMain runs now, then GetPluginInfo
      const spi::LoadResult result = spi::LoadPluginLibrary(folder + "\\" + name, slot.library);
      mailbox_.SetRunning(-1);
      r.result = static_cast<std::int32_t>(result);
      r.errorCode = slot.library.error;
      r.hasConfig = slot.library.entries.ConfigurationDlg != nullptr;
      if (slot.library.module)
        NoteModuleRange(index, reinterpret_cast<std::uintptr_t>(slot.library.image.base), slot.library.image.end);
      if (result == spi::LoadResult::Loaded) {
        PutText(r.description, slot.library.description);
        PutText(r.filter, slot.library.filter);
        PutText(r.filters, slot.library.filters);
      }
      slot.faulted = result == spi::LoadResult::Faulted;
    }
    std::memcpy(out + sizeof head + i * sizeof r, &r, sizeof r);
  }
  mailbox_.SendReply();
}

void PluginSet::Decode() {
  const auto request = RequestAt<DecodeRequest>(mailbox_.Request(), 0);
  const std::uint32_t count = std::min(request.count, kMaxPlugins);
  auto* reply = reinterpret_cast<DecodeReply*>(mailbox_.Reply());
  std::memset(reply, 0, sizeof *reply);
  reply->op = static_cast<std::uint32_t>(Op::Decode);
  reply->result = static_cast<std::int32_t>(spi::Outcome::Declined);
  reply->plugin = -1;

  spi::PluginInput input;
  mv::unique_handle mapping(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(request.mapping)));
  mv::MappedFile whole;
  if (request.mapping == 0) {
    // A small file came in the request itself.
    input.file = {mailbox_.Request() + kInlineFileOffset,
                  static_cast<std::size_t>(std::min<std::uint64_t>(request.size, kInlineFileBytes))};
  } else {
    // Never more than the view holds, whatever size the file is said to have.
    if (!mv::MapWhole(mapping.get(), request.size, whole)) {
      // No room for it here: the file may still suit a plug-in elsewhere.
      reply->result = static_cast<std::int32_t>(spi::Outcome::NoRoom);
      mailbox_.SendReply();
      return;
    }
    input.file = whole.Bytes();
  }
  const auto* name = reinterpret_cast<const char*>(mailbox_.Request() + kNameOffset);
  input.name.assign(name, std::min(request.nameBytes, kNameBytes));
  input.name.resize(strnlen(input.name.c_str(), input.name.size()));
  const std::uint8_t* wide = mailbox_.Request() + kWideNameOffset;
  input.wide_name.resize(std::min(request.wideNameChars, kNameChars - 1));
  for (std::size_t i = 0; i < input.wide_name.size(); ++i)
    input.wide_name[i] = static_cast<wchar_t>(ReadAt<std::uint16_t>(wide, 2 * kNameChars, 2 * i));
  input.wide_name.resize(std::wcslen(input.wide_name.c_str()));
  input.progress = &ProgressCallback;

  const OwnedWindows owned(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(request.owner)));
  for (std::uint32_t k = 0; k < count; ++k) {
    const auto index = RequestAt<std::int32_t>(mailbox_.Request(), sizeof request + k * sizeof(std::int32_t));
    Slot* slot = Usable(index);
    if (!slot) continue;
    spi::PluginPicture picture;
    bool buffer_form = true;  // a worker always hands IsSupported the 2 KB
    mailbox_.SetRunning(index);
    const spi::Outcome attempt = spi::TryPicture(slot->library.entries, input, buffer_form, picture);
    mailbox_.SetRunning(-1);
    if (attempt == spi::Outcome::Faulted) {
      slot->faulted = true;
      reply->result = static_cast<std::int32_t>(spi::Outcome::Faulted);
      reply->plugin = index;
      break;
    }
    if (attempt == spi::Outcome::FileError) {
      reply->result = static_cast<std::int32_t>(spi::Outcome::FileError);
      break;
    }
    if (attempt == spi::Outcome::Decoded && Deliver(picture, *reply, mailbox_.Reply() + kInlinePixelsOffset)) {
      reply->result = static_cast<std::int32_t>(spi::Outcome::Decoded);
      reply->plugin = index;
      break;
    }
  }
  mailbox_.SendReply();
  // A plug-in that faulted may have left the heap or anything else of this
  // process damaged: the worker ends rather than call another plug-in.
  if (reply->result == static_cast<std::int32_t>(spi::Outcome::Faulted)) ::TerminateProcess(::GetCurrentProcess(), 0);
}

void PluginSet::Configure() {
  const auto request = RequestAt<ConfigureRequest>(mailbox_.Request(), 0);
  ConfigureReply reply{static_cast<std::uint32_t>(Op::Configure), static_cast<std::int32_t>(ConfigureResult::NoDialog),
                       -1, 0};
  Slot* slot = Usable(request.plugin);
  bool faulted = false;
  if (slot && slot->library.entries.ConfigurationDlg) {
    int value = 0;
    mailbox_.SetRunning(request.plugin);
    faulted = spi::GuardedCall(value, slot->library.entries.ConfigurationDlg,
                               reinterpret_cast<HWND>(static_cast<std::uintptr_t>(request.parent)),
                               spi::kConfigSettings)
                  .outcome == spi::CallOutcome::Faulted;
    mailbox_.SetRunning(-1);
    reply.result = static_cast<std::int32_t>(faulted ? ConfigureResult::Faulted : ConfigureResult::Returned);
    reply.value = value;
  }
  std::memcpy(mailbox_.Reply(), &reply, sizeof reply);
  mailbox_.SendReply();
  // A dialog that faulted may still be up, with its procedure in the
  // plug-in: this worker ends rather than run it again.
  if (faulted) ::TerminateProcess(::GetCurrentProcess(), 0);
}

}  // namespace worker

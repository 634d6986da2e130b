#include "plugins/plugin_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace spi {

namespace {

// A fault is the file's failure, not the plug-in's, when reading the file
// failed: an in-page error on the mapped view.
bool FileFailed(const GuardResult& r, const void* view, std::uint64_t size) {
  if (r.code != EXCEPTION_IN_PAGE_ERROR) return false;
  const auto begin = reinterpret_cast<ULONG_PTR>(view);
  return r.address >= begin && r.address - begin < size;
}

// The size of a global block, asked under the guard: the value a plug-in
// hands over may be anything. 0 when it is no live block.
SIZE_T BlockSize(HANDLE h) {
  SIZE_T bytes = 0;
  if (!h || !GuardedRun([&] { bytes = ::GlobalSize(h); })) return 0;
  return bytes;
}

// A block a plug-in handed back with a failure: freed when the system
// knows it as a global block, left alone otherwise.
void FreeIfBlock(HANDLE h) {
  if (BlockSize(h) != 0) ::GlobalFree(h);
}

enum class Asked { Yes, No, Faulted, FileError };

Asked AskIsSupported(const PluginEntries& entries, const PluginInput& in, bool& buffer_form, GuardResult* fault) {
  char head[kIsSupportedHeadBytes] = {};
  const auto head_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(in.size, sizeof(head)));
  if (!GuardedRun([&] { std::memcpy(head, in.view, head_bytes); })) return Asked::FileError;
  int yes = 0;
  if (in.file && !buffer_form) {
    const GuardResult r = GuardedCall(yes, entries.IsSupported, in.name.c_str(), reinterpret_cast<DWORD_PTR>(in.file));
    if (r.outcome == CallOutcome::Returned) return yes != 0 ? Asked::Yes : Asked::No;
  }
  const GuardResult r = GuardedCall(yes, entries.IsSupported, in.name.c_str(), reinterpret_cast<DWORD_PTR>(head));
  if (r.outcome == CallOutcome::Faulted) {
    if (fault) *fault = r;
    return Asked::Faulted;
  }
  buffer_form = true;
  return yes != 0 ? Asked::Yes : Asked::No;
}

}  // namespace

PluginPicture::~PluginPicture() {
  if (info_ptr_) ::GlobalUnlock(info_.get());
  if (bits_ptr_) ::GlobalUnlock(bits_.get());
}

bool PluginPicture::Take(HANDLE info, HANDLE bits) {
  // One block given as both, or a block the plug-in already freed, is no
  // picture; only live blocks are ours to free.
  if (!info || !bits || info == bits) {
    FreeIfBlock(bits);
    if (info != bits) FreeIfBlock(info);
    return false;
  }
  const SIZE_T info_size = BlockSize(info), bits_size = BlockSize(bits);
  if (info_size) info_.reset(static_cast<HGLOBAL>(info));
  if (bits_size) bits_.reset(static_cast<HGLOBAL>(bits));
  if (!info_size || !bits_size) return false;
  void* i = nullptr;
  void* b = nullptr;
  if (!GuardedRun([&] {
        i = ::GlobalLock(info_.get());
        b = ::GlobalLock(bits_.get());
      }))
    return false;
  info_ptr_ = static_cast<const std::uint8_t*>(i);
  bits_ptr_ = b;
  if (!info_ptr_ || !bits_ptr_) return false;
  // The blocks must hold what their header claims before anything reads them.
  dib_ = mv::CheckPluginDib(info_ptr_, info_size, bits_size);
  return dib_.ok;
}

const RGBQUAD* PluginPicture::Colors() const {
  return reinterpret_cast<const RGBQUAD*>(info_ptr_ + dib_.colorTableOffset);
}

int PluginPicture::CopyInto(HDC dc, HBITMAP target, UINT lines) const {
  if (!dib_.ok) return 0;
  // GDI reads as much as the header implies: it gets a private copy of the
  // checked part of the block, with the counts it was checked for.
  std::vector<std::uint8_t> header(info_ptr_, info_ptr_ + dib_.colorTableOffset + dib_.colorCount * sizeof(RGBQUAD));
  auto* checked = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
  checked->biClrUsed = dib_.bitCount <= 8 ? dib_.colorCount : 0;
  checked->biSizeImage = static_cast<DWORD>(dib_.bytesNeeded);
  return ::SetDIBits(dc, target, 0, std::min<UINT>(lines, dib_.absHeight), bits_ptr_,
                     reinterpret_cast<const BITMAPINFO*>(header.data()), DIB_RGB_COLORS);
}

Attempt TryPicture(const PluginEntries& entries, const PluginInput& in, bool& buffer_form, PluginPicture& picture,
                   GuardResult* fault) {
  switch (AskIsSupported(entries, in, buffer_form, fault)) {
    case Asked::Yes: break;
    case Asked::No: return Attempt::Declined;
    case Asked::Faulted: return Attempt::Faulted;
    case Asked::FileError: return Attempt::FileError;
  }
  HANDLE info = nullptr, bits = nullptr;
  int code = 0;
  const GuardResult got =
      GuardedCall(code, entries.GetPicture, static_cast<LPCSTR>(in.view), static_cast<LONG_PTR>(in.size), kInputMemory,
                  &info, &bits, in.progress, LONG_PTR{0});
  if (got.outcome == CallOutcome::Faulted) {
    // Whatever it left behind is not known to be ours: nothing is freed.
    if (fault) *fault = got;
    return FileFailed(got, in.view, in.size) ? Attempt::FileError : Attempt::Faulted;
  }
  if (code != 0) {
    // Some plug-ins hand back blocks with a failure; what is a block is freed.
    FreeIfBlock(bits);
    if (info != bits) FreeIfBlock(info);
    return Attempt::Declined;
  }
  return picture.Take(info, bits) ? Attempt::Decoded : Attempt::Declined;
}

}  // namespace spi

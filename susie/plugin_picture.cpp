#include "susie/plugin_picture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace spi {

namespace {

// The 2,048 bytes handed to IsSupported, at the very end of a page of their
// own followed by an inaccessible one: a plug-in that writes past them
// faults inside the guard instead of overwriting the program's memory.
// Kept in a small pool: a decode takes one for its call and gives it back,
// so there are as many as decodes ever ran at once.
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
      head_ = static_cast<char*>(block_.get()) + si.dwPageSize - kIsSupportedHeadBytes;
  }
  char* get() const { return head_; }

 private:
  mv::unique_any<VirtualBlockTraits> block_;
  char* head_ = nullptr;
};
class HeadPool {
 public:
  std::unique_ptr<FencedHead> Take() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (!free_.empty()) {
        std::unique_ptr<FencedHead> head = std::move(free_.back());
        free_.pop_back();
        return head;
      }
    }
    return std::make_unique<FencedHead>();
  }
  void Give(std::unique_ptr<FencedHead> head) {
    const std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(head));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<FencedHead>> free_;
};
HeadPool& Heads() {
  static HeadPool pool;
  return pool;
}
// A head for one ask, given back when it goes.
class BorrowedHead {
 public:
  BorrowedHead() : head_(Heads().Take()) {}
  ~BorrowedHead() { Heads().Give(std::move(head_)); }
  BorrowedHead(const BorrowedHead&) = delete;
  BorrowedHead& operator=(const BorrowedHead&) = delete;
  char* get() const { return head_->get(); }

 private:
  std::unique_ptr<FencedHead> head_;
};

enum class Asked { Yes, No, Faulted, FileError };

// IsSupported with the file handle, as 32-bit plug-ins expect; a plug-in
// that faults on it is asked once more with the interface's other form, the
// file's first 2,048 bytes (zero-filled past the end), and gets that form
// from then on.
Asked AskIsSupported(const PluginEntries& entries, const PluginInput& in, bool& buffer_form) {
  const BorrowedHead borrowed;
  char* head = borrowed.get();
  if (!head) return Asked::FileError;
  std::memset(head, 0, kIsSupportedHeadBytes);  // a plug-in may have written into it
  const auto head_bytes = std::min<std::size_t>(in.file.size, kIsSupportedHeadBytes);
  if (!mv::GuardedRead(in.file, [&] { std::memcpy(head, in.file.begin, head_bytes); })) return Asked::FileError;
  int yes = 0;
  // A plug-in that can be told the name as it is gets it that way.
  const auto ask = [&](DWORD_PTR dw) {
    if (entries.IsSupportedW && !in.wide_name.empty())
      return GuardedCall(yes, entries.IsSupportedW, in.wide_name.c_str(), dw);
    return GuardedCall(yes, entries.IsSupported, in.name.c_str(), dw);
  };
  if (in.handle && !buffer_form) {
    const GuardResult r = ask(reinterpret_cast<DWORD_PTR>(in.handle));
    if (r.outcome == CallOutcome::Returned) return yes != 0 ? Asked::Yes : Asked::No;
  }
  const GuardResult r = ask(reinterpret_cast<DWORD_PTR>(head));
  if (r.outcome == CallOutcome::Faulted) return Asked::Faulted;
  buffer_form = true;
  return yes != 0 ? Asked::Yes : Asked::No;
}

// A block a plug-in handed back, owned only when the system knows it as a
// live global block: the value may be anything, so GlobalSize is asked
// under the guard, and a block the plug-in freed itself answers 0.
mv::unique_hglobal TakeBlock(HANDLE h, SIZE_T& bytes) {
  bytes = 0;
  if (!h || !GuardedRun([&] { bytes = ::GlobalSize(h); }) || bytes == 0) return mv::unique_hglobal();
  return mv::unique_hglobal(static_cast<HGLOBAL>(h));
}

// A block handed back with a failure: freed when it is a live block.
void FreeIfBlock(HANDLE h) {
  SIZE_T bytes = 0;
  const mv::unique_hglobal freed_here = TakeBlock(h, bytes);
}

// The lock of a block, under the guard like every call on its value.
const void* Lock(HGLOBAL h) {
  void* p = nullptr;
  GuardedRun([&] { p = ::GlobalLock(h); });
  return p;
}

}  // namespace

PluginPicture::~PluginPicture() {
  if (info_ptr_) ::GlobalUnlock(info_.get());
  if (bits_ptr_) ::GlobalUnlock(bits_.get());
}

bool PluginPicture::Take(HANDLE info, HANDLE bits) {
  if (info == bits) {
    FreeIfBlock(info);
    return false;
  }
  SIZE_T info_size = 0, bits_size = 0;
  info_ = TakeBlock(info, info_size);
  bits_ = TakeBlock(bits, bits_size);
  if (!info_ || !bits_) return false;
  info_ptr_ = static_cast<const std::uint8_t*>(Lock(info_.get()));
  bits_ptr_ = Lock(bits_.get());
  if (!info_ptr_ || !bits_ptr_) return false;
  // The blocks must hold what their header claims before anything reads them.
  dib_ = mv::CheckPluginDib(info_ptr_, info_size, bits_size);
  return dib_.ok;
}

const RGBQUAD* PluginPicture::Colors() const {
  return reinterpret_cast<const RGBQUAD*>(info_ptr_ + dib_.colorTableOffset);
}

int PluginPicture::CopyInto(HDC dc, HBITMAP target) const {
  if (!dib_.ok) return 0;
  // GDI reads as much as the header implies: it gets a private copy of the
  // checked part of the block, with the counts it was checked for.
  std::vector<std::uint8_t> header(info_ptr_, info_ptr_ + dib_.colorTableOffset + dib_.colorCount * sizeof(RGBQUAD));
  auto* checked = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
  checked->biClrUsed = dib_.bitCount <= 8 ? dib_.colorCount : 0;
  checked->biSizeImage = static_cast<DWORD>(dib_.bytesNeeded);
  return ::SetDIBits(dc, target, 0, dib_.absHeight, bits_ptr_, reinterpret_cast<const BITMAPINFO*>(header.data()),
                     DIB_RGB_COLORS);
}

Outcome TryPicture(const PluginEntries& entries, const PluginInput& in, bool& buffer_form, PluginPicture& picture) {
  switch (AskIsSupported(entries, in, buffer_form)) {
    case Asked::Yes: break;
    case Asked::No: return Outcome::Declined;
    case Asked::Faulted: return Outcome::Faulted;
    case Asked::FileError: return Outcome::FileError;
  }
  HANDLE info = nullptr, bits = nullptr;
  int code = 0;
  const GuardResult got =
      GuardedCallReading(in.file, code, entries.GetPicture, static_cast<LPCSTR>(in.file.begin),
                         static_cast<LONG_PTR>(in.file.size), kInputMemory, &info, &bits, in.progress, LONG_PTR{0});
  if (got.outcome == CallOutcome::Faulted) {
    // Whatever it left behind is not known to be ours: nothing is freed.
    return got.file_failed ? Outcome::FileError : Outcome::Faulted;
  }
  if (code != 0) {
    // Some plug-ins hand back blocks with a failure; what is a block is freed.
    FreeIfBlock(bits);
    if (info != bits) FreeIfBlock(info);
    return Outcome::Declined;
  }
  return picture.Take(info, bits) ? Outcome::Decoded : Outcome::Declined;
}

}  // namespace spi

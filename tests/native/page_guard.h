// Holds bytes so that they end exactly where an inaccessible page begins: any
// read one byte past the end faults at once instead of landing in the zero
// tail of a mapping's last page (which is how a file mapping looks).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace mv::test {

class PageGuard {
 public:
  // Room for up to `capacity` bytes in front of the guard page.
  explicit PageGuard(std::size_t capacity) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    room_ = (capacity + page_ - 1) / page_ * page_;
    void* p = mmap(nullptr, room_ + page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<std::uint8_t*>(p);
    if (mprotect(base_ + room_, page_, PROT_NONE) != 0) {
      munmap(base_, room_ + page_);
      throw std::runtime_error("mprotect failed");
    }
  }
  PageGuard(const PageGuard&) = delete;
  PageGuard& operator=(const PageGuard&) = delete;
  ~PageGuard() { munmap(base_, room_ + page_); }

  // Copies n bytes (n <= capacity) to end at the guard page; returns where they start.
  const std::uint8_t* Load(const void* bytes, std::size_t n) {
    if (n > room_) throw std::length_error("PageGuard too small");
    std::uint8_t* start = base_ + room_ - n;
    if (n > 0) std::memcpy(start, bytes, n);
    return start;
  }

  // Address of the first byte that must never be read.
  const std::uint8_t* end() const { return base_ + room_; }

 private:
  std::size_t page_ = 0;
  std::size_t room_ = 0;
  std::uint8_t* base_ = nullptr;
};

}  // namespace mv::test

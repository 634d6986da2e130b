// Move-only owner of one OS handle, in the style of wil's unique_any.
// Each handle kind is a Traits type: its empty value and how it is closed.
// Every owner counts the handles it holds per kind, so tests can prove that
// a run of operations gives back everything it took.
#pragma once

#include <atomic>
#include <utility>

namespace mv {

// Live handles per traits type: +1 when an owner takes a handle, -1 when it
// closes one. Files are decoded on several threads at once.
template <class Traits>
struct HandleCount {
  static inline std::atomic<int> live = 0;
};

template <class Traits>
class unique_any {
 public:
  using pointer = typename Traits::type;

  unique_any() noexcept = default;
  explicit unique_any(pointer value) noexcept : value_(value) { Count(value_, +1); }
  ~unique_any() { reset(); }

  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release_uncounted()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.release_uncounted();
    }
    return *this;
  }

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

  // Closes the held handle and takes the new one.
  void reset(pointer value = Traits::invalid()) noexcept {
    if (value_ != Traits::invalid()) {
      Traits::close(value_);
      Count(value_, -1);
    }
    value_ = value;
    Count(value_, +1);
  }

  // Gives the handle up without closing it; the caller now owns it.
  pointer release() noexcept {
    Count(value_, -1);
    return release_uncounted();
  }

 private:
  static void Count(pointer value, int delta) noexcept {
    if (value != Traits::invalid()) HandleCount<Traits>::live += delta;
  }
  pointer release_uncounted() noexcept { return std::exchange(value_, Traits::invalid()); }

  pointer value_ = Traits::invalid();
};

}  // namespace mv

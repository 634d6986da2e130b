// The bytes a GetPicture-like call is about: either the caller's memory
// image of the file, or the named file from an offset on, mapped read-only
// for the length of the call.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/handles.h"

namespace mv::wic {

class SpiInput {
 public:
  // Answers spi::kOk or the code to return; flag & 7 picks the form of buf/len.
  int Open(LPCSTR buf, LONG_PTR len, unsigned flag);
  const std::uint8_t* data() const { return data_; }
  std::uint32_t size() const { return size_; }

 private:
  mv::unique_view view_;
  const std::uint8_t* data_ = nullptr;
  std::uint32_t size_ = 0;
};

}  // namespace mv::wic

#include "spi/spi_input.h"

#include "susie/spi_result_codes.h"

namespace mv::wic {

int SpiInput::Open(LPCSTR buf, LONG_PTR len, unsigned flag) {
  if (!buf) return spi::kInternalError;
  switch (flag & 7) {
    case 1:  // memory image: len is its size
      if (len <= 0) return spi::kUnknownFormat;
      if (static_cast<std::uint64_t>(len) > 0xFFFFFFFFull) return spi::kNoMemory;
      data_ = reinterpret_cast<const std::uint8_t*>(buf);
      size_ = static_cast<std::uint32_t>(len);
      return spi::kOk;
    case 0:  // file name: len is where the image starts in it
      break;
    default:
      return spi::kInternalError;
  }
  if (len < 0) return spi::kUnknownFormat;
  mv::unique_file file(::CreateFileA(buf, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return spi::kReadError;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return spi::kReadError;
  const auto offset = static_cast<std::uint64_t>(len);
  if (static_cast<std::uint64_t>(size.QuadPart) <= offset) return spi::kUnknownFormat;  // nothing from there on
  if (static_cast<std::uint64_t>(size.QuadPart) > 0xFFFFFFFFull) return spi::kNoMemory;
  mv::unique_handle mapping(::CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return spi::kReadError;
  view_.reset(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view_) return ::GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? spi::kNoMemory : spi::kReadError;
  data_ = static_cast<const std::uint8_t*>(view_.get()) + offset;
  size_ = static_cast<std::uint32_t>(static_cast<std::uint64_t>(size.QuadPart) - offset);
  return spi::kOk;
}

}  // namespace mv::wic

// Little-endian field readers for the header checks. The caller has checked
// that the 2 or 4 bytes lie inside its buffer; unaligned pointers are fine.
#pragma once

#include <cstdint>

namespace mv {

inline std::uint16_t Rd16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Rd32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace mv

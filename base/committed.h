// Whether memory can be read: every page of a range committed and
// readable. A view of a section made only to reserve its pages maps at
// any size, yet faults at the first read of a page nobody committed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace mv {

inline bool RangeCommitted(const void* begin, std::size_t bytes) {
  const auto* p = static_cast<const std::uint8_t*>(begin);
  const std::uint8_t* const end = p + bytes;
  while (p < end) {
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(p, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT ||
        (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) || region.RegionSize == 0)
      return false;
    const std::uint8_t* next = static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize;
    if (next <= p) return false;
    p = next;
  }
  return true;
}

}  // namespace mv

// A whole file mapped read-only, and reading it. A view shows what the
// mapping held when it was made: the size counted is never more than the
// view, whatever the file (or whoever names its size) says now. A read of
// a mapped file can fail as no read of memory should (removed media, a
// dropped network share, a file cut short on disk): such reads run under
// the fault guard.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "base/fault_guard.h"
#include "base/handles.h"

namespace mv {

struct MappedFile {
  unique_view view;
  std::uint64_t size = 0;  // the bytes it shows
  spi::MappedBytes Bytes() const { return {view.get(), static_cast<std::size_t>(size)}; }
};

// Maps the whole of `mapping`; `size` is what the file holds, counted no
// further than the view.
inline bool MapWhole(HANDLE mapping, std::uint64_t size, MappedFile& out) {
  out.view.reset(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  MEMORY_BASIC_INFORMATION region{};
  if (!out.view || ::VirtualQuery(out.view.get(), &region, sizeof region) != sizeof region) return false;
  out.size = std::min<std::uint64_t>(size, region.RegionSize);
  return true;
}

// The same, with the size of `file` read now: a file that grew since the
// mapping was made is longer than its view.
inline bool MapWholeFile(HANDLE file, HANDLE mapping, MappedFile& out) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return false;
  return MapWhole(mapping, static_cast<std::uint64_t>(size.QuadPart), out);
}

// Runs fn(), the program's own read of the mapped file `file`, under the
// guard: false when reading it failed or fn() faulted in a system DLL.
template <class F>
bool GuardedRead(spi::MappedBytes file, F&& fn) {
  return spi::GuardedRun(std::forward<F>(fn), file);
}

}  // namespace mv

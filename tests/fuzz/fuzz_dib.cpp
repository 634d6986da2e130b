// libFuzzer target: a plug-in's info block and the size of its bits block.
// The first 4 input bytes give the bits size (bounded to 4 MiB); the rest is
// the info block. Everything an accepted pair promises is then read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/dib_check.h"

namespace {

void Require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::size_t bitsSize =
      (std::size_t{data[0]} | std::size_t{data[1]} << 8 | std::size_t{data[2]} << 16 |
       std::size_t(data[3] & 0x3F) << 24) & ((std::size_t{1} << 22) - 1);
  // A separate allocation of exactly the info size, so ASan marks its end.
  const std::vector<std::uint8_t> info(data + 4, data + size);
  const mv::DibCheck c = mv::CheckPluginDib(info.data(), info.size(), bitsSize);
  if (!c.ok) return 0;
  Require(c.colorTableOffset + std::uint64_t{c.colorCount} * 4 <= info.size());
  Require(c.headerSize <= info.size() && c.bytesNeeded <= bitsSize);
  Require(c.width > 0 && c.absHeight > 0 && c.stride * c.absHeight == c.bytesNeeded);
  // Touch the last byte of the table and of the bits, as GDI would.
  const std::vector<std::uint8_t> bits(bitsSize, 0);
  volatile std::uint8_t sink = 0;
  const std::size_t tableEnd = c.colorTableOffset + std::size_t{c.colorCount} * 4;
  if (tableEnd > 0) sink = sink + info[tableEnd - 1];
  if (c.bytesNeeded > 0) sink = sink + bits[static_cast<std::size_t>(c.bytesNeeded) - 1];
  return 0;
}

// libFuzzer target: a whole file through the bitmap reader, as the viewer
// would take it from a mapping (libFuzzer's copy ends exactly at the input's
// last byte, so ASan sees any read past it).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/bmp_layout.h"
#include "image/bmp_render.h"

namespace {

// Keeps single runs fast and within libFuzzer's memory limit.
constexpr std::uint64_t kMaxFuzzPixels = std::uint64_t{1} << 22;

void Require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const mv::BmpLayout l = mv::ParseBmpLayout(data, size);
  const mv::ColorTable t = mv::ReadColorTable(l, data, size);
  if (!l.ok) {
    Require(t.present == 0);
    return 0;
  }
  // What the layout promises must hold for these bytes.
  Require(l.colorsPresent <= l.colorCount && l.colorCount <= 256);
  Require(l.colorTableOffset + std::uint64_t{l.colorsPresent} * l.colorEntrySize <= size);
  Require(l.pixelBytesPresent <= (l.pixelOffset < size ? size - l.pixelOffset : 0));
  Require(l.isRle() || std::uint64_t{l.rowsPresent} * l.stride <= l.pixelBytesPresent);
  Require(l.pixelBytesNeeded <= mv::kMaxBmpPixelBytes);
  if (mv::BgraPixelCount(l) > kMaxFuzzPixels) return 0;
  std::vector<std::uint32_t> out(mv::BgraPixelCount(l));
  Require(mv::RenderBgra(l, data, size, out.data()));
  return 0;
}

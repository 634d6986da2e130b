// Reads an image file (the reference PNGs) through the system's imaging
// component, as 0xAARRGGBB pixels from the top row down.
#pragma once

#include <string>
#include <vector>

namespace mvtest {

struct Rgba {
  int width = 0, height = 0;
  std::vector<unsigned> pixels;
  unsigned at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// False when the file cannot be read.
bool ReadImageFile(const std::string& path, Rgba& out);

}  // namespace mvtest

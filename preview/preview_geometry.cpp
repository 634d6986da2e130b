#include "preview/preview_geometry.h"

namespace mv {

ClientFit FitClientToImage(int image_width, int image_height, int vscroll_width, int hscroll_height) {
  int w = image_width, h = image_height;
  bool width_cut = false, height_cut = false;
  if (w > 640) {
    w = 640;
    width_cut = true;
  }
  if (h > 480) {
    h = 480;
    height_cut = true;
  }
  if (w < 240) w = 240;
  if (h < 180) h = 180;
  if (w < 640 && height_cut) w += vscroll_width;
  if (h < 480 && width_cut) h += hscroll_height;
  return {w, h};
}

int ScrollLineBack(int position, int line) {
  const int p = position - line;
  return p < 0 ? 0 : p;
}

int ScrollLineForward(int position, int line, int range, int visible) {
  int p = position + line;
  if (p > range) p = range;
  const int max = range - visible;
  if (p > max) p = max > 0 ? max : 0;
  return p;
}

}  // namespace mv

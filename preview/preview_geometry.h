// The preview window's geometry: fitting its client area to an image, the
// smooth scroll steps, the strip that shows the picker, centring.
#pragma once

namespace mv {

struct ClientFit {
  int width;
  int height;
};

// Within 640 × 480 and at least 240 × 180. When only one dimension is cut,
// the other gets room for the scroll bar that will come back.
ClientFit FitClientToImage(int image_width, int image_height, int vscroll_width, int hscroll_height);

// A bar's page step is nine tenths of the visible extent, its line step a
// tenth of that, both rounded down.
constexpr int PageStep(int visible) { return visible * 9 / 10; }
constexpr int LineStep(int visible) { return PageStep(visible) / 10; }

// One line up or left: never below 0. One line down or right: never past
// the range; the bar itself stops at range minus the visible size.
int ScrollLineBack(int position, int line);
int ScrollLineForward(int position, int line, int range, int visible);

// The strip with the picker shows while the mouse is this near the top.
constexpr int kStripHeight = 28;
constexpr bool StripShows(int client_y) { return client_y <= kStripHeight; }

// Centred on the screen; halves rounded down (also when negative).
constexpr int CentredOrigin(int screen, int window) {
  const int d = screen - window;
  return d >= 0 ? d / 2 : -((-d + 1) / 2);
}

}  // namespace mv

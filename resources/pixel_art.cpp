#include "resources/pixel_art.h"

#include <algorithm>
#include <cstddef>

namespace mv::art {

int Vga16Index(std::uint32_t colour) {
  for (std::size_t i = 0; i < kVga16.size(); ++i)
    if (kVga16[i] == colour) return static_cast<int>(i);
  return -1;
}

Picture::Picture(int w, int h, std::uint32_t fill)
    : width(std::max(w, 0)), height(std::max(h, 0)),
      bgra(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

std::uint32_t Picture::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return kTransparent;
  return bgra[static_cast<std::size_t>(y) * width + x];
}

void Picture::set(int x, int y, std::uint32_t colour) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  bgra[static_cast<std::size_t>(y) * width + x] = colour;
}

void Picture::fill(int x0, int y0, int x1, int y1, std::uint32_t colour) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width);
  y1 = std::min(y1, height);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) bgra[static_cast<std::size_t>(y) * width + x] = colour;
}

// ---------------------------------------------------------------------------
// Font: one byte per row, bit 4 the leftmost column.

namespace {

struct FontCell {
  char ch;
  std::array<std::uint8_t, kFontHeight> rows;
};

// Written as the pictures they are: 1 = ink.
constexpr std::array<FontCell, 15> kFont = {{
    {'0', {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110}},
    {'1', {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110}},
    {'2', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111}},
    {'3', {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110}},
    {'4', {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010}},
    {'5', {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110}},
    {'6', {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110}},
    {'7', {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000}},
    {'8', {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110}},
    {'9', {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100}},
    {'?', {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b00000, 0b00100}},
    {'L', {0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b11111}},
    {'O', {0b01110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110}},
    {'A', {0b01110, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'D', {0b11110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b11110}},
}};

const FontCell* FindCell(char c) {
  for (const FontCell& cell : kFont)
    if (cell.ch == c) return &cell;
  return nullptr;
}

}  // namespace

bool FontHas(char c) { return FindCell(c) != nullptr; }

bool FontPixel(char c, int col, int row) {
  const FontCell* cell = FindCell(c);
  if (!cell || col < 0 || row < 0 || col >= kFontWidth || row >= kFontHeight) return false;
  return (cell->rows[row] >> (kFontWidth - 1 - col)) & 1;
}

int TextWidth(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<int>(text.size()) * (kFontWidth + kFontSpacing) - kFontSpacing;
}

void DrawText(Picture& pic, int x, int y, std::string_view text, std::uint32_t colour, int scale_x,
              int scale_y) {
  scale_x = std::max(scale_x, 1);
  scale_y = std::max(scale_y, 1);
  for (char c : text) {
    for (int row = 0; row < kFontHeight; ++row)
      for (int col = 0; col < kFontWidth; ++col)
        if (FontPixel(c, col, row))
          pic.fill(x + col * scale_x, y + row * scale_y, x + (col + 1) * scale_x,
                   y + (row + 1) * scale_y, colour);
    x += (kFontWidth + kFontSpacing) * scale_x;
  }
}

// ---------------------------------------------------------------------------
// Bit-depth icons.

std::string_view BitDepthLabel(int index) {
  static constexpr std::array<std::string_view, kBitDepthIconCount> kLabels = {
      "1", "4", "8", "16", "24", "32", "?"};
  if (index < 0 || index >= kBitDepthIconCount) return {};
  return kLabels[index];
}

Picture BitDepthIcon(int index) {
  std::string_view label = BitDepthLabel(index);
  if (label.empty()) return {};
  constexpr int n = kBitDepthIconSize;
  Picture pic(n, n, kBlack);
  pic.fill(1, 1, n - 1, n - 1, kWhite);
  // Centred in the white field; an odd leftover pixel goes to the right and
  // to the bottom, the same for every label so the figures line up.
  const int field = n - 2;
  DrawText(pic, 1 + (field - TextWidth(label)) / 2, 1 + (field - kFontHeight) / 2, label, kRed);
  return pic;
}

// ---------------------------------------------------------------------------
// LOAD tool-button picture.

Picture LoadButton() {
  constexpr int n = kLoadButtonSize;
  Picture pic(n, n, kYellow);
  // Cut corners: a two-pixel bevel at each corner reads as a rounded key.
  for (int y : {0, n - 1}) {
    for (int x : {0, 1, n - 2, n - 1}) pic.set(x, y, kTransparent);
  }
  for (int y : {1, n - 2}) {
    for (int x : {0, n - 1}) pic.set(x, y, kTransparent);
  }
  // Letters twice as tall as the font so the word fills the button.
  constexpr int scale_y = 2;
  const int w = TextWidth("LOAD");
  DrawText(pic, (n - w) / 2, (n - kFontHeight * scale_y) / 2, "LOAD", kBlack, 1, scale_y);
  return pic;
}

// ---------------------------------------------------------------------------
// Picker triangles.

namespace {

// Rows of the upward triangle: row k (0 at the tip) spans columns
// kApexLeft - k .. kApexLeft + 1 + k, so the shape is symmetric about the
// middle of the 20-pixel glyph.
constexpr int kTriTop = 5;
constexpr int kTriRows = 9;
constexpr int kApexLeft = 9;

std::uint32_t TriangleFill(int k) {
  if (k == kTriRows - 1) return kBlack;  // the base
  if (k <= 2) return kWhite;             // the tip catches the light
  if (k <= 5) return kSilver;
  return kGrey;
}

}  // namespace

Picture TriangleGlyph(bool up) {
  constexpr int n = kGlyphSize;
  Picture pic(n, n, kGlyphBackground);
  for (int k = 0; k < kTriRows; ++k) {
    const int y = up ? kTriTop + k : n - 1 - (kTriTop + k);
    const int left = kApexLeft - k;
    const int right = kApexLeft + 1 + k;
    pic.fill(left + 1, y, right, y + 1, TriangleFill(k));
    pic.set(left, y, kBlack);
    pic.set(right, y, kBlack);
  }
  return pic;
}

// ---------------------------------------------------------------------------
// Form icons. Each is laid out on a 16-pixel grid scaled by u = size / 16;
// outlines stay one pixel wide at every size so the larger icon gains detail
// instead of getting blocky.

namespace {

void OutlinedRect(Picture& pic, int x0, int y0, int x1, int y1, std::uint32_t fill,
                  std::uint32_t outline) {
  pic.fill(x0, y0, x1, y1, outline);
  pic.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill);
}

// A framed landscape: wooden frame, sky, sun, two hills.
Picture PictureFrameIcon(int s, int u) {
  Picture pic(s, s, kBlack);
  const int wood = 2 * u;
  pic.fill(1, 1, s - 1, s - 1, kOlive);
  // Light from the top left: yellow on the upper and left edges of the wood,
  // maroon on the lower and right ones.
  pic.fill(1, 1, s - 1, 2, kYellow);
  pic.fill(1, 1, 2, s - 1, kYellow);
  pic.fill(1, s - 2, s - 1, s - 1, kMaroon);
  pic.fill(s - 2, 2, s - 1, s - 1, kMaroon);
  const int inner = 1 + wood;  // the black line round the canvas
  pic.fill(inner, inner, s - inner, s - inner, kBlack);
  const int x0 = inner + 1, y0 = inner + 1, x1 = s - inner - 1, y1 = s - inner - 1;
  pic.fill(x0, y0, x1, y1, kAqua);
  const int w = x1 - x0, h = y1 - y0;

  // Shapes are tested at pixel centres, so small discs stay round.
  auto disc = [&](double cx, double cy, double r, std::uint32_t colour) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        if (dx * dx + dy * dy <= r * r) pic.set(x, y, colour);
      }
  };
  // Sun in the upper right.
  const int r = std::max(1, w / 6);
  disc(x1 - r - w / 8 - 0.5, y0 + r + h / 8 + 0.5, r + 0.3, kYellow);
  // Hills: arcs of large circles whose centres lie below the canvas, the far
  // one darker.
  disc(x0 + w * 0.3, y1 + h * 0.3, h * 0.75, kGreen);
  disc(x0 + w * 0.9, y1 + h * 0.4, h * 0.7, kLime);
  return pic;
}

// A mains plug seen from the front: two silver prongs, a navy body with a
// blue highlight, a grey neck and a black cable.
Picture PlugIcon(int s, int u) {
  Picture pic(s, s, kTransparent);
  // Prongs.
  OutlinedRect(pic, 3 * u, 0, 6 * u, 6 * u, kSilver, kBlack);
  OutlinedRect(pic, 10 * u, 0, 13 * u, 6 * u, kSilver, kBlack);
  // Body with cut lower corners.
  OutlinedRect(pic, 1 * u, 5 * u, 15 * u, 11 * u, kNavy, kBlack);
  pic.fill(1 * u + 1, 5 * u + 1, 15 * u - 1, 5 * u + 2, kBlue);
  pic.fill(1 * u + 1, 5 * u + 1, 1 * u + 2, 11 * u - 1, kBlue);
  pic.set(1 * u, 11 * u - 1, kTransparent);
  pic.set(15 * u - 1, 11 * u - 1, kTransparent);
  pic.set(1 * u + 1, 11 * u - 2, kBlack);
  pic.set(15 * u - 2, 11 * u - 2, kBlack);
  // Neck, overlapping the body's lower outline, and the cable.
  OutlinedRect(pic, 5 * u, 11 * u - 1, 11 * u, 14 * u, kGrey, kBlack);
  pic.fill(7 * u, 14 * u, 9 * u, s, kBlack);
  return pic;
}

}  // namespace

Picture FormIcon(FormIconKind kind, int size) {
  if (size < 16 || size > 64 || size % 16 != 0) return {};
  const int u = size / 16;
  switch (kind) {
    case FormIconKind::MainWindow:
      return PictureFrameIcon(size, u);
    case FormIconKind::PluginDialog:
      return PlugIcon(size, u);
  }
  return {};
}

}  // namespace mv::art

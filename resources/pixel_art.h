// The program's small pictures, drawn in code as plain pixel arrays: the
// seven bit-depth icons, the LOAD tool-button picture, the picker triangles
// and the two form icons. No Windows here; resources/art_win.h turns these
// into icons, bitmaps and image lists.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mv::art {

// Colours are 0xAARRGGBB, which in memory on a little-endian machine is the
// blue, green, red, alpha byte order of a 32-bit top-down DIB.
inline constexpr std::uint32_t kTransparent = 0x00000000;  // alpha 0: not drawn
inline constexpr std::uint32_t kBlack = 0xFF000000;
inline constexpr std::uint32_t kMaroon = 0xFF800000;
inline constexpr std::uint32_t kGreen = 0xFF008000;
inline constexpr std::uint32_t kOlive = 0xFF808000;
inline constexpr std::uint32_t kNavy = 0xFF000080;
inline constexpr std::uint32_t kPurple = 0xFF800080;
inline constexpr std::uint32_t kTeal = 0xFF008080;
inline constexpr std::uint32_t kSilver = 0xFFC0C0C0;
inline constexpr std::uint32_t kGrey = 0xFF808080;
inline constexpr std::uint32_t kRed = 0xFFFF0000;
inline constexpr std::uint32_t kLime = 0xFF00FF00;
inline constexpr std::uint32_t kYellow = 0xFFFFFF00;
inline constexpr std::uint32_t kBlue = 0xFF0000FF;
inline constexpr std::uint32_t kFuchsia = 0xFFFF00FF;
inline constexpr std::uint32_t kAqua = 0xFF00FFFF;
inline constexpr std::uint32_t kWhite = 0xFFFFFFFF;

// The 16 colours of a standard 4-bit colour table, in the usual order.
inline constexpr std::array<std::uint32_t, 16> kVga16 = {
    kBlack, kMaroon, kGreen, kOlive, kNavy, kPurple, kTeal, kSilver,
    kGrey,  kRed,    kLime,  kYellow, kBlue, kFuchsia, kAqua, kWhite};

// Index of an opaque colour in kVga16, or -1 when it is not one of them.
int Vga16Index(std::uint32_t colour);

inline constexpr bool IsTransparent(std::uint32_t colour) { return (colour >> 24) == 0; }

// A picture, rows top-down, one 0xAARRGGBB value per pixel. Only alpha 0 and
// 255 occur: a pixel is either drawn or not.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> bgra;

  Picture() = default;
  Picture(int w, int h, std::uint32_t fill);

  bool empty() const { return width <= 0 || height <= 0; }
  // Reading outside gives kTransparent; writing outside is ignored, so the
  // drawing helpers never need to clip.
  std::uint32_t at(int x, int y) const;
  void set(int x, int y, std::uint32_t colour);
  // Fills the half-open rectangle [x0, x1) × [y0, y1).
  void fill(int x0, int y0, int x1, int y1, std::uint32_t colour);

  friend bool operator==(const Picture&, const Picture&) = default;
};

// --- The pixel font: 5 × 7 cells for 0-9, '?', 'L', 'O', 'A', 'D'. ---
inline constexpr int kFontWidth = 5;
inline constexpr int kFontHeight = 7;
inline constexpr int kFontSpacing = 1;  // blank columns between two cells

bool FontHas(char c);
// Whether the font sets the pixel at (col, row) of c's cell; false for a
// character the font lacks or a position outside the cell.
bool FontPixel(char c, int col, int row);
// Width in pixels of text drawn at horizontal scale 1.
int TextWidth(std::string_view text);
// Draws the set pixels of each character; (x, y) is the top-left corner of
// the first cell; every font pixel becomes a scale_x × scale_y block.
// Characters the font lacks leave a blank cell.
void DrawText(Picture& pic, int x, int y, std::string_view text, std::uint32_t colour,
              int scale_x = 1, int scale_y = 1);

// --- The pictures. ---

// Bit-depth icons, indexed like an image's depth icon number.
inline constexpr int kBitDepthIconCount = 7;
inline constexpr int kBitDepthIconSize = 16;
// "1", "4", "8", "16", "24", "32", "?" for 0..6; empty outside.
std::string_view BitDepthLabel(int index);
// 16 × 16: a black frame round a white field with the label in red, centred.
// Empty for an index outside 0..6.
Picture BitDepthIcon(int index);

// 30 × 30: the word LOAD in black on a yellow square whose four corners are
// cut (transparent) so the button face shows there.
inline constexpr int kLoadButtonSize = 30;
Picture LoadButton();

// 20 × 20, colours of kVga16 only: a triangle outlined in black, white at
// the tip, then silver, then grey, with a black base, on teal. The teal is
// opaque here: whoever draws the glyph treats teal as the see-through colour.
inline constexpr int kGlyphSize = 20;
inline constexpr std::uint32_t kGlyphBackground = kTeal;
Picture TriangleGlyph(bool up);

// Window icons of the main window and of the plug-in dialog, in colours of
// kVga16 plus transparency. Sizes 16 and 32 (any multiple of 16 up to 64
// works); empty for any other size.
enum class FormIconKind { MainWindow, PluginDialog };
Picture FormIcon(FormIconKind kind, int size);

}  // namespace mv::art

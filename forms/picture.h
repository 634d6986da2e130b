// Windowless picture and speed-button controls.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

#include "forms/bitmap.h"
#include "forms/control.h"
#include "forms/font.h"

namespace forms {

// Shows a bitmap unscaled from its top-left corner. The picture is shared
// with whoever assigned it: assigning is cheap, as a copy that nobody
// writes to afterwards needs no pixels of its own.
class Image : public GraphicControl {
 public:
  explicit Image(Window* parent) : GraphicControl(parent) {}
  void SetPicture(std::shared_ptr<Bitmap> picture);
  const std::shared_ptr<Bitmap>& Picture() const { return picture_; }
  // Colour of a pixel of the picture, as GetPixel gives it; CLR_INVALID
  // outside it.
  COLORREF PicturePixel(int x, int y) const;
  void Paint(HDC dc, const RECT& rect) override;

  // Draws the control's content instead of a picture when set (a picture
  // drawn straight from where it lies, without a copy).
  std::function<void(HDC dc, const RECT& rect)> PaintOverride;

 private:
  std::shared_ptr<Bitmap> picture_;
};

// A button drawn by its parent, with an optional glyph from an image list
// and, in a group, a down state that moves between the group's buttons.
class SpeedButton : public GraphicControl {
 public:
  SpeedButton(Window* parent, const ControlBounds& bounds);
  // In positions, as the palette viewer makes its mode buttons.
  SpeedButton(Window* parent, int x, int y, int width, int height)
      : SpeedButton(parent, ControlBounds{x, y, width, height}) {}
  void SetGlyph(HIMAGELIST images, int index) {
    images_ = images;
    image_index_ = index;
    Invalidate();
  }
  void SetCaption(const std::string& caption, const FontSpec& font);
  const std::string& Caption() const { return caption_; }
  void SetGroupIndex(int group) { group_ = group; }
  int GroupIndex() const { return group_; }
  bool Down() const { return down_; }
  // Putting one button of a group down puts the others up.
  void SetDown(bool down);
  // Acts as a click by the user.
  void Click();

  void Paint(HDC dc, const RECT& rect) override;
  void MouseDown(MouseButton button, ShiftState shift, int x, int y) override;
  void MouseUp(MouseButton button, ShiftState shift, int x, int y) override;

 private:
  HIMAGELIST images_ = nullptr;
  int image_index_ = -1;
  std::string caption_;
  HFONT font_ = nullptr;
  int group_ = 0;
  bool down_ = false;
  bool pressed_ = false;
};

}  // namespace forms

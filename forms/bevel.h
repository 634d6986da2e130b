// A bevel: an etched or sunken edge its parent paints, as a box, a frame
// or a line along its top.
#pragma once

#include <windows.h>

#include "forms/control.h"

namespace forms {

struct BevelParams;

class Bevel : public GraphicControl {
 public:
  enum class Shape { Box, Frame, TopLine };
  Bevel(Window* parent, const BevelParams& params);
  void Paint(HDC dc, const RECT& rect) override;

 private:
  Shape shape_;
};

struct BevelParams {
  ControlBounds bounds;
  Bevel::Shape shape = Bevel::Shape::Box;
};

}  // namespace forms

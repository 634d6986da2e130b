#include "forms/bevel.h"

namespace forms {

Bevel::Bevel(Window* parent, const BevelParams& p) : GraphicControl(parent), shape_(p.shape) {
  SetBounds(p.bounds);
}

void Bevel::Paint(HDC dc, const RECT& rect) {
  RECT r = rect;
  switch (shape_) {
    case Shape::Box:
      ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
      break;
    case Shape::Frame:
      ::DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
      break;
    case Shape::TopLine:
      ::DrawEdge(dc, &r, EDGE_ETCHED, BF_TOP);
      break;
  }
}

}  // namespace forms

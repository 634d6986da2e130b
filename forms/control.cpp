#include "forms/control.h"

#include <windowsx.h>

#include "base/wide_text.h"

namespace forms {

// ---- WinControl -------------------------------------------------------------

WinControl::WinControl(Window* parent) : parent_(parent), id_(parent->NextChildId()) {
  parent_->RegisterChild(id_, this);
}

WinControl::~WinControl() {
  parent_->UnregisterChild(id_);
  DestroyHandle();
}

void WinControl::CreateChild(const wchar_t* class_name, DWORD style, DWORD ex_style, const ControlBounds& bounds,
                             const std::string& text) {
  CreateParams p;
  p.class_name = class_name;
  p.style = style | WS_CHILD | WS_CLIPSIBLINGS;
  p.ex_style = ex_style;
  p.x = bounds.left;
  p.y = bounds.top;
  p.width = bounds.width;
  p.height = bounds.height;
  p.parent = parent_->Handle();
  p.menu_or_id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_));
  p.text = text;
  CreateHandle(p);
  SetFont(DefaultFont());
}

LRESULT WinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MOUSEMOVE:
      if (OnMouseMove) OnMouseMove(ShiftState::FromMouse(wp), GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
      if (RunKeyHandlers(msg, wp, OnKeyDown, OnKeyPress)) return 0;
      break;
    case WM_LBUTTONDBLCLK:
      if (OnDblClick) {
        LRESULT r = Window::WndProc(msg, wp, lp);
        OnDblClick();
        return r;
      }
      break;
  }
  return Window::WndProc(msg, wp, lp);
}

bool WinControl::OnReflect(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void WinControl::SetBounds(int left, int top, int width, int height) {
  ::SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT WinControl::Bounds() const {
  RECT r{0, 0, 0, 0};
  ::GetWindowRect(Handle(), &r);
  ::MapWindowPoints(HWND_DESKTOP, parent_->Handle(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int WinControl::Width() const {
  RECT r = Bounds();
  return r.right - r.left;
}

int WinControl::Height() const {
  RECT r = Bounds();
  return r.bottom - r.top;
}

void WinControl::SetVisible(bool visible) {
  if (!visible && Focused()) {
    // A control going away gives the keyboard back to its window.
    HWND top = ::GetAncestor(Handle(), GA_ROOT);
    ::ShowWindow(Handle(), SW_HIDE);
    ::SetFocus(top);
    return;
  }
  ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE);
}

bool WinControl::Visible() const { return (::GetWindowLongW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }

void WinControl::SetEnabled(bool enabled) { ::EnableWindow(Handle(), enabled); }

bool WinControl::Enabled() const { return ::IsWindowEnabled(Handle()) != FALSE; }

void WinControl::SetText(const std::string& text) { ::SetWindowTextW(Handle(), mv::WideFromAnsi(text).c_str()); }

std::string WinControl::Text() const { return mv::AnsiFromWide(WideText(Handle())); }

void WinControl::SetFont(const FontSpec& font) {
  font_ = GetFont(font);
  ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

void WinControl::SetFocus() { ::SetFocus(Handle()); }

bool WinControl::Focused() const {
  HWND f = ::GetFocus();
  return f && (f == Handle() || ::IsChild(Handle(), f));
}

// ---- GraphicControl ---------------------------------------------------------

GraphicControl::GraphicControl(Window* parent) : parent_(parent) { parent_->AddGraphic(this); }

GraphicControl::~GraphicControl() { parent_->RemoveGraphic(this); }

RECT GraphicControl::ClientRect() const {
  POINT o = parent_->ContentOrigin();
  RECT r = bounds_;
  ::OffsetRect(&r, o.x, o.y);
  return r;
}

void GraphicControl::SetBounds(int left, int top, int width, int height) {
  Invalidate();
  bounds_ = RECT{left, top, left + width, top + height};
  Invalidate();
}

void GraphicControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Invalidate();
}

void GraphicControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Invalidate();
}

void GraphicControl::Invalidate() {
  if (!parent_->Handle()) return;
  RECT r = ClientRect();
  // Windowless controls may be transparent: the parent repaints below them.
  ::InvalidateRect(parent_->Handle(), &r, TRUE);
}

void GraphicControl::MouseMove(ShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(shift, x, y);
}

void GraphicControl::MouseDown(MouseButton button, ShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(button, shift, x, y);
}

void GraphicControl::MouseUp(MouseButton button, ShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(button, shift, x, y);
  if (button == MouseButton::Left && x >= 0 && y >= 0 && x < Width() && y < Height() && OnClick) OnClick();
}

void GraphicControl::DblClick() {
  if (OnDblClick) OnDblClick();
}

}  // namespace forms

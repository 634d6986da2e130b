// Controls: windowed ones (a child HWND of a system or own class) and
// windowless ones (painted by their parent, like labels and pictures).
#pragma once

#include <windows.h>

#include <string>

#include "forms/font.h"
#include "forms/window.h"

namespace forms {

// Where a control lies in its parent, and its size: left and top in the
// parent's client coordinates (content coordinates for windowless ones).
struct ControlBounds {
  int left = 0, top = 0, width = 0, height = 0;
};

// A child window. Its parent reflects notifications to OnReflect.
class WinControl : public Window {
 public:
  explicit WinControl(Window* parent);
  ~WinControl() override;

  Window* Parent() const { return parent_; }
  int Id() const { return id_; }

  void SetBounds(int left, int top, int width, int height);
  RECT Bounds() const;  // in the parent's client coordinates
  int Left() const { return Bounds().left; }
  int Top() const { return Bounds().top; }
  int Width() const;
  int Height() const;

  void SetVisible(bool visible);
  bool Visible() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetText(const std::string& text);
  std::string Text() const;
  void SetFont(const FontSpec& font);
  HFONT Font() const { return font_; }
  void SetFocus();
  bool Focused() const;

  MouseMoveHandler OnMouseMove;
  KeyHandler OnKeyDown;
  KeyPressHandler OnKeyPress;
  NotifyHandler OnDblClick;

  // A notification the parent received for this control (WM_COMMAND,
  // WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*).
  virtual bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

 protected:
  // Creates the child window with this control's id under its parent, in
  // the default font; a null class is this layer's own. Throws
  // WindowCreationError when the system makes none: the control's
  // registration with its parent then goes as the constructor unwinds.
  void CreateChild(const wchar_t* class_name, DWORD style, DWORD ex_style, const ControlBounds& bounds,
                   const std::string& text = {});
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  Window* parent_;
  int id_;
  HFONT font_ = nullptr;  // borrowed from the font cache
};

// A control without a window of its own: the parent paints it and routes
// the mouse to it. Coordinates are in the parent's content coordinates
// (client coordinates plus the scroll position).
class GraphicControl {
 public:
  explicit GraphicControl(Window* parent);
  virtual ~GraphicControl();
  GraphicControl(const GraphicControl&) = delete;
  GraphicControl& operator=(const GraphicControl&) = delete;

  Window* Parent() const { return parent_; }
  void SetBounds(int left, int top, int width, int height);
  void SetBounds(const ControlBounds& b) { SetBounds(b.left, b.top, b.width, b.height); }
  const RECT& Bounds() const { return bounds_; }
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.right - bounds_.left; }
  int Height() const { return bounds_.bottom - bounds_.top; }
  void SetVisible(bool visible);
  bool Visible() const { return visible_; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  void Invalidate();
  // The rectangle this control covers in the parent's client area now.
  RECT ClientRect() const;

  // Paints into dc; rect is where the control lies in client coordinates.
  virtual void Paint(HDC dc, const RECT& rect) = 0;

  MouseMoveHandler OnMouseMove;
  MouseButtonHandler OnMouseDown;
  MouseButtonHandler OnMouseUp;
  NotifyHandler OnClick;
  NotifyHandler OnDblClick;

  // Called by the parent; x and y relative to the control's top-left corner.
  virtual void MouseMove(ShiftState shift, int x, int y);
  virtual void MouseDown(MouseButton button, ShiftState shift, int x, int y);
  virtual void MouseUp(MouseButton button, ShiftState shift, int x, int y);
  virtual void DblClick();
  // Whether the mouse hits this control at a point relative to it.
  virtual bool HitTest(int, int) const { return true; }

 private:
  Window* parent_;
  RECT bounds_{0, 0, 0, 0};
  bool visible_ = true;
  bool enabled_ = true;
};

}  // namespace forms

// Base of every window the forms layer makes: binds the C++ object to its
// HWND before the first message, reflects child notifications back to the
// child's object, and hosts windowless (graphic) controls.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace forms {

class GraphicControl;
class WinControl;

// The system made no window: the class asked for and its error code.
class WindowCreationError : public std::runtime_error {
 public:
  WindowCreationError(const std::wstring& class_name, DWORD error);
  DWORD Error() const { return error_; }

 private:
  DWORD error_;
};

enum class MouseButton { Left, Right, Middle };

// Shift state of a key or mouse event.
struct ShiftState {
  bool shift = false, ctrl = false, alt = false, left = false, right = false, middle = false;
  static ShiftState FromKeyboard();
  static ShiftState FromMouse(WPARAM wp);
};

using MouseMoveHandler = std::function<void(ShiftState, int x, int y)>;
using MouseButtonHandler = std::function<void(MouseButton, ShiftState, int x, int y)>;
using NotifyHandler = std::function<void()>;
using KeyHandler = std::function<void(WORD& key, ShiftState)>;   // set key to 0 to consume
using KeyPressHandler = std::function<void(char& ch)>;           // set ch to 0 to consume

// Runs the key handlers on a WM_KEYDOWN / WM_SYSKEYDOWN or WM_CHAR
// message's key and leaves what they made of it in wp; true when a handler
// used the key up (set it to 0). The windows are Unicode: a character is
// handed to OnKeyPress as the code page's one byte for it, and one the code
// page has no single byte for is not handed over.
bool RunKeyHandlers(UINT msg, WPARAM& wp, const KeyHandler& on_key_down, const KeyPressHandler& on_key_press);

// A window's text as its procedure gives it, however long.
std::wstring WideText(HWND hwnd);

class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return hwnd_; }

  // The object bound to a window made by this layer, or null.
  static Window* FromHandle(HWND hwnd);

  // The procedure this layer gave the window, a Unicode one. Foreign code
  // (a plug-in) may subclass a window of ours, with an ANSI procedure too;
  // before that code goes away the window gets this procedure back, and
  // with it its Unicode messages.
  WNDPROC OwnProcedure() const { return super_proc_ ? &Window::SubclassProc : &Window::StaticWndProc; }
  void RestoreProcedure();

  // Windowless controls painted and hit-tested by this window, bottom first.
  void AddGraphic(GraphicControl* control);
  void RemoveGraphic(GraphicControl* control);
  const std::vector<GraphicControl*>& Graphics() const { return graphics_; }
  // Where windowless controls are drawn from: the negative scroll offset.
  virtual POINT ContentOrigin() const { return POINT{0, 0}; }

  // Windowed children register here before their HWND exists, so that
  // notifications sent during their creation (WM_MEASUREITEM) find them.
  void RegisterChild(int id, WinControl* control);
  void UnregisterChild(int id);
  int NextChildId() { return next_child_id_++; }

  void Invalidate(bool erase = false);
  void Update();

  // Client area size.
  SIZE ClientSize() const;

 protected:
  struct CreateParams {
    DWORD ex_style = 0;
    const wchar_t* class_name = nullptr;  // null: this layer's own class
    std::string text;  // in the code page
    DWORD style = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HWND parent = nullptr;
    HMENU menu_or_id = nullptr;
    UINT class_style = CS_DBLCLKS;
    HBRUSH background = nullptr;
  };
  // Creates the window, a Unicode one; for system classes (BUTTON,
  // LISTBOX, ...) the window is subclassed so that its messages reach
  // WndProc too. Throws WindowCreationError when the system makes none.
  void CreateHandle(const CreateParams& params);
  void DestroyHandle();

  // Every message of the window. The default reflects child notifications,
  // drives windowless controls and then calls DefaultProc.
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);

  // Paints the windowless controls into dc (already clipped and origin set).
  void PaintGraphics(HDC dc, const RECT& update);
  // Answers WM_PAINT with `palette` (may be null) selected and realised in
  // the foreground: on a display with a palette, pictures then show that
  // palette's exact colours.
  void PaintThroughPalette(HPALETTE palette);
  // Windows that paint through a palette repaint when another window
  // changed the system palette and when they may realise theirs again;
  // true (with the answer in `result`) when `msg` was one of those.
  bool RepaintOnPaletteMessage(UINT msg, WPARAM wp, LRESULT& result);
  // The topmost visible windowless control at a client point, or null.
  GraphicControl* GraphicAt(POINT client) const;

  // Hooks for mouse events over the bare window (not over a graphic control).
  virtual void OnOwnMouseMove(ShiftState, int, int) {}
  virtual void OnOwnDblClick() {}

 private:
  static LRESULT CALLBACK StaticWndProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT SafeWndProc(UINT msg, WPARAM wp, LPARAM lp) noexcept;
  bool Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool RouteMouse(UINT msg, WPARAM wp, LPARAM lp);
  void Bind(HWND hwnd);

  HWND hwnd_ = nullptr;
  WNDPROC super_proc_ = nullptr;  // the system class's procedure when subclassed
  std::vector<GraphicControl*> graphics_;
  std::map<int, WinControl*> children_;
  int next_child_id_ = 100;
  GraphicControl* captured_ = nullptr;  // windowless control holding the mouse
};

}  // namespace forms

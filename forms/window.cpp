#include "forms/window.h"

#include <windowsx.h>

#include <algorithm>
#include <exception>
#include <unordered_map>

#include "base/handles.h"
#include "base/wide_text.h"
#include "forms/application.h"
#include "forms/control.h"

namespace forms {

namespace {

constexpr wchar_t kClassName[] = L"MorvaneWindow";

// Which object each bound window is. Not a window property: under Wine
// each look-up of one is a round trip to the server, and every message
// to a window of ours needs one.
class Bindings {
 public:
  Window* Find(HWND hwnd) {
    ::AcquireSRWLockShared(&lock_);
    const auto it = map_.find(hwnd);
    Window* w = it == map_.end() ? nullptr : it->second;
    ::ReleaseSRWLockShared(&lock_);
    return w;
  }
  // Runs inside window procedures, so it throws nothing: a window it
  // cannot record (no memory left) is left unbound, as a failed SetProp
  // would leave it.
  void Set(HWND hwnd, Window* w) noexcept {
    ::AcquireSRWLockExclusive(&lock_);
    try {
      if (w)
        map_[hwnd] = w;
      else
        map_.erase(hwnd);
    } catch (...) {
    }
    ::ReleaseSRWLockExclusive(&lock_);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::unordered_map<HWND, Window*> map_;
};

Bindings& Bound() {
  static Bindings bindings;
  return bindings;
}

// The object whose window is being created on this thread: messages that
// arrive before CreateWindowEx returns (WM_GETMINMAXINFO, WM_NCCREATE, ...)
// bind it to its HWND.
thread_local Window* t_creating = nullptr;

// The code page's single byte for a UTF-16 character, or 0 when it has none
// (a double-byte character, one it cannot say, half a surrogate pair).
char CodePageByte(WPARAM ch) {
  if (ch < 0x80) return static_cast<char>(ch);
  const wchar_t wide = static_cast<wchar_t>(ch);
  bool lossless = false;
  const std::string bytes = mv::AnsiFromWide(std::wstring_view(&wide, 1), &lossless);
  return lossless && bytes.size() == 1 ? bytes[0] : 0;
}

}  // namespace

ShiftState ShiftState::FromKeyboard() {
  ShiftState s;
  s.shift = ::GetKeyState(VK_SHIFT) < 0;
  s.ctrl = ::GetKeyState(VK_CONTROL) < 0;
  s.alt = ::GetKeyState(VK_MENU) < 0;
  return s;
}

ShiftState ShiftState::FromMouse(WPARAM wp) {
  ShiftState s;
  s.shift = (wp & MK_SHIFT) != 0;
  s.ctrl = (wp & MK_CONTROL) != 0;
  s.alt = ::GetKeyState(VK_MENU) < 0;
  s.left = (wp & MK_LBUTTON) != 0;
  s.right = (wp & MK_RBUTTON) != 0;
  s.middle = (wp & MK_MBUTTON) != 0;
  return s;
}

bool RunKeyHandlers(UINT msg, WPARAM& wp, const KeyHandler& on_key_down, const KeyPressHandler& on_key_press) {
  if ((msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && on_key_down) {
    WORD key = static_cast<WORD>(wp);
    on_key_down(key, ShiftState::FromKeyboard());
    wp = key;
    return key == 0;
  }
  if (msg == WM_CHAR && on_key_press) {
    const char byte = CodePageByte(wp);
    if (byte == 0) return false;
    char ch = byte;
    on_key_press(ch);
    if (ch == byte) return false;
    if (ch == 0) {
      wp = 0;
      return true;
    }
    const std::wstring wide = mv::WideFromAnsi(std::string_view(&ch, 1));
    wp = wide.size() == 1 ? wide[0] : static_cast<unsigned char>(ch);
    return false;
  }
  return false;
}

std::wstring WideText(HWND hwnd) {
  const int n = ::GetWindowTextLengthW(hwnd);
  if (n <= 0) return {};
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = ::GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

WindowCreationError::WindowCreationError(const std::wstring& class_name, DWORD error)
    : std::runtime_error("ウィンドウを作成できません（" + mv::AnsiFromWide(class_name) + "、エラー " +
                         std::to_string(error) + "）"),
      error_(error) {}

Window::Window() = default;

Window::~Window() { DestroyHandle(); }

Window* Window::FromHandle(HWND hwnd) {
  return hwnd ? Bound().Find(hwnd) : nullptr;
}

void Window::RestoreProcedure() {
  // Set through the W call: it makes the window Unicode again, should an
  // ANSI procedure have made it an ANSI one.
  if (hwnd_) ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OwnProcedure()));
}

void Window::Bind(HWND hwnd) {
  hwnd_ = hwnd;
  Bound().Set(hwnd, this);
}

void Window::CreateHandle(const CreateParams& p) {
  const wchar_t* cls = p.class_name;
  if (!cls) {
    static bool registered = false;
    if (!registered) {
      WNDCLASSEXW wc{sizeof(wc)};
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = &Window::StaticWndProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));  // an ordinal
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      wc.lpszClassName = kClassName;
      registered = ::RegisterClassExW(&wc) != 0;
    }
    cls = kClassName;
  }
  const std::wstring text = mv::WideFromAnsi(p.text);
  Window* outer = t_creating;
  t_creating = this;
  HWND hwnd = ::CreateWindowExW(p.ex_style, cls, text.c_str(), p.style, p.x, p.y, p.width, p.height, p.parent,
                                p.menu_or_id, ::GetModuleHandleW(nullptr), nullptr);
  t_creating = outer;
  if (!hwnd) throw WindowCreationError(cls, ::GetLastError());
  if (p.class_name) {
    // A system class: take its messages over, keeping its procedure (the
    // W call hands over its Unicode one).
    Bind(hwnd);
    super_proc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::SubclassProc)));
  }
}

void Window::DestroyHandle() {
  if (hwnd_) {
    HWND h = hwnd_;
    ::DestroyWindow(h);  // WM_NCDESTROY clears hwnd_
    if (hwnd_ == h) {
      Bound().Set(h, nullptr);
      hwnd_ = nullptr;
    }
  }
}

LRESULT CALLBACK Window::StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* self = FromHandle(hwnd);
  if (!self && t_creating && !t_creating->hwnd_) {
    self = t_creating;
    self->Bind(hwnd);
  }
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->SafeWndProc(msg, wp, lp);
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* self = FromHandle(hwnd);
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->SafeWndProc(msg, wp, lp);
}

// No exception may cross into the system: it is shown the way the
// application shows every unhandled exception, and the program goes on.
LRESULT Window::SafeWndProc(UINT msg, WPARAM wp, LPARAM lp) noexcept {
  LRESULT result = 0;
  try {
    result = WndProc(msg, wp, lp);
  } catch (...) {
    Application::Instance().HandleException(std::current_exception());
  }
  if (msg == WM_NCDESTROY) {
    Bound().Set(hwnd_, nullptr);
    hwnd_ = nullptr;
    super_proc_ = nullptr;
  }
  return result;
}

LRESULT Window::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (super_proc_) return ::CallWindowProcW(super_proc_, hwnd_, msg, wp, lp);
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT Window::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (Reflect(msg, wp, lp, result)) return result;
  if (!super_proc_) {
    if (RouteMouse(msg, wp, lp)) return 0;
    if (msg == WM_PAINT && !graphics_.empty()) {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd_, &ps);
      PaintGraphics(dc, ps.rcPaint);
      ::EndPaint(hwnd_, &ps);
      return 0;
    }
  }
  return DefaultProc(msg, wp, lp);
}

bool Window::Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  WinControl* child = nullptr;
  switch (msg) {
    case WM_COMMAND:
      if (lp) {
        // Tool bars send their buttons' commands with the bar's handle.
        child = dynamic_cast<WinControl*>(FromHandle(reinterpret_cast<HWND>(lp)));
        if (!child) {
          auto it = children_.find(LOWORD(wp));
          if (it != children_.end()) child = it->second;
        }
      }
      break;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      auto it = children_.find(static_cast<int>(hdr->idFrom));
      if (it != children_.end()) child = it->second;
      if (!child) child = dynamic_cast<WinControl*>(FromHandle(hdr->hwndFrom));
      if (!child) {
        // From a helper window of a child (a tool bar's tooltip): offer it
        // to every child.
        for (auto& [id, c] : children_)
          if (c->OnReflect(msg, wp, lp, result)) return true;
        return false;
      }
      break;
    }
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_COMPAREITEM:
    case WM_DELETEITEM:
      if (wp) {
        auto it = children_.find(static_cast<int>(wp));
        if (it != children_.end()) child = it->second;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      child = dynamic_cast<WinControl*>(FromHandle(reinterpret_cast<HWND>(lp)));
      break;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      child = dynamic_cast<WinControl*>(FromHandle(reinterpret_cast<HWND>(lp)));
      break;
    default:
      return false;
  }
  return child && child->OnReflect(msg, wp, lp, result);
}

bool Window::RouteMouse(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CAPTURECHANGED) {
    captured_ = nullptr;
    return false;
  }
  if (msg != WM_MOUSEMOVE && msg != WM_LBUTTONDOWN && msg != WM_LBUTTONUP && msg != WM_LBUTTONDBLCLK &&
      msg != WM_RBUTTONDOWN && msg != WM_RBUTTONUP)
    return false;
  POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  GraphicControl* target = captured_ ? captured_ : GraphicAt(pt);
  ShiftState shift = ShiftState::FromMouse(wp);
  if (!target) {
    if (msg == WM_MOUSEMOVE) OnOwnMouseMove(shift, pt.x, pt.y);
    if (msg == WM_LBUTTONDBLCLK) OnOwnDblClick();
    return msg == WM_MOUSEMOVE || msg == WM_LBUTTONDBLCLK;
  }
  RECT r = target->ClientRect();
  int x = pt.x - r.left, y = pt.y - r.top;
  switch (msg) {
    case WM_MOUSEMOVE:
      target->MouseMove(shift, x, y);
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      // The pressed control keeps the mouse until the button goes up,
      // so moves beyond its edges still reach it.
      captured_ = target;
      ::SetCapture(hwnd_);
      target->MouseDown(msg == WM_LBUTTONDOWN ? MouseButton::Left : MouseButton::Right, shift, x, y);
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      GraphicControl* t = target;
      captured_ = nullptr;
      if (::GetCapture() == hwnd_) ::ReleaseCapture();
      t->MouseUp(msg == WM_LBUTTONUP ? MouseButton::Left : MouseButton::Right, shift, x, y);
      break;
    }
    case WM_LBUTTONDBLCLK:
      // Taken before the handler runs: it may process pending messages (a
      // viewer opened by a double-click does), and the button-up among them
      // must find the capture to end it.
      captured_ = target;
      ::SetCapture(hwnd_);
      target->DblClick();
      // A button already up holds nothing: the mouse goes where it points.
      if (!(::GetKeyState(VK_LBUTTON) & 0x8000)) {
        if (captured_ == target) captured_ = nullptr;
        if (::GetCapture() == hwnd_) ::ReleaseCapture();
      }
      break;
  }
  return true;
}

void Window::AddGraphic(GraphicControl* control) { graphics_.push_back(control); }

void Window::RemoveGraphic(GraphicControl* control) {
  graphics_.erase(std::remove(graphics_.begin(), graphics_.end(), control), graphics_.end());
  if (captured_ == control) captured_ = nullptr;
}

void Window::RegisterChild(int id, WinControl* control) { children_[id] = control; }
void Window::UnregisterChild(int id) { children_.erase(id); }

GraphicControl* Window::GraphicAt(POINT client) const {
  for (auto it = graphics_.rbegin(); it != graphics_.rend(); ++it) {
    GraphicControl* g = *it;
    if (!g->Visible()) continue;
    RECT r = g->ClientRect();
    if (::PtInRect(&r, client) && g->HitTest(client.x - r.left, client.y - r.top)) return g;
  }
  return nullptr;
}

void Window::PaintGraphics(HDC dc, const RECT& update) {
  for (GraphicControl* g : graphics_) {
    if (!g->Visible()) continue;
    RECT r = g->ClientRect();
    RECT overlap;
    if (!::IntersectRect(&overlap, &r, &update)) continue;
    int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    g->Paint(dc, r);
    ::RestoreDC(dc, saved);
  }
}

void Window::PaintThroughPalette(HPALETTE palette) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd_, &ps);
  if (palette) ::SetSystemPaletteUse(dc, SYSPAL_STATIC);
  {
    mv::PaletteGuard use(dc, palette, FALSE);
    if (palette) ::RealizePalette(dc);
    PaintGraphics(dc, ps.rcPaint);
  }
  ::EndPaint(hwnd_, &ps);
}

bool Window::RepaintOnPaletteMessage(UINT msg, WPARAM wp, LRESULT& result) {
  if (msg == WM_PALETTECHANGED) {
    if (reinterpret_cast<HWND>(wp) != hwnd_) Invalidate(false);
    result = 0;
    return true;
  }
  if (msg == WM_QUERYNEWPALETTE) {
    Invalidate(false);
    result = TRUE;
    return true;
  }
  return false;
}

void Window::Invalidate(bool erase) {
  if (hwnd_) ::InvalidateRect(hwnd_, nullptr, erase);
}

void Window::Update() {
  if (hwnd_) ::UpdateWindow(hwnd_);
}

SIZE Window::ClientSize() const {
  RECT r{0, 0, 0, 0};
  if (hwnd_) ::GetClientRect(hwnd_, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace forms

#include "forms/form.h"

#include <vector>

#include "base/handles.h"
#include "base/wide_text.h"
#include "forms/application.h"
#include "forms/controls.h"
#include "forms/dropped_files.h"

namespace forms {

Form::Form() { Application::Instance().RegisterForm(this); }

Form::~Form() {
  Application::Instance().UnregisterForm(this);
  DestroyHandle();
}

void Form::CreateForm(const FormParams& p) {
  DWORD style = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | p.extra_style;
  DWORD ex_style = WS_EX_CONTROLPARENT;
  switch (p.border) {
    case BorderStyle::Sizeable:
      style |= WS_THICKFRAME;
      break;
    case BorderStyle::Single:
      break;
    case BorderStyle::Dialog:
      ex_style |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (p.minimize_box && p.border != BorderStyle::Dialog) style |= WS_MINIMIZEBOX;
  if (p.maximize_box && p.border != BorderStyle::Dialog) style |= WS_MAXIMIZEBOX;
  if (p.stay_on_top) ex_style |= WS_EX_TOPMOST;
  RECT r{0, 0, p.client_width, p.client_height};
  ::AdjustWindowRectEx(&r, style, FALSE, ex_style);
  CreateParams cp;
  cp.ex_style = ex_style;
  cp.text = p.caption;
  cp.style = style;
  cp.x = p.left;
  cp.y = p.top;
  cp.width = r.right - r.left;
  cp.height = r.bottom - r.top;
  cp.parent = p.owner;
  CreateHandle(cp);
}

bool Form::Showing() const { return Handle() && ::IsWindowVisible(Handle()); }

void Form::Show() {
  if (Showing()) {
    ::SetForegroundWindow(Handle());
    return;
  }
  // The show event runs before the window appears, so that it can size and
  // place the window first.
  if (OnShow) OnShow();
  int cmd = SW_SHOWNORMAL;
  if (pending_state_ == WindowState::Maximized) cmd = SW_SHOWMAXIMIZED;
  if (pending_state_ == WindowState::Minimized) cmd = SW_SHOWMINIMIZED;
  ::ShowWindow(Handle(), cmd);
  ::SetForegroundWindow(Handle());
}

void Form::Hide() {
  if (!Showing()) return;
  pending_state_ = State();
  ::ShowWindow(Handle(), SW_HIDE);
  if (OnHide) OnHide();
}

void Form::Close() {
  CloseAction action =
      Application::Instance().MainForm() == this ? CloseAction::Free : CloseAction::Hide;
  if (in_modal_) action = CloseAction::Hide;
  if (OnClose) OnClose(action);
  switch (action) {
    case CloseAction::None:
      return;
    case CloseAction::Hide:
      if (in_modal_) {
        if (modal_result_ == 0) modal_result_ = IDCANCEL;
      } else {
        Hide();
      }
      return;
    case CloseAction::Free:
      Hide();
      if (Application::Instance().MainForm() == this) Application::Instance().Terminate();
      return;
  }
}

int Form::ShowModal() {
  Application& app = Application::Instance();
  // Every other window of the program is disabled while this one runs.
  std::vector<HWND> disabled;
  for (HWND h = ::GetTopWindow(nullptr); h; h = ::GetNextWindow(h, GW_HWNDNEXT)) {
    DWORD pid = 0;
    if (h != Handle() && ::GetWindowThreadProcessId(h, &pid) == ::GetCurrentThreadId() &&
        ::IsWindowVisible(h) && ::IsWindowEnabled(h)) {
      ::EnableWindow(h, FALSE);
      disabled.push_back(h);
    }
  }
  ++app.modal_level;
  in_modal_ = true;
  modal_result_ = 0;
  Show();
  MSG msg;
  while (modal_result_ == 0 && !app.Terminated()) {
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      ::PostQuitMessage(0);
      break;
    }
    if (!app.PreTranslate(msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  for (HWND h : disabled) ::EnableWindow(h, TRUE);
  in_modal_ = false;
  --app.modal_level;
  Hide();
  int result = modal_result_;
  return result;
}

void Form::SetCaption(const std::string& caption) { SetCaption(mv::WideFromAnsi(caption)); }

void Form::SetCaption(const std::wstring& caption) { ::SetWindowTextW(Handle(), caption.c_str()); }

std::string Form::Caption() const { return mv::AnsiFromWide(WideText(Handle())); }

void Form::SetIcon(HICON icon) {
  icon_ = icon;
  ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

WindowState Form::State() const {
  if (!Showing()) return pending_state_;
  if (::IsZoomed(Handle())) return WindowState::Maximized;
  if (::IsIconic(Handle())) return WindowState::Minimized;
  return WindowState::Normal;
}

void Form::SetState(WindowState state) {
  pending_state_ = state;
  if (!Showing()) return;
  switch (state) {
    case WindowState::Normal:
      ::ShowWindow(Handle(), SW_RESTORE);
      break;
    case WindowState::Maximized:
      ::ShowWindow(Handle(), SW_MAXIMIZE);
      break;
    case WindowState::Minimized:
      ::ShowWindow(Handle(), SW_MINIMIZE);
      break;
  }
}

static RECT OuterRect(HWND h) {
  RECT r{0, 0, 0, 0};
  ::GetWindowRect(h, &r);
  return r;
}

int Form::Left() const { return OuterRect(Handle()).left; }
int Form::Top() const { return OuterRect(Handle()).top; }
int Form::Width() const {
  RECT r = OuterRect(Handle());
  return r.right - r.left;
}
int Form::Height() const {
  RECT r = OuterRect(Handle());
  return r.bottom - r.top;
}

void Form::SetPosition(int left, int top) {
  ::SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetClientSize(int width, int height) {
  if (::IsIconic(Handle())) {
    // A minimised window has no client area to measure: the size it
    // restores to is set instead, from its frame and menu bar.
    RECT want{0, 0, width, height};
    ::AdjustWindowRectEx(&want, static_cast<DWORD>(::GetWindowLongPtrW(Handle(), GWL_STYLE)),
                         ::GetMenu(Handle()) != nullptr, static_cast<DWORD>(::GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
    WINDOWPLACEMENT wp{sizeof(wp)};
    ::GetWindowPlacement(Handle(), &wp);
    wp.rcNormalPosition.right = wp.rcNormalPosition.left + (want.right - want.left);
    wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + (want.bottom - want.top);
    wp.showCmd = ::IsWindowVisible(Handle()) ? SW_SHOWMINNOACTIVE : SW_HIDE;
    ::SetWindowPlacement(Handle(), &wp);
    return;
  }
  // Keep whatever the frame, menu bar and scroll bars take now.
  RECT outer = OuterRect(Handle());
  SIZE client = ClientSize();
  int w = width + (outer.right - outer.left) - client.cx;
  int h = height + (outer.bottom - outer.top) - client.cy;
  ::SetWindowPos(Handle(), nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetMenu(std::unique_ptr<MainMenu> menu) {
  menu_ = std::move(menu);
  ::SetMenu(Handle(), menu_->Detach());
}

void Form::OnOwnMouseMove(ShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(shift, x, y);
}

void Form::OnOwnDblClick() {
  if (OnDblClick) OnDblClick();
}

namespace {
// Private to the forms' own window class.
constexpr UINT kPostedCallMessage = WM_APP + 0x100;
}  // namespace

void Form::SetAcceptFiles(bool on) { ::DragAcceptFiles(Handle(), on ? TRUE : FALSE); }

void Form::PostCall(std::function<void()> call) {
  const std::lock_guard<std::mutex> lock(posted_mutex_);
  posted_calls_.push_back(std::move(call));
  if (posted_calls_.size() == 1) ::PostMessageW(Handle(), kPostedCallMessage, 0, 0);
}

LRESULT Form::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kPostedCallMessage: {
      // Calls posted while these run wait for a message of their own.
      std::vector<std::function<void()>> calls;
      {
        const std::lock_guard<std::mutex> lock(posted_mutex_);
        calls.swap(posted_calls_);
      }
      for (auto& call : calls) call();
      return 0;
    }
    case WM_DROPFILES: {
      std::vector<std::wstring> paths;
      {
        // The drop is ended before the files load: the source waits for it.
        const mv::unique_hdrop drop(reinterpret_cast<HDROP>(wp));
        paths = DroppedFiles(drop.get());
      }
      if (OnDropFiles && !paths.empty()) OnDropFiles(paths);
      return 0;
    }
    case WM_CLOSE:
      Close();
      return 0;
    case WM_COMMAND:
      if (lp == 0 && menu_ && menu_->Dispatch(LOWORD(wp))) return 0;
      if (LOWORD(wp) == IDCANCEL && cancel_button_) {
        cancel_button_->Click();
        return 0;
      }
      break;
    case DM_GETDEFID:
      if (default_button_) return MAKELRESULT(default_button_->Id(), DC_HASDEFID);
      break;
    case WM_SIZE:
      if (OnResize) OnResize();
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = ::GetFocus();
        if (f && ::IsChild(Handle(), f)) last_focus_ = f;
      } else if (!HIWORD(wp)) {
        // Back to the control that last had the keyboard, if it still can
        // take it; otherwise the form itself.
        if (last_focus_ && ::IsWindow(last_focus_) && ::IsChild(Handle(), last_focus_) &&
            ::IsWindowVisible(last_focus_) && ::IsWindowEnabled(last_focus_))
          ::SetFocus(last_focus_);
        else
          ::SetFocus(Handle());
      }
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
      // A typed character goes nowhere after the form's own handler.
      if (RunKeyHandlers(msg, wp, OnKeyDown, OnKeyPress) || (msg == WM_CHAR && OnKeyPress)) return 0;
      break;
  }
  return Window::WndProc(msg, wp, lp);
}

}  // namespace forms


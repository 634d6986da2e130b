#include "forms/hint.h"

#include <commctrl.h>
#include <windowsx.h>

#include "base/wide_text.h"

namespace forms {

Hint::Hint(HWND tool) : tool_(tool) {
  tip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, tool,
                           nullptr, ::GetModuleHandleA(nullptr), nullptr);
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  // No TTF_SUBCLASS: the system's subclass would cost every message to
  // the tool two property look-ups; the tool relays its mouse instead.
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = ::GetParent(tool);
  ti.uId = reinterpret_cast<UINT_PTR>(tool);
  ti.lpszText = const_cast<char*>("");
  ::SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  // Paths can be long: let the tip wrap instead of running off the screen.
  ::SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, 600);
}

Hint::~Hint() {
  // The tip is owned by the tool's window and may have gone with it.
  if (tip_ && ::IsWindow(tip_)) ::DestroyWindow(tip_);
}

void Hint::SetText(const std::wstring& text) {
  text_ = text;
  // Wide, so that a path shows whatever its characters.
  TOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V1_SIZE;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = ::GetParent(tool_);
  ti.uId = reinterpret_cast<UINT_PTR>(tool_);
  ti.lpszText = const_cast<wchar_t*>(text_.c_str());
  ::SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Hint::SetText(const std::string& text) { SetText(mv::WideFromAnsi(text)); }

void Hint::SetActive(bool active) {
  active_ = active;
  ::SendMessageA(tip_, TTM_ACTIVATE, active, 0);
}

void Hint::Relay(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      break;
    default:
      return;
  }
  const DWORD pos = ::GetMessagePos();
  MSG m{tool_, msg, wp, lp, static_cast<DWORD>(::GetMessageTime()), {GET_X_LPARAM(pos), GET_Y_LPARAM(pos)}};
  ::SendMessageA(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

}  // namespace forms

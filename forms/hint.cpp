#include "forms/hint.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "base/wide_text.h"

namespace forms {

Hint::Hint(HWND tool) : tool_(tool) {
  tip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, tool,
                           nullptr, ::GetModuleHandleW(nullptr), nullptr);
  TOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V1_SIZE;
  // No TTF_SUBCLASS: the system's subclass would cost every message to
  // the tool two property look-ups; the tool relays its mouse instead.
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = ::GetParent(tool);
  ti.uId = reinterpret_cast<UINT_PTR>(tool);
  ti.lpszText = const_cast<wchar_t*>(L"");
  ::SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  // Paths can be long: let the tip wrap instead of running off the screen.
  ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
}

Hint::~Hint() {
  // The tip is owned by the tool's window and may have gone with it.
  if (tip_ && ::IsWindow(tip_)) ::DestroyWindow(tip_);
}

namespace {

// The tip breaks lines only at spaces: a path is broken here into lines no
// wider than `width` in the tip's font, after a separator where one falls
// in the line, else after as many characters as fit.
std::wstring BrokenToWidth(HWND tip, const std::wstring& text, int width) {
  HDC dc = ::GetDC(tip);
  if (!dc) return text;
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(tip, WM_GETFONT, 0, 0)));
  std::wstring out;
  std::size_t start = 0;
  while (start < text.size()) {
    const int left = static_cast<int>(text.size() - start);
    int fit = left;
    SIZE size{};
    ::GetTextExtentExPointW(dc, text.c_str() + start, left, width, &fit, nullptr, &size);
    if (fit >= left) {
      out.append(text, start, std::wstring::npos);
      break;
    }
    std::size_t n = static_cast<std::size_t>(std::max(fit, 1));
    // Never between the halves of a surrogate pair.
    if (n > 1 && text[start + n - 1] >= 0xD800 && text[start + n - 1] <= 0xDBFF) --n;
    const std::size_t sep = text.find_last_of(L"\\/ ", start + n - 1);
    if (sep != std::wstring::npos && sep > start) n = sep + 1 - start;
    out.append(text, start, n);
    out += L"\r\n";
    start += n;
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(tip, dc);
  return out;
}

}  // namespace

void Hint::SetText(const std::wstring& text) {
  text_ = text;
  // Within the screen the tip comes up on, however long the path.
  const HMONITOR monitor = ::MonitorFromWindow(tool_, MONITOR_DEFAULTTONEAREST);
  MONITORINFO mi{sizeof mi};
  const int screen =
      ::GetMonitorInfoW(monitor, &mi) ? mi.rcWork.right - mi.rcWork.left : ::GetSystemMetrics(SM_CXSCREEN);
  // Room for the tip's frame and margins.
  const int width = std::min(kMaxTipWidth, screen - 32);
  ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, width);
  shown_ = BrokenToWidth(tip_, text_, width - 8);
  TOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V1_SIZE;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = ::GetParent(tool_);
  ti.uId = reinterpret_cast<UINT_PTR>(tool_);
  ti.lpszText = const_cast<wchar_t*>(shown_.c_str());
  ::SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void Hint::SetText(const std::string& text) { SetText(mv::WideFromAnsi(text)); }

void Hint::SetActive(bool active) {
  active_ = active;
  ::SendMessageW(tip_, TTM_ACTIVATE, active, 0);
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
  ::SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

}  // namespace forms

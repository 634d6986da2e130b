#include "forms/hint.h"

#include <commctrl.h>

namespace forms {

Hint::Hint(HWND tool) : tool_(tool) {
  tip_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, tool,
                           nullptr, ::GetModuleHandleA(nullptr), nullptr);
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
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

void Hint::SetText(const std::string& text) {
  text_ = text;
  TOOLINFOA ti{};
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  ti.uFlags = TTF_IDISHWND;
  ti.hwnd = ::GetParent(tool_);
  ti.uId = reinterpret_cast<UINT_PTR>(tool_);
  ti.lpszText = const_cast<char*>(text_.c_str());
  ::SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&ti));
}

void Hint::SetActive(bool active) {
  active_ = active;
  ::SendMessageA(tip_, TTM_ACTIVATE, active, 0);
}

}  // namespace forms

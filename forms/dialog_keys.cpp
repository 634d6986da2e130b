#include "forms/dialog_keys.h"

#include <cctype>
#include <string>

namespace forms {
namespace {

bool Down(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

// The letter after the single "&" of a caption, upper case; 0 for none.
char Mnemonic(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;  // "&&" is a plain ampersand
      continue;
    }
    return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i + 1])));
  }
  return 0;
}

struct MnemonicSearch {
  char key;
  HWND found = nullptr;
};

BOOL CALLBACK FindButton(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<MnemonicSearch*>(p);
  char cls[16] = {};
  ::GetClassNameA(w, cls, sizeof cls);
  if (::lstrcmpiA(cls, "Button") != 0 || !::IsWindowVisible(w) || !::IsWindowEnabled(w)) return TRUE;
  std::string caption(static_cast<std::size_t>(::GetWindowTextLengthA(w)) + 1, '\0');
  caption.resize(static_cast<std::size_t>(::GetWindowTextA(w, caption.data(), static_cast<int>(caption.size()))));
  if (Mnemonic(caption) != s->key) return TRUE;
  s->found = w;
  return FALSE;
}

}  // namespace

bool HandleNavigationKey(HWND form, const MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !Down(VK_CONTROL) && !Down(VK_MENU)) {
    HWND focus = ::GetFocus();
    if (focus && !::IsChild(form, focus)) focus = nullptr;
    // A control that takes Tab itself keeps it.
    if (focus && (::SendMessageA(focus, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTTAB))
      return false;
    if (HWND next = ::GetNextDlgTabItem(form, focus, Down(VK_SHIFT))) ::SetFocus(next);
    return true;
  }
  if (msg.message == WM_SYSCHAR) {
    MnemonicSearch search{static_cast<char>(std::toupper(static_cast<int>(msg.wParam & 0xFF)))};
    if (search.key == 0) return false;
    ::EnumChildWindows(form, &FindButton, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;  // the menu's mnemonics, then
    ::SendMessageA(search.found, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

}  // namespace forms

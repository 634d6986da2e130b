#include "forms/dialog_keys.h"

#include <cwctype>
#include <string>

#include "forms/window.h"

namespace forms {
namespace {

bool Down(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

// The character after the single "&" of a caption, upper case; 0 for none.
wchar_t Mnemonic(const std::wstring& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;  // "&&" is a plain ampersand
      continue;
    }
    return static_cast<wchar_t>(std::towupper(caption[i + 1]));
  }
  return 0;
}

struct MnemonicSearch {
  wchar_t key;
  HWND found = nullptr;
};

BOOL CALLBACK FindButton(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<MnemonicSearch*>(p);
  wchar_t cls[16] = {};
  ::GetClassNameW(w, cls, static_cast<int>(std::size(cls)));
  if (::lstrcmpiW(cls, L"Button") != 0 || !::IsWindowVisible(w) || !::IsWindowEnabled(w)) return TRUE;
  if (Mnemonic(WideText(w)) != s->key) return TRUE;
  s->found = w;
  return FALSE;
}

}  // namespace

bool HandleNavigationKey(HWND form, const MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !Down(VK_CONTROL) && !Down(VK_MENU)) {
    HWND focus = ::GetFocus();
    if (focus && !::IsChild(form, focus)) focus = nullptr;
    // A control that takes Tab itself keeps it.
    if (focus && (::SendMessageW(focus, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTTAB))
      return false;
    if (HWND next = ::GetNextDlgTabItem(form, focus, Down(VK_SHIFT))) ::SetFocus(next);
    return true;
  }
  if (msg.message == WM_SYSCHAR) {
    // The forms' windows are Unicode: the key is a UTF-16 character.
    MnemonicSearch search{static_cast<wchar_t>(std::towupper(static_cast<wint_t>(msg.wParam & 0xFFFF)))};
    if (search.key == 0) return false;
    ::EnumChildWindows(form, &FindButton, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;  // the menu's mnemonics, then
    ::SendMessageW(search.found, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

}  // namespace forms

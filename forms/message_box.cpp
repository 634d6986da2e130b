#include "forms/message_box.h"

#include <utility>

#include "base/wide_text.h"

namespace forms {

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}
int g_open = 0;
}  // namespace

int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  return ShowMessageBox(owner, mv::WideFromAnsi(text), caption, flags);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::string& caption, UINT flags) {
  MessageBoxRequest request{owner, mv::AnsiFromWide(text), text, caption, flags};
  ++g_open;
  struct Closer {
    ~Closer() { --g_open; }
  } closer;
  if (Hook()) return Hook()(request);
  return ::MessageBoxW(owner, text.c_str(), mv::WideFromAnsi(caption).c_str(), flags);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) { return std::exchange(Hook(), std::move(hook)); }

int OpenMessageBoxes() { return g_open; }

}  // namespace forms

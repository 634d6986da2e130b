// Every modal message box of the program goes through here, so that tests
// can see and answer them; by default it is MessageBoxW.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace forms {

struct MessageBoxRequest {
  HWND owner = nullptr;
  std::string text;       // in the code page, '?' for what it cannot say
  std::wstring wide_text;  // as shown
  std::string caption;
  UINT flags = MB_OK;
};

using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;

// Shows a modal message box (or hands it to the hook) and returns the button.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);
// The same for a text that holds names the code page may not say.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::string& caption, UINT flags);

// Replaces the hook; an empty hook restores MessageBoxW. Returns the old one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// How many modal message boxes are up right now.
int OpenMessageBoxes();

}  // namespace forms

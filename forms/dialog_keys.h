// The keys that move around a dialog, for forms that are not dialogs: Tab
// and Shift+Tab between the controls, Alt with a button's mnemonic. Enter,
// Esc, the arrows and plain letters stay with the form's own handlers,
// which a dialog's handling would take from them.
#pragma once

#include <windows.h>

namespace forms {

// Handles msg for the form when it is one of those keys; true when used.
bool HandleNavigationKey(HWND form, const MSG& msg);

}  // namespace forms

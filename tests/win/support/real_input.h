// The user's own road: pointer moves and clicks sent through the system's
// input queue (SendInput), so that capture, activation and double-click
// timing are the system's, not a test's shortcut.
#pragma once

#include <windows.h>

namespace mvtest {

// Moves the pointer to (x, y) in w's client area.
void PointerTo(HWND w, int x, int y);
// Moves there and clicks the left button `clicks` times (2: a double-click).
void ClickAt(HWND w, int x, int y, int clicks = 1);

}  // namespace mvtest

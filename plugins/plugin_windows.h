// Windows that a failed plug-in leaves behind. A plug-in that faults inside
// its own modal dialog leaves that dialog alive, with a window procedure in
// the library, and its owner disabled; freeing the library then would make
// the next message to that window crash outside any guard.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace spi {

// The top-level windows of this thread, and whether each was enabled.
using ThreadWindows = std::vector<std::pair<HWND, bool>>;
ThreadWindows SnapshotThreadWindows();

// After a plug-in call faulted: destroys the top-level windows of this
// thread that were not there before the call (without running their
// procedures), and enables again every window of before that was enabled
// then and is disabled now.
void RestoreThreadWindows(const ThreadWindows& before);

// Destroys this thread's windows that belong to one of the modules (their
// procedure or instance lies in it), without running their procedures.
// For each module: true when no window of it is left in the process; only
// then may it be freed.
std::vector<bool> ReleaseWindowsOf(const std::vector<HMODULE>& modules);

}  // namespace spi

// Windows that a failed plug-in leaves behind. A plug-in that faults inside
// its own modal dialog leaves that dialog alive, with a window procedure in
// the library, and its owner disabled; freeing the library then would make
// the next message to that window crash outside any guard.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "susie/plugin_image.h"

namespace spi {

// The top-level windows of this thread, and whether each was enabled.
using ThreadWindows = std::vector<std::pair<HWND, bool>>;
ThreadWindows SnapshotThreadWindows();

// After a plug-in call faulted: destroys the top-level windows of this
// thread that were not there before the call (without running their
// procedures), and enables again every window of before that was enabled
// then and is disabled now.
void RestoreThreadWindows(const ThreadWindows& before);

// Destroys this thread's windows that belong to one of the libraries (their
// procedure or instance lies in its recorded range), without running their
// procedures. A window of ours is never destroyed: if a library replaced
// its procedure, it gets ours back, and no library is freed this time (the
// message that asked for this may be passing through that procedure now,
// and on through any other library's it chained to).
// The range of a library that is gone and whose place another now holds
// is left alone: its windows cannot be told from the other's.
// For each library: true when it is still the one loaded and nothing of
// it is left in use; only then may it be freed.
std::vector<bool> ReleaseWindowsOf(const std::vector<LoadedImage>& images);

}  // namespace spi

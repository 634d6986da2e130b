// Making and tearing down the program's three windows, in the order the
// program starts them. The entry point and the tests share this.
#pragma once

namespace app {

// Application title, then the main window, the preview window and the
// palette viewer; the last two stay hidden.
void CreateForms();
// Destroys the windows (the main window's close has run or runs now).
void DestroyForms();

}  // namespace app

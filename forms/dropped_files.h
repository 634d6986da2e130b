// Files dropped from the shell on a window that accepts them.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace forms {

// The dropped paths, in the order the drop lists them; any length.
std::vector<std::wstring> DroppedFiles(HDROP drop);

}  // namespace forms

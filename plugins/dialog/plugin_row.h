// The text of one row of the plug-in list: file name and extension filter
// right-aligned in 18 bytes each, then the description.
#pragma once

#include <string>

namespace mv {

// Same as printf's "%18s %18s    %s": longer texts are not cut, and a
// double-byte character counts as two bytes.
std::string FormatPluginRow(const std::string& file_name, const std::string& filter, const std::string& description);

}  // namespace mv

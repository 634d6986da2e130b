// The name a plug-in's ANSI IsSupported is told a file is called. It
// should open the same file, though the ANSI interface cannot say every
// name the file system can, nor open a path of MAX_PATH characters or more.
#pragma once

#include <string>

namespace spi {

// The path itself when the code page can say it and it is short enough to
// open; else its short (8.3) form when that exists, can be said and is
// short enough; else the path (with '?' for what cannot be said): plug-ins
// decide by the bytes they are handed.
std::string PluginNameFor(const std::wstring& path);

}  // namespace spi

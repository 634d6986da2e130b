// Opening a file to read it, by the path the file system has for it: the
// wide API reaches every name, the code page's only some.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"

namespace mv {

// Shared for reading with others that only read; empty when it cannot open.
inline unique_file OpenForReading(const std::wstring& path) {
  return unique_file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace mv

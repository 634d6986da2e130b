// Opening a file to read it, by the path the file system has for it: the
// wide API reaches every name, the code page's only some.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"
#include "base/long_path.h"

namespace mv {

// The path as the wide file calls take it at any length: a long one made
// full (".", "..", "/" resolved) and given its "\\?\" form.
inline std::wstring FileCallPath(const std::wstring& path) {
  if (path.size() < kPlainPathLimit) return path;
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  return ExtendedLengthPath(full);
}

// Shared for reading with others that only read; empty when it cannot open.
inline unique_file OpenForReading(const std::wstring& path) {
  return unique_file(::CreateFileW(FileCallPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace mv

#include "forms/dropped_files.h"

namespace forms {

std::vector<std::wstring> DroppedFiles(HDROP drop) {
  std::vector<std::wstring> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  paths.reserve(count);
  for (UINT i = 0; i < count; ++i) {
    // Asked for its length first: a dropped path may pass MAX_PATH.
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::wstring path(length + 1, L'\0');
    const UINT got = ::DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(got < length ? got : length);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace forms

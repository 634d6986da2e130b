#include "app/folder_files.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

#include "base/file_pattern.h"
#include "base/handles.h"
#include "base/open_file.h"

namespace app {

std::vector<std::wstring> ImageFilesIn(const std::wstring& folder, const std::wstring& patterns) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  mv::unique_find search(::FindFirstFileExW(mv::FileCallPath(base + L"*").c_str(), FindExInfoBasic, &fd,
                                            FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!search) return {};
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring name = fd.cFileName;
    if (mv::MatchesAnyPattern(name, L"*.bmp;*.dib;*.rle") || mv::MatchesAnyPattern(name, patterns))
      names.push_back(name);
  } while (::FindNextFileW(search.get(), &fd));
  std::sort(names.begin(), names.end(),
            [](const std::wstring& a, const std::wstring& b) { return ::StrCmpLogicalW(a.c_str(), b.c_str()) < 0; });
  for (std::wstring& name : names) name.insert(0, base);
  return names;
}

}  // namespace app

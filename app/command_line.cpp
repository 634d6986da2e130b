#include "app/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/handles.h"

namespace app {
namespace {

std::wstring FullPath(const std::wstring& path) {
  // Asked for the length first: a path may pass MAX_PATH.
  const DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;  // left as given: its load reports it
  std::wstring full(need, L'\0');
  const DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  return full;
}

}  // namespace

std::vector<std::wstring> CommandLineFiles(const wchar_t* command_line) {
  std::vector<std::wstring> files;
  // An empty line would make the parser name this program: nothing to load.
  if (!command_line || !*command_line) return files;
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(command_line, &count);
  const mv::unique_hlocal owned(static_cast<HLOCAL>(args));
  for (int i = 1; args && i < count; ++i)
    if (args[i][0]) files.push_back(FullPath(args[i]));
  return files;
}

}  // namespace app

#include "tests/win/support/corpus.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "base/handles.h"
#include "tests/win/support/paths.h"

namespace mvtest {

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

bool IsDir(const std::string& dir) {
  const DWORD a = ::GetFileAttributesA(dir.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string CorpusDir(std::string* tried) {
  std::vector<std::string> candidates;
  if (const char* w = std::getenv("MORVANE_CORPUS_WIN"); w && *w) candidates.push_back(WithSlash(w));
  if (const char* u = std::getenv("MORVANE_CORPUS"); u && *u) {
    std::string p = u;
    if (p[0] == '/') {
      std::replace(p.begin(), p.end(), '/', '\\');
      p = "Z:" + p;
    }
    candidates.push_back(WithSlash(p));
  }
  // The tests run from <checkout>/<build>/tests; the corpus sits beside the checkout.
  candidates.push_back(ExeDir() + "..\\..\\..\\shared\\corpus\\bmpsuite\\");
  for (const auto& c : candidates) {
    if (tried) *tried += c + " ";
    if (IsDir(c + "g")) return c;
  }
  return {};
}

bool ReadAll(const std::string& path, std::string& out) {
  mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  const DWORD size = ::GetFileSize(f.get(), nullptr);
  out.assign(size, '\0');
  DWORD got = 0;
  return size == 0 || (::ReadFile(f.get(), out.data(), size, &got, nullptr) && got == size);
}

std::vector<std::string> BmpFiles(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + "*.bmp").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
  while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace mvtest

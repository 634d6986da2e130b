#include "tests/win/support/paths.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

#include "base/open_file.h"
#include "base/wide_text.h"

namespace mvtest {

std::string ExeDir() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      std::string path(buf.data(), n);
      return path.substr(0, path.find_last_of('\\') + 1);
    }
    buf.resize(buf.size() * 2);
  }
}

std::string FixtureDir() { return ExeDir() + "fixtures\\"; }
std::string FixtureDir32() { return ExeDir() + "fixtures32\\"; }

static void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA((dir + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = dir + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full + "\\");
      } else {
        ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(full.c_str());
      }
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryA(dir.c_str());
}

// In the temporary folder, not beside the tests: a test may build paths up
// to the system's limit, which a deep checkout would push past it. One
// folder per edition, as both may share a prefix.
static std::string ScratchRoot() {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetTempPathA(static_cast<DWORD>(buf.size()), buf.data());
    if (n == 0) throw std::runtime_error("no temporary folder");
    if (n < buf.size()) return std::string(buf.data(), n) + (sizeof(void*) == 8 ? "mvtest64\\" : "mvtest32\\");
    buf.resize(n + 1);
  }
}

std::string MakeScratchDir(const std::string& name) {
  const std::string root = ScratchRoot();
  ::CreateDirectoryA(root.c_str(), nullptr);
  // A folder still held open (a file dialog watching it) cannot go: then a
  // fresh sibling serves.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string dir = root + name;
    if (attempt) dir += '_' + std::to_string(attempt);
    dir += "\\";
    RemoveTree(dir);
    if (::CreateDirectoryA(dir.c_str(), nullptr)) return dir;
  }
  throw std::runtime_error("cannot create a scratch folder for " + name);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  WriteFileBytes(mv::WideFromAnsi(path), bytes);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = ::CreateFileW(mv::FileCallPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + mv::AnsiFromWide(path));
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(h);
  if (written != bytes.size()) throw std::runtime_error("short write " + mv::AnsiFromWide(path));
}

}  // namespace mvtest

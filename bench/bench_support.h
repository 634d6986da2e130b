// What the benchmarks share: a clock, chunked file writes, the
// process's committed memory counted region by region, and where plug-ins run.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/handles.h"
#include "plugins/settings_file.h"

namespace bench {

// Seconds from an arbitrary start, at the performance counter's resolution.
inline double Now() {
  static const double freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  ::QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / freq;
}

// Writes all of a buffer, in chunks a single WriteFile takes.
inline bool WriteAll(HANDLE f, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 64u << 20));
    DWORD written = 0;
    if (!::WriteFile(f, p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

// This program's folder, with its trailing backslash.
inline std::string ExeDir() {
  std::string path(MAX_PATH * 4, '\0');
  path.resize(::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of('\\') + 1);
}

inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  mv::unique_file f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  return f && WriteAll(f.get(), bytes.data(), bytes.size());
}

// Committed regions of one type (MEM_PRIVATE, MEM_MAPPED) summed with
// VirtualQuery: needs no counter the system may leave at 0 (Wine's
// PrivateUsage).
inline std::uint64_t CommittedBytes(DWORD type) {
  std::uint64_t total = 0;
  SYSTEM_INFO si;
  ::GetSystemInfo(&si);
  auto* at = static_cast<const std::uint8_t*>(si.lpMinimumApplicationAddress);
  while (at < static_cast<const std::uint8_t*>(si.lpMaximumApplicationAddress)) {
    MEMORY_BASIC_INFORMATION mbi{};
    if (::VirtualQuery(at, &mbi, sizeof mbi) == 0) break;
    if (mbi.State == MEM_COMMIT && mbi.Type == type) total += mbi.RegionSize;
    at = static_cast<const std::uint8_t*>(mbi.BaseAddress) + mbi.RegionSize;
  }
  return total;
}

inline std::uint64_t CommittedPrivateBytes() { return CommittedBytes(MEM_PRIVATE); }

// Where third-party plug-ins run for the hosts made from now on (by
// default in a worker process), through the program's settings file.
inline void RunPluginsHere(bool here) {
  ::WritePrivateProfileStringA(settings::kSectionSetting, settings::kKeyInProcess, here ? "1" : nullptr,
                               settings::SettingsPathFor(settings::ExecutablePath()).c_str());
}

}  // namespace bench

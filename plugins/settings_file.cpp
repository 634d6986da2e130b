#include "plugins/settings_file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/handles.h"
#include "base/sjis_path.h"

namespace settings {

std::string ExecutablePath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return std::string(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

std::string SettingsPathFor(const std::string& exe_path) {
  return mv::ExtractFileDir(exe_path) + "\\" + kFileName;
}

std::string ReadPluginDir(const std::string& settings_path) {
  char buf[260] = {};
  DWORD n = ::GetPrivateProfileStringA(kSectionSetting, kKeyPluginDir, "", buf, sizeof(buf), settings_path.c_str());
  return std::string(buf, n);
}

SusieRegistry ReadSusieRegistryPath(std::string& path) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSusieKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return SusieRegistry::NoKey;
  mv::unique_hkey key(raw);
  // 256 bytes with 255 offered, so the text always ends inside the buffer.
  char buf[256] = {};
  DWORD type = 0;
  DWORD size = 255;
  LONG rc = ::RegQueryValueExA(key.get(), kSusieValue, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  // Only a text value names a folder; a number or binary value is no path.
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return SusieRegistry::NoValue;
  path.assign(buf, strnlen(buf, sizeof(buf) - 1));
  return SusieRegistry::Found;
}

bool ReadPluginEnabled(const std::string& settings_path, const std::string& plugin_file_name) {
  return ::GetPrivateProfileIntA(kSectionPlugin, plugin_file_name.c_str(), 1, settings_path.c_str()) == 1;
}

bool ReadPluginsInProcess(const std::string& settings_path) {
  return ::GetPrivateProfileIntA(kSectionSetting, kKeyInProcess, 0, settings_path.c_str()) == 1;
}

int ReadHangSeconds(const std::string& settings_path) {
  // Read as text: the profile call's integer wraps at 32 bits, and a
  // number that wraps must not become a short limit.
  char buf[64] = {};
  ::GetPrivateProfileStringA(kSectionSetting, kKeyHangSeconds, "", buf, sizeof buf, settings_path.c_str());
  const char* p = buf;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p < '0' || *p > '9') return kDefaultHangSeconds;
  long long seconds = 0;
  for (; *p >= '0' && *p <= '9'; ++p) seconds = std::min<long long>(seconds * 10 + (*p - '0'), kMaxHangSeconds);
  return static_cast<int>(seconds);
}

int ReadDecoders(const std::string& settings_path) {
  const int set = static_cast<int>(::GetPrivateProfileIntA(kSectionSetting, kKeyDecoders, 0, settings_path.c_str()));
  if (set >= 1) return std::min(set, kMaxDecoders);
  SYSTEM_INFO si{};
  ::GetSystemInfo(&si);
  return std::clamp(static_cast<int>(si.dwNumberOfProcessors), 1, kMaxDecoders);
}

void WritePluginDir(const std::string& settings_path, const std::string& dir) {
  ::WritePrivateProfileStringA(kSectionSetting, kKeyPluginDir, dir.c_str(), settings_path.c_str());
}

void WritePluginEnabled(const std::string& settings_path, const std::string& plugin_file_name, bool enabled) {
  ::WritePrivateProfileStringA(kSectionPlugin, plugin_file_name.c_str(), enabled ? "1" : "0",
                               settings_path.c_str());
}

std::string DefaultPluginDir() {
  std::string dir = mv::ExtractFilePath(ExecutablePath());
  std::string from_registry;
  if (ReadSusieRegistryPath(from_registry) == SusieRegistry::Found) dir = from_registry;
  return dir;
}

}  // namespace settings

#include "susie/plugin_name.h"

#include <windows.h>

#include "base/long_path.h"
#include "base/open_file.h"
#include "base/wide_text.h"

namespace spi {

namespace {

// The 8.3 form of the path, asked through the form that reaches any
// length, and given back in the plain form; empty when there is none.
std::wstring ShortForm(const std::wstring& path) {
  const std::wstring asked = mv::FileCallPath(path);
  const DWORD need = ::GetShortPathNameW(asked.c_str(), nullptr, 0);
  if (need == 0) return {};  // the volume keeps no short names
  std::wstring short_path(need, L'\0');
  const DWORD got = ::GetShortPathNameW(asked.c_str(), short_path.data(), need);
  if (got == 0 || got >= need) return {};
  short_path.resize(got);
  if (path.starts_with(L"\\\\?\\")) return short_path;
  if (short_path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + short_path.substr(8);
  if (short_path.starts_with(L"\\\\?\\")) return short_path.substr(4);
  return short_path;
}

}  // namespace

std::string PluginNameFor(const std::wstring& path) {
  bool lossless = false;
  const std::string name = mv::AnsiFromWide(path, &lossless);
  // The ANSI file calls open fewer than MAX_PATH characters.
  if (lossless && path.size() < mv::kPlainPathLimit) return name;
  const std::wstring short_path = ShortForm(path);
  bool short_lossless = false;
  const std::string short_name = mv::AnsiFromWide(short_path, &short_lossless);
  if (short_path.empty() || !short_lossless) return name;
  // A name the code page cannot say takes any short form; one that is only
  // too long takes a short form that is short enough.
  return !lossless || short_path.size() < mv::kPlainPathLimit ? short_name : name;
}

}  // namespace spi

#include "plugins/plugin_name.h"

#include <windows.h>

#include "base/wide_text.h"

namespace spi {

std::string PluginNameFor(const std::wstring& path) {
  bool lossless = false;
  std::string name = mv::AnsiFromWide(path, &lossless);
  if (lossless) return name;
  const DWORD need = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (need == 0) return name;  // the volume keeps no short names
  std::wstring short_path(need, L'\0');
  const DWORD got = ::GetShortPathNameW(path.c_str(), short_path.data(), need);
  if (got == 0 || got >= need) return name;
  short_path.resize(got);
  std::string short_name = mv::AnsiFromWide(short_path, &lossless);
  return lossless ? short_name : name;
}

}  // namespace spi

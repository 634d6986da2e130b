#include "susie/plugin_library.h"

#include <cstring>

#include "base/fault_guard.h"
#include "susie/tls_room.h"

namespace spi {

namespace {
template <class Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
}  // namespace

PluginEntries ResolveEntries(HMODULE m) {
  PluginEntries e;
  e.GetPluginInfo = Resolve<SpiGetPluginInfo>(m, "GetPluginInfo");
  e.IsSupported = Resolve<SpiIsSupported>(m, "IsSupported");
  e.IsSupportedW = Resolve<SpiIsSupportedW>(m, "IsSupportedW");
  e.GetPictureInfo = Resolve<SpiGetPictureInfo>(m, "GetPictureInfo");
  e.GetPicture = Resolve<SpiGetPicture>(m, "GetPicture");
  e.GetPreview = Resolve<SpiGetPreview>(m, "GetPreview");
  e.GetArchiveInfo = Resolve<SpiGetArchiveInfo>(m, "GetArchiveInfo");
  e.GetFile = Resolve<SpiGetFile>(m, "GetFile");
  e.ConfigurationDlg = Resolve<SpiConfigurationDlg>(m, "ConfigurationDlg");
  return e;
}

bool FetchInfo(const PluginEntries& entries, int info_no, std::string& text) {
  text.clear();
  if (!entries.GetPluginInfo) return true;
  char buf[kInfoTextLimit + 64] = {};
  int written = 0;
  if (GuardedCall(written, entries.GetPluginInfo, info_no, static_cast<LPSTR>(buf), kInfoTextLimit).outcome ==
      CallOutcome::Faulted)
    return false;
  buf[kInfoTextLimit] = '\0';
  text.assign(buf, strnlen(buf, kInfoTextLimit));
  return true;
}

bool FetchFilters(const PluginEntries& entries, std::string& first, std::string& filters) {
  first.clear();
  filters.clear();
  // A plug-in names its formats in pairs, a filter then its name; a
  // limit keeps one that never ends its list from holding the load up.
  constexpr int kMaxFilters = 64;
  for (int n = kInfoFirstFilter; n < kInfoFirstFilter + 2 * kMaxFilters; n += 2) {
    std::string one;
    if (!FetchInfo(entries, n, one)) return false;
    if (one.empty()) break;
    if (filters.empty()) first = one;
    else filters += ';';
    filters += one;
  }
  return true;
}

LoadResult LoadPluginLibrary(const std::string& path, LoadedLibrary& out) {
  out = LoadedLibrary{};
  if (!TlsRoomFor(kTlsReserve)) {
    out.error = ERROR_NOT_ENOUGH_MEMORY;
    return LoadResult::NotLoaded;
  }
  out.module.reset(::LoadLibraryA(path.c_str()));
  if (!out.module) {
    out.error = ::GetLastError();
    return LoadResult::NotLoaded;
  }
  out.entries = ResolveEntries(out.module.get());
  if (!out.entries.Usable()) {
    out.error = ::GetLastError();
    out.module.reset();
    return LoadResult::NotPlugin;
  }
  out.image = RecordImage(out.module.get());
  if (!FetchInfo(out.entries, kInfoDescription, out.description) ||
      !FetchFilters(out.entries, out.filter, out.filters)) {
    out.description.clear();
    out.filter.clear();
    out.filters.clear();
    return LoadResult::Faulted;
  }
  return LoadResult::Loaded;
}

}  // namespace spi

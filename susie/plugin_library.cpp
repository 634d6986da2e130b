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
      !FetchInfo(out.entries, kInfoFirstFilter, out.filter)) {
    out.description.clear();
    out.filter.clear();
    return LoadResult::Faulted;
  }
  return LoadResult::Loaded;
}

}  // namespace spi

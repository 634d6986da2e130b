#include "plugins/plugin_library.h"

#include <cstring>

#include "plugins/fault_guard.h"

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

}  // namespace spi

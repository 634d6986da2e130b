#include "plugins/spi_ctrl.h"

#include <cstring>

#include "plugins/settings_file.h"

namespace {

// A plug-in's info text: offered 255 bytes of a larger zeroed buffer, so a
// plug-in that writes its terminator one byte late still cannot overrun
// us, and whatever it wrote ends within the limit.
std::string FetchInfo(SpiGetPluginInfo get_info, int info_no) {
  if (!get_info) return {};
  char buf[spi::kInfoTextLimit + 64] = {};
  get_info(info_no, buf, spi::kInfoTextLimit);
  buf[spi::kInfoTextLimit] = '\0';
  return std::string(buf, strnlen(buf, spi::kInfoTextLimit));
}

template <class Fn>
Fn Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

QvSpiCtrl::QvSpiCtrl() : PluginDir(settings::DefaultPluginDir()) { LoadPlugins(); }

QvSpiCtrl::QvSpiCtrl(const std::string& plugin_dir) : PluginDir(plugin_dir) { LoadPlugins(); }

QvSpiCtrl::~QvSpiCtrl() { UnloadPlugins(); }

void QvSpiCtrl::UnloadPlugins() {
  // Every library is freed before its record goes.
  for (auto& p : Plugins) p->Module.reset();
  Plugins.clear();
}

std::unique_ptr<QvSpiPlugin> QvSpiCtrl::LoadOne(const std::string& file_name) {
  auto plugin = std::make_unique<QvSpiPlugin>();
  // Paths are built to any length; a path the system cannot load simply
  // does not load.
  const std::string path = PluginDir + "\\" + file_name;
  plugin->Module.reset(::LoadLibraryA(path.c_str()));
  if (!plugin->Module) return nullptr;
  HMODULE m = plugin->Module.get();
  plugin->GetPluginInfo = Resolve<SpiGetPluginInfo>(m, "GetPluginInfo");
  plugin->IsSupported = Resolve<SpiIsSupported>(m, "IsSupported");
  plugin->GetPictureInfo = Resolve<SpiGetPictureInfo>(m, "GetPictureInfo");
  plugin->GetPicture = Resolve<SpiGetPicture>(m, "GetPicture");
  plugin->GetPreview = Resolve<SpiGetPreview>(m, "GetPreview");
  plugin->GetArchiveInfo = Resolve<SpiGetArchiveInfo>(m, "GetArchiveInfo");
  plugin->GetFile = Resolve<SpiGetFile>(m, "GetFile");
  plugin->ConfigurationDlg = Resolve<SpiConfigurationDlg>(m, "ConfigurationDlg");
  if (!plugin->IsSupported || !plugin->GetPicture) {
    // Not an import plug-in: nothing refers to it again, so it goes at once.
    plugin->ErrorCode = ::GetLastError();
    return nullptr;
  }
  plugin->Description = FetchInfo(plugin->GetPluginInfo, spi::kInfoDescription);
  plugin->ExtFilter = FetchInfo(plugin->GetPluginInfo, spi::kInfoFirstFilter);
  plugin->FileName = file_name;
  return plugin;
}

void QvSpiCtrl::LoadPlugins() {
  UnloadPlugins();
  const std::string pattern = PluginDir + "\\*.spi";
  WIN32_FIND_DATAA fd;
  mv::unique_find search(::FindFirstFileA(pattern.c_str(), &fd));
  if (!search) return;
  do {
    if (auto plugin = LoadOne(fd.cFileName)) Plugins.push_back(std::move(plugin));
  } while (::FindNextFileA(search.get(), &fd));
}

int QvSpiCtrl::ShowPluginConfig(int index, HWND parent) {
  if (index < 0 || index >= static_cast<int>(Plugins.size())) return spi::kNoFunction;
  QvSpiPlugin& p = *Plugins[static_cast<size_t>(index)];
  if (!p.ConfigurationDlg) return spi::kNoFunction;
  return p.ConfigurationDlg(parent, spi::kConfigSettings);
}

int __stdcall QvSpiCtrl::ProgressCallback(int, int, long) { return 0; }

#include "plugins/spi_ctrl.h"

#include <cstring>

#include "base/sjis_path.h"
#include "plugins/fault_guard.h"
#include "plugins/plugin_windows.h"
#include "plugins/settings_file.h"
#include "plugins/tls_room.h"

namespace {

// A plug-in's info text: offered 255 bytes of a larger zeroed buffer, so a
// plug-in that writes its terminator one byte late still cannot overrun
// us, and whatever it wrote ends within the limit.
bool FetchInfo(QvSpiPlugin& plugin, int info_no, std::string& text) {
  text.clear();
  if (!plugin.GetPluginInfo) return true;
  char buf[spi::kInfoTextLimit + 64] = {};
  int written = 0;
  if (spi::GuardedCall(written, plugin.GetPluginInfo, info_no, static_cast<LPSTR>(buf), spi::kInfoTextLimit).outcome ==
      spi::CallOutcome::Faulted)
    return false;
  buf[spi::kInfoTextLimit] = '\0';
  text.assign(buf, strnlen(buf, spi::kInfoTextLimit));
  return true;
}

// The plug-in file as the file system names it: the same file reached
// through another spelling of its folder ("dir", "dir\\", "DIR", a short
// name) gives the same key. Built from the name the system gave the
// library at its load: the library itself may be gone by now.
std::string FileKey(const QvSpiPlugin& plugin) {
  std::string key = plugin.Image.file.empty() ? plugin.FilePath : plugin.Image.file;
  // Doubled separators and "." go, then short names become long ones.
  std::string out(key.size() + MAX_PATH, '\0');
  DWORD n = ::GetFullPathNameA(key.c_str(), static_cast<DWORD>(out.size()), out.data(), nullptr);
  if (n > 0 && n < out.size()) key.assign(out.data(), n);
  out.assign(key.size() + MAX_PATH, '\0');
  n = ::GetLongPathNameA(key.c_str(), out.data(), static_cast<DWORD>(out.size()));
  if (n > 0 && n < out.size()) key.assign(out.data(), n);
  return mv::UpperAscii(key);
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
  // Every library is freed before its record goes, but never while a
  // window of its lives: such a library stays loaded for the rest of the
  // run. One that is no longer the library loaded (it freed itself) holds
  // no reference of ours any more.
  std::vector<spi::LoadedImage> images;
  for (auto& p : Plugins) images.push_back(p->Image);
  const std::vector<bool> may_free = spi::ReleaseWindowsOf(images);
  for (std::size_t i = 0; i < Plugins.size(); ++i) {
    if (may_free[i])
      Plugins[i]->Module.reset();
    else
      static_cast<void>(Plugins[i]->Module.release());
  }
  Plugins.clear();
}

std::unique_ptr<QvSpiPlugin> QvSpiCtrl::LoadOne(const std::string& file_name) {
  auto plugin = std::make_unique<QvSpiPlugin>();
  // Paths are built to any length; a path the system cannot load simply
  // does not load.
  const std::string path = PluginDir + "\\" + file_name;
  if (!spi::TlsRoomFor(spi::kTlsReserve)) return nullptr;  // it might abort the process
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
  plugin->FileName = file_name;
  plugin->FilePath = path;
  plugin->Image = spi::RecordImage(m);
  // The key costs a few system calls: only looked up once something faulted.
  if (!faulted_paths_.empty() && faulted_paths_.count(FileKey(*plugin))) {
    plugin->Faulted = true;  // it failed earlier in this run: not called again
    return plugin;
  }
  if (!FetchInfo(*plugin, spi::kInfoDescription, plugin->Description) ||
      !FetchInfo(*plugin, spi::kInfoFirstFilter, plugin->ExtFilter)) {
    plugin->Description.clear();
    plugin->ExtFilter.clear();
    NoteFault(*plugin);
  }
  return plugin;
}

bool QvSpiCtrl::LoadPlugins() {
  // The running call's plug-in would be freed under it.
  if (CallInProgress()) return false;
  const CallScope reload(*this);
  UnloadPlugins();
  const std::string pattern = PluginDir + "\\*" + spi::kPluginExtension;
  WIN32_FIND_DATAA fd;
  mv::unique_find search(::FindFirstFileA(pattern.c_str(), &fd));
  if (!search) return true;
  do {
    if (auto plugin = LoadOne(fd.cFileName)) Plugins.push_back(std::move(plugin));
  } while (::FindNextFileA(search.get(), &fd));
  return true;
}

int QvSpiCtrl::ShowPluginConfig(int index, HWND parent) {
  if (index < 0 || index >= static_cast<int>(Plugins.size())) return spi::kNoFunction;
  QvSpiPlugin& p = *Plugins[static_cast<size_t>(index)];
  if (!p.ConfigurationDlg || !Usable(p)) return spi::kNoFunction;
  const CallScope call(*this);
  int result = 0;
  const spi::ThreadWindows before = spi::SnapshotThreadWindows();
  if (spi::GuardedCall(result, p.ConfigurationDlg, parent, spi::kConfigSettings).outcome == spi::CallOutcome::Faulted) {
    // Its dialog may still be up, our windows disabled under it.
    spi::RestoreThreadWindows(before);
    NoteFault(p);
    throw PluginFaulted(p.FileName);
  }
  return result;
}

void QvSpiCtrl::NoteFault(QvSpiPlugin& plugin) {
  plugin.Faulted = true;
  faulted_paths_.insert(FileKey(plugin));
}

bool QvSpiCtrl::Usable(QvSpiPlugin& plugin) {
  if (plugin.Faulted) return false;
  if (spi::StillLoaded(plugin.Image)) return true;
  NoteFault(plugin);
  return false;
}

int __stdcall QvSpiCtrl::ProgressCallback(int, int, LONG_PTR) {
  spi::HostCallback ours;  // a fault in here is the program's, not the plug-in's
  return 0;
}

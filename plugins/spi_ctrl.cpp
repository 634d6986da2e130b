#include "plugins/spi_ctrl.h"

#include <cstring>

#include "base/sjis_path.h"
#include "plugins/fault_guard.h"
#include "plugins/plugin_windows.h"
#include "plugins/settings_file.h"
#include "plugins/tls_room.h"

namespace {

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
  // Each list gets workers of its own: the last list's go with it.
  for (auto& worker : workers_)
    if (worker) worker->Stop();
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
  plugin->SetEntries(spi::ResolveEntries(m));
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
  if (!spi::FetchInfo(plugin->Entries(), spi::kInfoDescription, plugin->Description) ||
      !spi::FetchInfo(plugin->Entries(), spi::kInfoFirstFilter, plugin->ExtFilter)) {
    plugin->Description.clear();
    plugin->ExtFilter.clear();
    NoteFault(*plugin);
  }
  return plugin;
}

int QvSpiCtrl::PlaceOf(const std::string& file_name) const {
  const std::string ext = mv::UpperAscii(mv::ExtractFileExt(file_name));
  const std::string own = mv::UpperAscii(spi::kPluginExtension);
  if (ext == own) {
    // Our own plug-in runs here; others of this edition in the worker, unless
    // the settings say otherwise.
    const bool bundled = mv::UpperAscii(file_name) == mv::UpperAscii(std::string(spi::kBundledPlugin) + own);
    return bundled || in_process_ ? 0 : spi::kEditionBits;
  }
  // The 64-bit edition also reads the 32-bit plug-ins, always in the 32-bit worker.
  if (spi::kEditionBits == 64 && ext == ".SPI") return 32;
  return -1;
}

bool QvSpiCtrl::LoadPlugins() {
  // The running call's plug-in would be freed under it.
  if (CallInProgress()) return false;
  const CallScope reload(*this);
  UnloadPlugins();
  const std::string settings_path = settings::SettingsPathFor(settings::ExecutablePath());
  in_process_ = settings::ReadPluginsInProcess(settings_path);
  std::vector<std::string> worker_names[2];
  // One pass over the folder: the list keeps the order the directory
  // search gives, whichever kind and wherever each plug-in runs.
  const std::string pattern = PluginDir + "\\*" + (spi::kEditionBits == 64 ? ".sp?" : spi::kPluginExtension);
  WIN32_FIND_DATAA fd;
  mv::unique_find search(::FindFirstFileA(pattern.c_str(), &fd));
  if (search) {
    do {
      const std::string name = fd.cFileName;
      const int place = PlaceOf(name);
      if (place < 0) continue;
      if (place == 0) {
        if (auto plugin = LoadOne(name)) Plugins.push_back(std::move(plugin));
        continue;
      }
      auto plugin = std::make_unique<QvSpiPlugin>();
      plugin->FileName = name;
      plugin->FilePath = PluginDir + "\\" + name;
      plugin->WorkerBits = place;
      std::vector<std::string>& names = worker_names[place == 64];
      plugin->WorkerIndex = static_cast<int>(names.size());
      // One that failed earlier in this run is listed but not loaded again.
      plugin->Faulted = !faulted_paths_.empty() && faulted_paths_.count(FileKey(*plugin));
      names.push_back(plugin->Faulted ? std::string() : name);
      Plugins.push_back(std::move(plugin));
    } while (::FindNextFileA(search.get(), &fd));
  }
  // A worker starts only for a list of its own; none runs for a folder
  // without third-party plug-ins.
  const DWORD hang_ms = static_cast<DWORD>(settings::ReadHangSeconds(settings_path)) * 1000;
  for (const int bits : {32, 64}) {
    const std::vector<std::string>& names = worker_names[bits == 64];
    if (names.empty()) continue;
    auto& worker = workers_[bits == 64];
    if (!worker) worker = std::make_unique<spi::WorkerHost>(bits);
    worker->SetHangLimit(hang_ms);
    std::vector<spi::WorkerLoaded> got;
    std::string why;
    if (worker->Load(PluginDir, names, got, why)) {
      ApplyWorkerLoad(bits, got, true);
    } else {
      for (auto& p : Plugins)
        if (p->WorkerBits == bits) p->LoadProblem = why;
    }
  }
  // Files the worker found to be no plug-in are not listed, as here.
  std::erase_if(Plugins, [](const auto& p) { return p->WorkerBits != 0 && p->WorkerIndex < 0; });
  return true;
}

void QvSpiCtrl::ApplyWorkerLoad(int bits, const std::vector<spi::WorkerLoaded>& got, bool first_load) {
  for (auto& p : Plugins) {
    if (p->WorkerBits != bits || p->Faulted || p->WorkerIndex < 0 ||
        static_cast<std::size_t>(p->WorkerIndex) >= got.size())
      continue;
    const spi::WorkerLoaded& g = got[static_cast<std::size_t>(p->WorkerIndex)];
    if (!first_load) {
      // A restarted worker must hold what the last one held.
      if (g.result != worker::LoadResult::Loaded) NoteFault(*p);
      continue;
    }
    switch (g.result) {
      case worker::LoadResult::Loaded:
        p->Description = g.description;
        p->ExtFilter = g.filter;
        p->HasConfig = g.hasConfig;
        break;
      case worker::LoadResult::Faulted:
        NoteFault(*p);
        break;
      default:
        p->ErrorCode = g.error;
        p->WorkerIndex = -1;  // no plug-in: dropped from the list
        break;
    }
  }
}

spi::WorkerHost* QvSpiCtrl::RunningWorker(int bits) {
  auto& worker = workers_[bits == 64];
  if (!worker) return nullptr;
  int culprit = -1;
  if (worker->Alive(culprit)) return worker.get();
  // It ended between calls: a thread its plug-in left running, say.
  for (auto& p : Plugins)
    if (p->WorkerBits == bits && p->WorkerIndex == culprit && culprit >= 0) NoteFault(*p);
  std::vector<spi::WorkerLoaded> got;
  std::string why;
  if (!worker->Restart(got, why)) {
    for (auto& p : Plugins)
      if (p->WorkerBits == bits) p->LoadProblem = why;
    return nullptr;
  }
  ApplyWorkerLoad(bits, got, false);
  return worker.get();
}

int QvSpiCtrl::ShowPluginConfig(int index, HWND parent) {
  if (index < 0 || index >= static_cast<int>(Plugins.size())) return spi::kNoFunction;
  QvSpiPlugin& p = *Plugins[static_cast<size_t>(index)];
  if (p.WorkerBits != 0) {
    if (!p.HasConfig || !Usable(p)) return spi::kNoFunction;
    const CallScope call(*this);
    spi::WorkerHost* worker = RunningWorker(p.WorkerBits);
    if (!worker || !Usable(p)) return spi::kNoFunction;
    const spi::ThreadWindows before = spi::SnapshotThreadWindows();
    int result = 0;
    switch (worker->Configure(p.WorkerIndex, parent, result)) {
      case spi::WorkerHost::Configured::Returned: return result;
      case spi::WorkerHost::Configured::NoDialog: return spi::kNoFunction;
      case spi::WorkerHost::Configured::Faulted: break;
    }
    // Its dialog, owned by ours, may have died with our window disabled.
    spi::RestoreThreadWindows(before);
    NoteFault(p);
    throw PluginFaulted(p.FileName);
  }
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
  // A worker started again later leaves it out.
  if (plugin.WorkerBits != 0)
    if (auto& worker = workers_[plugin.WorkerBits == 64]) worker->Drop(plugin.WorkerIndex);
}

bool QvSpiCtrl::Usable(QvSpiPlugin& plugin) {
  if (plugin.Faulted) return false;
  if (plugin.WorkerBits != 0) return plugin.LoadProblem.empty();
  if (spi::StillLoaded(plugin.Image)) return true;
  NoteFault(plugin);
  return false;
}

int __stdcall QvSpiCtrl::ProgressCallback(int, int, LONG_PTR) {
  spi::HostCallback ours;  // a fault in here is the program's, not the plug-in's
  return 0;
}

#include "plugins/spi_ctrl.h"

#include <algorithm>

#include "base/fault_guard.h"
#include "base/sjis_path.h"
#include "plugins/inprocess_site.h"
#include "plugins/plugin_windows.h"
#include "plugins/settings_file.h"
#include "plugins/worker_process.h"
#include "plugins/worker_site.h"

namespace {

// The plug-in file as the file system names it: the same file reached
// through another spelling of its folder ("dir", "dir\\", "DIR", a short
// name) gives the same key.
std::string FileKey(const QvSpiPlugin& plugin) {
  std::string key = plugin.FilePath;
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

std::function<std::unique_ptr<spi::WorkerChannel>(int bits)> QvSpiCtrl::MakeWorkerChannel =
    [](int bits) -> std::unique_ptr<spi::WorkerChannel> { return std::make_unique<spi::WorkerProcess>(bits); };

QvSpiCtrl::QvSpiCtrl() : PluginDir(settings::DefaultPluginDir()) { LoadPlugins(); }

QvSpiCtrl::QvSpiCtrl(const std::string& plugin_dir) : PluginDir(plugin_dir) { LoadPlugins(); }

QvSpiCtrl::~QvSpiCtrl() { UnloadPlugins(); }

void QvSpiCtrl::UnloadPlugins() {
  Plugins.clear();
  for (auto* site : {&here_, &workers_[0], &workers_[1]})
    if (*site) (*site)->Unload();
}

spi::PluginSite* QvSpiCtrl::Site(std::unique_ptr<spi::PluginSite>& slot, int worker_bits) {
  if (!slot) {
    if (worker_bits == 0) {
      slot = std::make_unique<spi::InProcessSite>(&QvSpiCtrl::ProgressCallback);
    } else {
      slot = std::make_unique<spi::WorkerSite>([worker_bits] { return MakeWorkerChannel(worker_bits); }, decoders_);
    }
    spi::PluginSite* site = slot.get();
    site->OnFault = [this, site](int index) { OnSiteFault(site, index); };
  }
  if (worker_bits != 0) {
    auto* workers = static_cast<spi::WorkerSite*>(slot.get());
    workers->SetHangLimit(hang_ms_);
    workers->SetPoolSize(decoders_);
  }
  return slot.get();
}

spi::PluginSite* QvSpiCtrl::SiteOf(const std::string& file_name) {
  const std::string ext = mv::UpperAscii(mv::ExtractFileExt(file_name));
  const std::string own = mv::UpperAscii(spi::kPluginExtension);
  if (ext == own) {
    // Our own plug-in runs here; others of this edition in the worker, unless
    // the settings say otherwise.
    const bool bundled = mv::UpperAscii(file_name) == mv::UpperAscii(std::string(spi::kBundledPlugin) + own);
    if (bundled || in_process_) return Site(here_, 0);
    return Site(workers_[spi::kEditionBits == 64], spi::kEditionBits);
  }
  // The 64-bit edition also reads the 32-bit plug-ins, always in the 32-bit worker.
  if (spi::kEditionBits == 64 && ext == ".SPI") return Site(workers_[0], 32);
  return nullptr;
}

bool QvSpiCtrl::LoadPlugins() {
  // The running call's plug-in would be freed under it.
  if (CallInProgress()) return false;
  const CallScope reload(*this);
  UnloadPlugins();
  const std::string settings_path = settings::SettingsPathFor(settings::ExecutablePath());
  in_process_ = settings::ReadPluginsInProcess(settings_path);
  hang_ms_ = static_cast<DWORD>(settings::ReadHangSeconds(settings_path)) * 1000;
  decoders_ = settings::ReadDecoders(settings_path);

  for (auto& w : workers_)
    if (w) static_cast<spi::WorkerSite*>(w.get())->SetPoolSize(decoders_);
  // One pass over the folder: the list keeps the order the directory
  // search gives, whichever kind and wherever each plug-in runs.
  struct Found {
    std::unique_ptr<QvSpiPlugin> plugin;
    bool faulted_before;
  };
  std::vector<Found> found;
  const std::string pattern = PluginDir + "\\*" + (spi::kEditionBits == 64 ? ".sp?" : spi::kPluginExtension);
  WIN32_FIND_DATAA fd;
  mv::unique_find search(::FindFirstFileA(pattern.c_str(), &fd));
  if (search) {
    do {
      const std::string name = fd.cFileName;
      spi::PluginSite* site = SiteOf(name);
      if (!site) continue;
      auto plugin = std::make_unique<QvSpiPlugin>();
      plugin->FileName = name;
      plugin->FilePath = PluginDir + "\\" + name;
      plugin->Site = site;
      // One that failed earlier in this run is listed, but not loaded again.
      bool faulted_before = false;
      {
        const std::lock_guard<std::mutex> lock(faults_);
        faulted_before = !faulted_paths_.empty() && faulted_paths_.count(FileKey(*plugin));
      }
      found.push_back({std::move(plugin), faulted_before});
    } while (::FindNextFileA(search.get(), &fd));
  }

  // Each site loads its share of the list at once.
  for (auto* slot : {&here_, &workers_[0], &workers_[1]}) {
    spi::PluginSite* site = slot->get();
    if (!site) continue;
    std::vector<std::string> names;
    std::vector<QvSpiPlugin*> members;
    for (Found& f : found) {
      if (f.plugin->Site != site) continue;
      f.plugin->SiteIndex = static_cast<int>(names.size());
      names.push_back(f.faulted_before ? std::string() : f.plugin->FileName);
      members.push_back(f.plugin.get());
    }
    // A worker starts only for a list of its own.
    if (names.empty()) continue;
    std::vector<spi::SiteLoaded> loaded;
    site->Load(PluginDir, names, loaded);
    for (std::size_t i = 0; i < members.size() && i < loaded.size(); ++i) {
      QvSpiPlugin& p = *members[i];
      const spi::SiteLoaded& l = loaded[i];
      if (names[i].empty()) {
        p.Faulted = true;
        continue;
      }
      if (!site->Problem().empty()) continue;  // listed, with the reason
      p.ErrorCode = l.error;
      p.HasConfig = l.has_config;
      switch (l.result) {
        case spi::LoadResult::Loaded:
          p.Description = l.description;
          p.ExtFilter = l.filter;
          p.Filters = l.filters;
          break;
        case spi::LoadResult::Faulted: NoteFault(p); break;
        default: p.SiteIndex = -1; break;  // no plug-in: not listed
      }
    }
  }
  for (Found& f : found)
    if (f.plugin->SiteIndex >= 0) Plugins.push_back(std::move(f.plugin));
  return true;
}

void QvSpiCtrl::OnSiteFault(spi::PluginSite* site, int index) {
  for (auto& p : Plugins)
    if (p->Site == site && p->SiteIndex == index) NoteFault(*p);
}

void QvSpiCtrl::NoteFault(QvSpiPlugin& plugin) {
  plugin.Faulted = true;
  const std::string key = FileKey(plugin);
  const std::lock_guard<std::mutex> lock(faults_);
  faulted_paths_.insert(key);
}

bool QvSpiCtrl::Usable(QvSpiPlugin& plugin) {
  // Callable may find it gone and report a fault: Faulted is read again.
  return !plugin.Faulted && plugin.Site && plugin.Site->Callable(plugin.SiteIndex) && !plugin.Faulted;
}

spi::Outcome QvSpiCtrl::DecodeWithPlugins(const std::wstring& path, mv::DecodedPicture& picture) {
  const CallScope call(*this);
  const auto eligible = [this](QvSpiPlugin& p) { return p.Enabled != 0 && Usable(p); };
  for (std::size_t i = 0; i < Plugins.size();) {
    if (!eligible(*Plugins[i])) {
      ++i;
      continue;
    }
    // The plug-ins that come next and run in the same place go together:
    // a worker is asked about them in one request.
    spi::PluginSite* site = Plugins[i]->Site;
    std::vector<int> run;
    for (; i < Plugins.size(); ++i) {
      QvSpiPlugin& next = *Plugins[i];
      if (!eligible(next)) continue;
      if (next.Site != site) break;
      run.push_back(next.SiteIndex);
    }
    switch (site->Decode(path, OwnerWindow, run, picture)) {
      case spi::Outcome::Decoded: return spi::Outcome::Decoded;
      case spi::Outcome::FileError: return spi::Outcome::FileError;
      default: break;
    }
  }
  return spi::Outcome::Declined;
}

int QvSpiCtrl::ShowPluginConfig(int index, HWND parent) {
  if (index < 0 || index >= static_cast<int>(Plugins.size())) return spi::kNoFunction;
  QvSpiPlugin& p = *Plugins[static_cast<size_t>(index)];
  if (!p.HasConfig || !Usable(p)) return spi::kNoFunction;
  const CallScope call(*this);
  const spi::ThreadWindows before = spi::SnapshotThreadWindows();
  int result = 0;
  switch (p.Site->Configure(p.SiteIndex, parent, result)) {
    case spi::PluginSite::Configured::Returned: return result;
    case spi::PluginSite::Configured::NoDialog: return spi::kNoFunction;
    case spi::PluginSite::Configured::Faulted: break;
  }
  // Its dialog may still be up, or have died, with our windows disabled
  // under it.
  spi::RestoreThreadWindows(before);
  NoteFault(p);
  throw PluginFaulted(p.FileName);
}

int __stdcall QvSpiCtrl::ProgressCallback(int, int, LONG_PTR) {
  spi::HostCallback ours;  // a fault in here is the program's, not the plug-in's
  return 0;
}

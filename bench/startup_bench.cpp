// Start-up with a full plug-in folder: QvSpiCtrl loading and unloading 100
// plug-ins, against a bare loop over the same files that does only
// LoadLibraryA, the eight GetProcAddress calls and FreeLibrary.
//
// The plug-ins are copies of the fixture mvt_good under 100 names, so each
// is a module of its own. They go to a scratch folder beside this program
// and are deleted at the end. Rounds of the host and of the bare loop
// alternate; the figures are medians. Then the steps the host adds to the
// bare loop are timed one by one over the same 100 modules, to show where a
// difference goes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/handles.h"
#include "base/sjis_path.h"
#include "bench/bench_support.h"
#include "plugins/fault_guard.h"
#include "plugins/plugin_windows.h"
#include "plugins/spi_ctrl.h"
#include "plugins/spi_interface.h"

using bench::Now;

namespace {

constexpr int kPlugins = 100;
constexpr int kRounds = 9;

// The entry points the host looks up, in its order.
constexpr const char* kEntries[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture",
                                    "GetPreview",    "GetArchiveInfo", "GetFile",     "ConfigurationDlg"};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string ExeDir() {
  char buf[MAX_PATH * 2];
  const DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  std::string path(buf, n);
  return path.substr(0, path.find_last_of('\\') + 1);
}

std::string PluginName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "p%03d%s", i, spi::kPluginExtension);
  return name;
}

// Deletes the plug-in copies a run (this one or an interrupted earlier one)
// left in the folder, then the folder.
void RemoveScratch(const std::string& dir) {
  for (int i = 0; i < kPlugins; ++i) ::DeleteFileA((dir + "\\" + PluginName(i)).c_str());
  ::RemoveDirectoryA(dir.c_str());
}

bool StillLoaded(const std::vector<std::string>& paths) {
  return std::any_of(paths.begin(), paths.end(), [](const auto& p) { return ::GetModuleHandleA(p.c_str()); });
}

// The bare loop's load: the library and its eight entry points. False when
// a library does not load or lacks an entry the host requires. `each`, when
// given, receives the seconds of every file.
bool LoadBare(const std::vector<std::string>& paths, std::vector<mv::unique_module>& out,
              std::vector<double>* each = nullptr) {
  bool ok = true;
  for (const auto& p : paths) {
    const double t = each ? Now() : 0;
    mv::unique_module m(::LoadLibraryA(p.c_str()));
    if (!m) {
      ok = false;
      continue;
    }
    FARPROC found[std::size(kEntries)];
    for (std::size_t e = 0; e < std::size(kEntries); ++e) found[e] = ::GetProcAddress(m.get(), kEntries[e]);
    if (each) each->push_back(Now() - t);
    ok = ok && found[1] && found[3];
    out.push_back(std::move(m));
  }
  return ok;
}

bool InfoOf(HMODULE m) {
  const auto get = reinterpret_cast<SpiGetPluginInfo>(reinterpret_cast<void*>(::GetProcAddress(m, "GetPluginInfo")));
  if (!get) return false;
  char buf[spi::kInfoTextLimit + 64] = {};
  int written = 0;
  return spi::GuardedCall(written, get, spi::kInfoDescription, static_cast<LPSTR>(buf), spi::kInfoTextLimit)
                 .outcome == spi::CallOutcome::Returned &&
         spi::GuardedCall(written, get, spi::kInfoFirstFilter, static_cast<LPSTR>(buf), spi::kInfoTextLimit)
                 .outcome == spi::CallOutcome::Returned;
}

}  // namespace

int main() {
  const std::string dir = ExeDir() + "startup_plugins";
  const std::string source = ExeDir() + "..\\tests\\fixtures\\mvt_good" + spi::kPluginExtension;
  RemoveScratch(dir);
  if (!::CreateDirectoryA(dir.c_str(), nullptr)) {
    std::printf("cannot create %s\n", dir.c_str());
    return 1;
  }
  std::vector<std::string> paths;
  for (int i = 0; i < kPlugins; ++i) {
    paths.push_back(dir + "\\" + PluginName(i));
    if (!::CopyFileA(source.c_str(), paths.back().c_str(), FALSE)) {
      std::printf("cannot copy %s to %s (error %lu)\n", source.c_str(), paths.back().c_str(), ::GetLastError());
      RemoveScratch(dir);
      return 1;
    }
  }
  std::printf("%d-bit edition: %d copies of mvt_good%s as %s ... %s in %s\\; %d rounds, alternating, medians\n",
              static_cast<int>(sizeof(void*) * 8), kPlugins, spi::kPluginExtension, PluginName(0).c_str(),
              PluginName(kPlugins - 1).c_str(), dir.c_str(), kRounds);

  int status = 0;
  auto broke = [&status](const char* what) {
    if (status == 0) std::printf("%s\n", what);
    status = 1;
  };

  // Both must see all 100 as separate modules, and give them all back,
  // before either is timed; the first round also warms the file cache.
  {
    auto host = std::make_unique<QvSpiCtrl>(dir);
    std::set<HMODULE> distinct;
    for (const auto& p : host->Plugins)
      if (!p->Faulted && !p->Description.empty()) distinct.insert(p->Module.get());
    if (distinct.size() != kPlugins) broke("the host did not load 100 separate plug-ins");
    host.reset();
    if (StillLoaded(paths)) broke("the host left plug-ins loaded");
    std::vector<mv::unique_module> bare;
    if (!LoadBare(paths, bare)) broke("the bare loop could not load a plug-in");
    distinct.clear();
    for (const auto& m : bare) distinct.insert(m.get());
    if (distinct.size() != kPlugins) broke("the bare loop did not get 100 separate modules");
    bare.clear();
    if (StillLoaded(paths)) broke("the bare loop left plug-ins loaded");
  }

  if (status == 0) {
    std::vector<double> hostLoad, hostFree, bareLoad, bareFree;
    for (int r = 0; r < kRounds && status == 0; ++r) {
      double t = Now();
      auto host = std::make_unique<QvSpiCtrl>(dir);
      hostLoad.push_back(Now() - t);
      const std::size_t loaded = host->Plugins.size();
      t = Now();
      host.reset();
      hostFree.push_back(Now() - t);
      if (loaded != kPlugins || StillLoaded(paths)) broke("a host round did not load and free all 100");

      std::vector<mv::unique_module> bare;
      bare.reserve(kPlugins);
      t = Now();
      const bool ok = LoadBare(paths, bare);
      bareLoad.push_back(Now() - t);
      t = Now();
      bare.clear();
      bareFree.push_back(Now() - t);
      if (!ok || StillLoaded(paths)) broke("a bare round did not load and free all 100");
    }
    if (status == 0) {
      const double hl = Median(hostLoad) * 1000, hf = Median(hostFree) * 1000;
      const double bl = Median(bareLoad) * 1000, bf = Median(bareFree) * 1000;
      std::printf("QvSpiCtrl(folder): construct (load %d) %8.2f ms, destroy (unload) %8.2f ms\n", kPlugins, hl, hf);
      std::printf("bare loop:  LoadLibraryA + 8 GetProcAddress %8.2f ms, FreeLibrary       %8.2f ms\n", bl, bf);
      std::printf("ratio host / bare: load %.2f, whole cycle %.2f (host %+.2f ms load, %+.2f ms unload)\n", hl / bl,
                  (hl + hf) / (bl + bf), hl - bl, hf - bf);
    }
  }

  // Where the difference goes: the host's own steps, over the same 100
  // modules loaded by the bare loop.
  if (status == 0) {
    const std::string pattern = dir + "\\*" + spi::kPluginExtension;
    std::vector<double> search, info, windows, firstTen, lastTen;
    for (int r = 0; r < kRounds && status == 0; ++r) {
      std::vector<mv::unique_module> bare;
      std::vector<double> each;
      if (!LoadBare(paths, bare, &each)) broke("the bare loop could not load a plug-in");
      if (each.size() != kPlugins) break;
      // Whether a load costs more with more modules already loaded.
      firstTen.push_back(std::accumulate(each.begin(), each.begin() + 10, 0.0) / 10);
      lastTen.push_back(std::accumulate(each.end() - 10, each.end(), 0.0) / 10);
      double t = Now();
      int found = 0;
      {
        WIN32_FIND_DATAA fd;
        mv::unique_find s(::FindFirstFileA(pattern.c_str(), &fd));
        if (s) do ++found; while (::FindNextFileA(s.get(), &fd));
      }
      search.push_back(Now() - t);
      t = Now();
      bool infoOk = true;
      for (const auto& m : bare) infoOk = InfoOf(m.get()) && infoOk;
      info.push_back(Now() - t);
      std::vector<spi::LoadedImage> modules;
      for (const auto& m : bare) modules.push_back(spi::RecordImage(m.get()));
      t = Now();
      const std::vector<bool> may_free = spi::ReleaseWindowsOf(modules);
      windows.push_back(Now() - t);
      const bool released = std::all_of(may_free.begin(), may_free.end(), [](bool b) { return b; });
      if (found != kPlugins || !infoOk || !released) broke("a step of the host failed on the bare loop's modules");
    }
    if (status == 0 && firstTen.size() == kRounds) {
      const double ms = 1000;
      std::printf("    the host's own steps, per %d: directory search %.2f ms, 2 guarded GetPluginInfo %.2f ms, "
                  "window check before unloading %.2f ms\n",
                  kPlugins, Median(search) * ms, Median(info) * ms, Median(windows) * ms);
      std::printf("    bare LoadLibraryA + 8 GetProcAddress: %.2f ms each for the first 10, %.2f ms each for the "
                  "last 10\n",
                  Median(firstTen) * ms, Median(lastTen) * ms);
    }
  }

  RemoveScratch(dir);
  if (::GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES) std::printf("could not remove %s\n", dir.c_str());
  return status;
}

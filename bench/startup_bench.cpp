// Start-up with a full plug-in folder: QvSpiCtrl loading and unloading 100
// plug-ins, against a bare loop over the same files that does only
// LoadLibraryA, the eight GetProcAddress calls and FreeLibrary.
//
// The plug-ins are copies of the fixture mvt_good under 100 names, so each
// is a module of its own. They go to a scratch folder beside this program
// and are deleted at the end. Each round runs in a process of its own, as
// start-up does: a 32-bit mvt_good (like any 32-bit plug-in built with
// MinGW-w64's static posix runtime) takes a thread-local storage index on
// every load and never gives it back, and a process has room for about
// 1,085 such loads. In a round the host and the bare loop take turns going
// first; the figures are medians over the rounds. Then the steps the host
// adds to the bare loop are timed one by one over the same 100 modules, to
// show where a difference goes.
//
//   morvane_startup_bench                                   the benchmark
//   morvane_startup_bench --round FOLDER host|bare OUTFILE  one round (run by the benchmark)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/fault_guard.h"
#include "base/handles.h"
#include "base/sjis_path.h"
#include "bench/bench_support.h"
#include "plugins/plugin_windows.h"
#include "plugins/spi_ctrl.h"
#include "susie/plugin_image.h"
#include "susie/spi_interface.h"
#include "susie/tls_room.h"
#include "worker/worker_serve.h"

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

std::string ExePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

std::string ExeDir() {
  const std::string path = ExePath();
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

// What one round measured, in seconds.
struct Round {
  double hostLoad = 0, hostFree = 0, bareLoad = 0, bareFree = 0;
  double search = 0, tls = 0, info = 0, windows = 0, firstTen = 0, lastTen = 0;
};

// One round, in this process: the host and the bare loop timed over the
// same files, then the host's own steps over the bare loop's modules.
// Writes the figures, or what broke, to `out`; 0 when all went right.
int RunRound(const std::string& dir, bool bare_first, const std::string& out) {
  std::vector<std::string> paths;
  for (int i = 0; i < kPlugins; ++i) paths.push_back(dir + "\\" + PluginName(i));
  std::ofstream report(out, std::ios::trunc);
  auto broke = [&](const char* what) {
    report << "broke: " << what << "\n";
    return 1;
  };

  Round r;
  auto host_pass = [&] {
    double t = Now();
    auto host = std::make_unique<QvSpiCtrl>(dir);
    r.hostLoad = Now() - t;
    std::set<HMODULE> distinct;
    for (const auto& p : host->Plugins)
      if (!p->Faulted && !p->Description.empty()) distinct.insert(::GetModuleHandleA(p->FilePath.c_str()));
    distinct.erase(nullptr);
    t = Now();
    host.reset();
    r.hostFree = Now() - t;
    return distinct.size() == kPlugins && !StillLoaded(paths);
  };
  auto bare_pass = [&] {
    std::vector<mv::unique_module> bare;
    bare.reserve(kPlugins);
    double t = Now();
    const bool ok = LoadBare(paths, bare);
    r.bareLoad = Now() - t;
    std::set<HMODULE> distinct;
    for (const auto& m : bare) distinct.insert(m.get());
    t = Now();
    bare.clear();
    r.bareFree = Now() - t;
    return ok && distinct.size() == kPlugins && !StillLoaded(paths);
  };
  const bool passes = bare_first ? bare_pass() && host_pass() : host_pass() && bare_pass();
  if (!passes) return broke("the host or the bare loop did not load 100 separate plug-ins and free them all");

  // Where the difference goes: the host's own steps, over the same 100
  // modules loaded by the bare loop.
  std::vector<mv::unique_module> bare;
  std::vector<double> each;
  if (!LoadBare(paths, bare, &each) || each.size() != kPlugins) return broke("the bare loop could not load a plug-in");
  // Whether a load costs more with more modules already loaded.
  r.firstTen = std::accumulate(each.begin(), each.begin() + 10, 0.0) / 10;
  r.lastTen = std::accumulate(each.end() - 10, each.end(), 0.0) / 10;
  double t = Now();
  int found = 0;
  {
    WIN32_FIND_DATAA fd;
    mv::unique_find s(::FindFirstFileA((dir + "\\*" + spi::kPluginExtension).c_str(), &fd));
    if (s) do ++found; while (::FindNextFileA(s.get(), &fd));
  }
  r.search = Now() - t;
  t = Now();
  bool room = true;
  for (int i = 0; i < kPlugins; ++i) room = spi::TlsRoomFor(spi::kTlsReserve) && room;
  r.tls = Now() - t;
  t = Now();
  bool infoOk = true;
  for (const auto& m : bare) infoOk = InfoOf(m.get()) && infoOk;
  r.info = Now() - t;
  std::vector<spi::LoadedImage> modules;
  for (const auto& m : bare) modules.push_back(spi::RecordImage(m.get()));
  t = Now();
  const std::vector<bool> may_free = spi::ReleaseWindowsOf(modules);
  r.windows = Now() - t;
  if (found != kPlugins || !room || !infoOk || !std::all_of(may_free.begin(), may_free.end(), [](bool b) { return b; }))
    return broke("a step of the host failed on the bare loop's modules");

  char line[512];
  std::snprintf(line, sizeof line, "%.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f\n", r.hostLoad, r.hostFree,
                r.bareLoad, r.bareFree, r.search, r.tls, r.info, r.windows, r.firstTen, r.lastTen);
  report << line;
  return report.good() ? 0 : 1;
}

// Runs one round in a new process of this program; false with the reason
// in `why` when it did not come back with figures.
bool RunRoundProcess(const std::string& dir, bool bare_first, Round& r, std::string& why) {
  const std::string out = dir + "\\round.txt";
  ::DeleteFileA(out.c_str());
  std::string cmd = '"' + ExePath() + "\" --round \"" + dir + "\" " + (bare_first ? "bare" : "host") + " \"" + out + '"';
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    why = "cannot start a round (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  mv::unique_handle process(pi.hProcess), thread(pi.hThread);
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process.get(), &code);
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  in.close();
  ::DeleteFileA(out.c_str());
  if (code == 0 && std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &r.hostLoad, &r.hostFree,
                               &r.bareLoad, &r.bareFree, &r.search, &r.tls, &r.info, &r.windows, &r.firstTen,
                               &r.lastTen) == 10)
    return true;
  why = "a round ended with exit code " + std::to_string(code) + (line.empty() ? "" : ": " + line);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (worker::StartedAsWorker()) worker::Serve();  // its plug-ins' worker
  if (argc == 5 && std::strcmp(argv[1], "--round") == 0)
    return RunRound(argv[2], std::strcmp(argv[3], "bare") == 0, argv[4]);

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
  std::printf("%d-bit edition: %d copies of mvt_good%s as %s ... %s in %s\\; %d rounds, each in a process of its "
              "own, medians\n",
              static_cast<int>(sizeof(void*) * 8), kPlugins, spi::kPluginExtension, PluginName(0).c_str(),
              PluginName(kPlugins - 1).c_str(), dir.c_str(), kRounds);

  // The host's own loading is what is measured: the plug-ins load in this
  // process, as the bare loop's do (the worker's start-up is measured by
  // the worker benchmark). The rounds read the setting beside this program.
  bench::RunPluginsHere(true);
  // A first round, not counted, warms the file cache.
  int status = 0;
  std::vector<double> hostLoad, hostFree, bareLoad, bareFree, search, tls, info, windows, firstTen, lastTen;
  for (int i = 0; i <= kRounds && status == 0; ++i) {
    Round r;
    std::string why;
    if (!RunRoundProcess(dir, i % 2 == 1, r, why)) {
      std::printf("%s\n", why.c_str());
      status = 1;
    } else if (i > 0) {
      hostLoad.push_back(r.hostLoad);
      hostFree.push_back(r.hostFree);
      bareLoad.push_back(r.bareLoad);
      bareFree.push_back(r.bareFree);
      search.push_back(r.search);
      tls.push_back(r.tls);
      info.push_back(r.info);
      windows.push_back(r.windows);
      firstTen.push_back(r.firstTen);
      lastTen.push_back(r.lastTen);
    }
  }
  if (status == 0) {
    const double ms = 1000;
    const double hl = Median(hostLoad) * ms, hf = Median(hostFree) * ms;
    const double bl = Median(bareLoad) * ms, bf = Median(bareFree) * ms;
    std::printf("QvSpiCtrl(folder): construct (load %d) %8.2f ms, destroy (unload) %8.2f ms\n", kPlugins, hl, hf);
    std::printf("bare loop:  LoadLibraryA + 8 GetProcAddress %8.2f ms, FreeLibrary       %8.2f ms\n", bl, bf);
    std::printf("ratio host / bare: load %.2f, whole cycle %.2f (host %+.2f ms load, %+.2f ms unload)\n", hl / bl,
                (hl + hf) / (bl + bf), hl - bl, hf - bf);
    std::printf("    the host's own steps, per %d: directory search %.2f ms, thread-storage room check %.2f ms, "
                "2 guarded GetPluginInfo %.2f ms, window check before unloading %.2f ms\n",
                kPlugins, Median(search) * ms, Median(tls) * ms, Median(info) * ms, Median(windows) * ms);
    std::printf("    bare LoadLibraryA + 8 GetProcAddress: %.2f ms each for the first 10, %.2f ms each for the "
                "last 10\n",
                Median(firstTen) * ms, Median(lastTen) * ms);
  }

  bench::RunPluginsHere(false);
  RemoveScratch(dir);
  if (::GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES) std::printf("could not remove %s\n", dir.c_str());
  return status;
}

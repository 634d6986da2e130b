// Plug-ins that run in worker processes: the list each worker holds, the
// requests that load it, decode a file through it and show a plug-in's
// settings dialog, and what to do when a worker dies or hangs. The site
// keeps a pool of workers, each holding the whole list and decoding one
// file at a time; it starts them as files need them, starts one again after
// its death, decides whom to blame and when to give up, and checks
// everything a worker answers before the program uses it.
#pragma once

#include <windows.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/plugin_site.h"
#include "plugins/worker_channel.h"
#include "worker/worker_protocol.h"

namespace spi {

class WorkerSite final : public PluginSite {
 public:
  using MakeChannel = std::function<std::unique_ptr<WorkerChannel>()>;
  // A pool of up to `pool_size` workers, each on a line `make` makes.
  WorkerSite(MakeChannel make, int pool_size);
  ~WorkerSite() override;

  // The first worker loads the list now; the others when files need them.
  bool Load(const std::string& folder, const std::vector<std::string>& names,
            std::vector<SiteLoaded>& loaded) override;
  // One request for the run of plug-ins, to a worker of the pool that is
  // free; a small file in the request itself, a larger one as a mapping
  // the worker maps. A plug-in that crashes or hangs its worker is reported
  // and the file goes on to the plug-ins after it in a new worker: the
  // other workers go on with their files. The worker's word on whom to
  // blame counts only for a plug-in the request named; after
  // kMaxBlindDeaths deaths with nobody to blame the run is passed over for
  // this file, and after kMaxDeathsPerFile deaths of any kind the file fails.
  Outcome Decode(const std::wstring& path, HWND owner, const std::vector<int>& plugins,
                 mv::DecodedPicture& picture) override;
  Configured Configure(int plugin, HWND parent, int& value) override;
  bool Callable(int plugin) override;
  void Unload() override;
  std::string Problem() const override;

  // Takes effect at the next Load.
  void SetPoolSize(int workers) { pool_size_ = workers < 1 ? 1 : workers; }
  void SetHangLimit(DWORD ms);

  static constexpr int kMaxBlindDeaths = 2;
  static constexpr int kMaxDeathsPerFile = 4;

 private:
  // A picture a worker made, checked: |height| bottom-up rows of
  // forms::StoredBits(bitCount) bits per pixel, `bytes` of them, in
  // `section` or (a small one) at `rows` in the mailbox.
  struct Checked {
    int plugin = -1;
    int width = 0, height = 0, bitCount = 0;
    std::uint32_t colorCount = 0;
    std::array<RGBQUAD, 256> colors{};
    std::size_t bytes = 0;
    mv::unique_handle section;
    const std::uint8_t* rows = nullptr;
  };
  struct Worker {
    std::unique_ptr<WorkerChannel> channel;
    std::vector<int> named;  // the plug-ins its last request asked it to call
    bool busy = false;
  };
  // A free worker of the pool, waiting for one when all are busy.
  Worker& Acquire();
  void Release(Worker& worker);
  // The worker, holding the list: started anew when it died; a death found
  // here is blamed as its last state says. False when none can be started
  // (Problem() says why).
  bool Running(Worker& w);
  // A fresh worker with the list, less the plug-ins dropped since.
  bool Restart(Worker& w, std::vector<SiteLoaded>& loaded);
  // Not loaded again by a later start, and not called again.
  void Drop(int plugin);
  void SetProblem(std::string why);
  // The worker's word on whom to blame, believed only for a plug-in its
  // last request named; -1 otherwise.
  static int NamedCulprit(const Worker& w);
  // One request with the run, as much of it as has not been asked yet.
  Outcome Ask(Worker& w, HANDLE file, std::uint64_t& size, bool& placed, mv::unique_handle& mapping,
              const std::wstring& path, HWND owner, std::vector<int>& asked, Checked& picture, int& culprit);
  bool Check(Worker& w, const worker::DecodeReply& reply, Checked& picture);
  bool PlaceFile(Worker& w, HANDLE file, std::uint64_t size, worker::DecodeRequest& head, mv::unique_handle& mapping);
  static bool MakeBitmap(Checked& picture, mv::DecodedPicture& out);

  MakeChannel make_;
  int pool_size_;
  DWORD hang_ms_ = 30000;
  mutable std::mutex mutex_;  // the list, the pool and the problem
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Worker>> pool_;
  std::string folder_;
  std::vector<std::string> names_;  // empty: dropped, or never loaded
  std::string problem_;
};

}  // namespace spi

// Plug-ins that run in a worker process: the list the worker holds, the
// requests that load it, decode a file through it and show a plug-in's
// settings dialog, and what to do when the worker dies or hangs. The site
// starts the worker, starts it again after a death, decides whom to blame
// and when to give up, and checks everything the worker answers before the
// program uses it.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/plugin_site.h"
#include "plugins/worker_channel.h"
#include "worker/worker_protocol.h"

namespace spi {

class WorkerSite final : public PluginSite {
 public:
  explicit WorkerSite(std::unique_ptr<WorkerChannel> channel) : channel_(std::move(channel)) {}
  ~WorkerSite() override { channel_->Stop(); }

  bool Load(const std::string& folder, const std::vector<std::string>& names,
            std::vector<SiteLoaded>& loaded) override;
  // One request for the run of plug-ins; a small file in the request
  // itself, a larger one as a mapping the worker maps. A plug-in that
  // crashes or hangs the worker is reported and the file goes on to the
  // plug-ins after it in a new worker. The worker's word on whom to blame
  // counts only for a plug-in the request named; after kMaxBlindDeaths
  // deaths with nobody to blame the run is passed over for this file, and
  // after kMaxDeathsPerFile deaths of any kind the file fails.
  Outcome Decode(const std::wstring& path, HWND owner, const std::vector<int>& plugins,
                 mv::DecodedPicture& picture) override;
  Configured Configure(int plugin, HWND parent, int& value) override;
  bool Callable(int plugin) override;
  void Unload() override;
  const std::string& Problem() const override { return problem_; }

  void SetHangLimit(DWORD ms) { channel_->SetHangLimit(ms); }

  static constexpr int kMaxBlindDeaths = 2;
  static constexpr int kMaxDeathsPerFile = 4;

 private:
  // A picture the worker made, checked: |height| bottom-up rows of
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

  // A worker holding the list, started anew when the last one died; a
  // death found here is blamed as the worker's last state says. False when
  // none can be started (Problem() says why).
  bool Running();
  // A fresh worker with the list, less the plug-ins dropped since.
  bool Restart(std::vector<SiteLoaded>& loaded);
  // Not loaded again by a later start, and not called again.
  void Drop(int plugin);
  // The worker's word on whom to blame, believed only for a plug-in the
  // last request named; -1 otherwise.
  int NamedCulprit() const;
  // One request with the run, as much of it as has not been asked yet.
  Outcome Ask(HANDLE file, std::uint64_t& size, bool& placed, mv::unique_handle& mapping, const std::wstring& path,
              HWND owner, std::vector<int>& asked, Checked& picture, int& culprit);
  bool Check(const worker::DecodeReply& reply, Checked& picture);
  bool PlaceFile(HANDLE file, std::uint64_t size, worker::DecodeRequest& head, mv::unique_handle& mapping);
  static bool MakeBitmap(Checked& picture, mv::DecodedPicture& out);

  std::unique_ptr<WorkerChannel> channel_;
  std::string folder_;
  std::vector<std::string> names_;  // empty: dropped, or never loaded
  std::vector<int> named_;          // the plug-ins the last request asked the worker to call
  std::string problem_;
};

}  // namespace spi

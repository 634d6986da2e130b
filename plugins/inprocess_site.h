// Plug-ins that run in this process: the bundled one always, third-party
// ones when the settings say so. Every call goes through the fault guard;
// a plug-in that faults is passed over and never called again, and a
// library is never freed while a window of its lives. The bundled plug-in
// decodes on every decoding thread at once; a third-party one may not be
// written for threads, and is called by one thread at a time.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugins/plugin_site.h"
#include "susie/plugin_library.h"

namespace spi {

class InProcessSite final : public PluginSite {
 public:
  explicit InProcessSite(SpiProgressCallback progress) : progress_(progress) {}
  ~InProcessSite() override { Unload(); }

  bool Load(const std::string& folder, const std::vector<std::string>& names,
            std::vector<SiteLoaded>& loaded) override;
  // Each plug-in gets the file freshly opened and mapped.
  Outcome Decode(const std::wstring& path, HWND owner, const std::vector<int>& plugins,
                 mv::DecodedPicture& picture) override;
  Configured Configure(int plugin, HWND parent, int& value) override;
  bool Callable(int plugin) override;
  void Unload() override;
  std::string Problem() const override { return {}; }

 private:
  struct Slot {
    LoadedLibrary library;
    std::atomic<bool> faulted = false;
    // Its IsSupported read the second argument as a pointer: it gets the
    // file's first 2,048 bytes instead of a handle.
    std::atomic<bool> buffer_form = false;
    bool one_thread = true;  // a third-party plug-in
  };
  Slot* Usable(int plugin);
  Outcome TryOne(Slot& slot, const std::wstring& path, mv::DecodedPicture& picture);

  SpiProgressCallback progress_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::mutex one_thread_;   // held while a third-party plug-in is called
  std::mutex gone_;         // a library found to have freed itself is let go once
};

}  // namespace spi

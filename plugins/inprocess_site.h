// Plug-ins that run in this process: the bundled one always, third-party
// ones when the settings say so. Every call goes through the fault guard;
// a plug-in that faults is passed over and never called again, and a
// library is never freed while a window of its lives.
#pragma once

#include <windows.h>

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
  const std::string& Problem() const override { return no_problem_; }

 private:
  struct Slot {
    LoadedLibrary library;
    bool faulted = false;
    // Its IsSupported read the second argument as a pointer: it gets the
    // file's first 2,048 bytes instead of a handle.
    bool buffer_form = false;
  };
  Slot* Usable(int plugin);
  Outcome TryOne(Slot& slot, const std::wstring& path, mv::DecodedPicture& picture);

  SpiProgressCallback progress_;
  std::vector<Slot> slots_;
  const std::string no_problem_;
};

}  // namespace spi

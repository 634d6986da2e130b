// Where plug-ins run, as the host sees them: a set of plug-in files loaded
// in one place, asked about a file in list order, and asked to show a
// plug-in's own settings dialog. Two places: this process, under the fault
// guard (inprocess_site.h), and a worker process (worker_site.h). Nothing
// outside a site knows where its plug-ins run.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "image/before_image.h"
#include "susie/outcome.h"
#include "susie/plugin_library.h"

namespace spi {

// What became of one plug-in file a site was asked to load.
struct SiteLoaded {
  LoadResult result = LoadResult::NotLoaded;
  DWORD error = 0;  // the system's last error when it did not load or is no plug-in
  bool has_config = false;
  std::string description, filter;
  std::string filters;  // every filter it gives, joined by ';'
};

class PluginSite {
 public:
  virtual ~PluginSite() = default;

  // Loads the plug-in files `names` of `folder`, in place of what it held;
  // an empty name keeps a place and loads nothing. `loaded` gets one entry
  // a name. False when the site cannot run plug-ins at all; Problem() then
  // says why.
  virtual bool Load(const std::string& folder, const std::vector<std::string>& names,
                    std::vector<SiteLoaded>& loaded) = 0;
  // Offers the file at `path` to the plug-ins `plugins` (places in the last
  // Load) in order, until one makes a picture: Decoded (`picture` holds
  // it), Declined, or FileError (the file fails: nothing more is asked). A
  // plug-in that faults is reported through OnFault and passed over.
  // Windows a plug-in opens of its own are owned by `owner`. Files are
  // decoded on several threads at once: a site lets through as many at a
  // time as its plug-ins can take.
  virtual Outcome Decode(const std::wstring& path, HWND owner, const std::vector<int>& plugins,
                         mv::DecodedPicture& picture) = 0;
  enum class Configured { Returned, NoDialog, Faulted };
  // The plug-in's settings dialog, owned by `parent`; `value` is what it
  // answered.
  virtual Configured Configure(int plugin, HWND parent, int& value) = 0;
  // Whether the plug-in can be called now. One that can never be again (a
  // library that freed itself) is reported through OnFault.
  virtual bool Callable(int plugin) = 0;
  // Lets go of every plug-in (at a reload and at the end).
  virtual void Unload() = 0;
  // Why the site cannot run its plug-ins, in the user's words; empty when
  // it can.
  virtual std::string Problem() const = 0;

  // Told of each plug-in found to have faulted: it is not called again.
  // It may run on a decoding thread.
  std::function<void(int plugin)> OnFault;

 protected:
  void Faulted(int plugin) {
    if (OnFault) OnFault(plugin);
  }
};

}  // namespace spi

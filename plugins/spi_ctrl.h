// The Susie plug-in host: finds the plug-in files of the plug-in folder
// ("*.spi" in the 32-bit edition; "*.sph" and "*.spi" in the 64-bit one),
// has each loaded where it runs, keeps those it accepts in one list, and
// asks them about files in list order.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/before_image.h"
#include "plugins/plugin_site.h"
#include "plugins/worker_channel.h"
#include "susie/outcome.h"
#include "susie/spi_interface.h"

// One listed plug-in: its name, its switch, its texts, and the site that
// holds it (and its place there). Where that site runs it is the site's
// business alone.
struct QvSpiPlugin {
  DWORD ErrorCode = 0;        // last-error code when a library lacked a required entry
  int Enabled = 1;            // 1: used for decoding; 0: switched off by the user
  std::string FileName;       // file name as the directory search reported it
  std::string Description;    // GetPluginInfo 1
  std::string ExtFilter;      // GetPluginInfo 2
  std::string Filters;        // every filter it gives (2, 4, 6 ...), joined by ';'
  std::string FilePath;       // the folder's path and the file name
  // A fault out of the plug-in that it did not handle itself: it is not
  // called again in this run. Set from the decoding threads too.
  std::atomic<bool> Faulted = false;
  bool HasConfig = false;     // it has a settings dialog

  spi::PluginSite* Site = nullptr;
  int SiteIndex = -1;

  // Why it cannot be called where it runs, in the user's words; empty
  // when it can.
  std::string Problem() const { return Site ? Site->Problem() : std::string(); }
};

// A plug-in call ended in a fault the plug-in did not handle; the host has
// switched that plug-in off for the rest of the run.
class PluginFaulted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class QvSpiCtrl {
 public:
  // Finds its folder itself: the Susie registry value, else the
  // executable's folder.
  QvSpiCtrl();
  explicit QvSpiCtrl(const std::string& plugin_dir);
  virtual ~QvSpiCtrl();
  QvSpiCtrl(const QvSpiCtrl&) = delete;
  QvSpiCtrl& operator=(const QvSpiCtrl&) = delete;

  // Unloads every plug-in, then loads every acceptable one of PluginDir.
  // Refused (false, nothing changes) while a plug-in call is in progress.
  bool LoadPlugins();
  // Opens a plug-in's settings dialog; -1 when it has none. A fault in the
  // plug-in's dialog throws PluginFaulted.
  int ShowPluginConfig(int index, HWND parent);
  // Offers the file to the enabled plug-ins in list order, until one makes
  // a picture: Decoded, Declined (none did) or FileError (the file fails).
  spi::Outcome DecodeWithPlugins(const std::wstring& path, mv::DecodedPicture& picture);

  // Handed to every GetPicture in this process: never asks a plug-in to stop.
  static int __stdcall ProgressCallback(int done, int total, LONG_PTR user_data);

  std::vector<std::unique_ptr<QvSpiPlugin>> Plugins;
  int MappingCounter = 0;
  std::string PluginDir;
  // The window that owns what a plug-in in a worker opens of its own (a
  // prompt, a warning), as a window it opened in the program would be.
  HWND OwnerWindow = nullptr;

  // Records a fault of a plug-in: it and any later load of the same file
  // stay unused for the rest of the run.
  void NoteFault(QvSpiPlugin& plugin);

  // Every call into a plug-in runs inside a CallScope (a reload too, for
  // the GetPluginInfo calls it makes). The plug-in's own message loop (a
  // box it shows, its dialog) lets our windows act meanwhile: reload,
  // unload and close consult CallInProgress and are refused or wait.
  class CallScope {
   public:
    explicit CallScope(QvSpiCtrl& host) : host_(host) { ++host_.calls_; }
    // The last call may end on a decoding thread: OnCallsEnded runs there.
    ~CallScope() {
      if (--host_.calls_ == 0 && host_.OnCallsEnded) host_.OnCallsEnded();
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

   private:
    QvSpiCtrl& host_;
  };
  bool CallInProgress() const { return calls_ > 0; }
  // Runs when the last call in progress has ended: what waited may go on.
  // It may run on a decoding thread.
  std::function<void()> OnCallsEnded;
  // How many files decode at once (the settings' Decoders), and so how
  // many workers each worker site keeps.
  int Decoders() const { return decoders_; }

  // Makes the line to a worker of 32 or 64 bits: a worker process, or in
  // the tests a fake one.
  static std::function<std::unique_ptr<spi::WorkerChannel>(int bits)> MakeWorkerChannel;

 private:
  std::atomic<int> calls_ = 0;
  std::mutex faults_;  // faulted_paths_: faults are found on the decoding threads
  std::set<std::string> faulted_paths_;
  // Whether the plug-in may be called: it has not faulted, and its site can
  // call it.
  bool Usable(QvSpiPlugin& plugin);
  void UnloadPlugins();
  // The site a plug-in file runs in; null for a file that is no plug-in of
  // this edition.
  spi::PluginSite* SiteOf(const std::string& file_name);
  spi::PluginSite* Site(std::unique_ptr<spi::PluginSite>& slot, int worker_bits);
  void OnSiteFault(spi::PluginSite* site, int index);

  std::unique_ptr<spi::PluginSite> here_;        // in this process
  std::unique_ptr<spi::PluginSite> workers_[2];  // 32-bit, 64-bit
  bool in_process_ = false;  // this edition's third-party plug-ins run here
  DWORD hang_ms_ = 0;
  int decoders_ = 1;
};

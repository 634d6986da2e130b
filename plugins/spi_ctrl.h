// The Susie plug-in host: finds the plug-in libraries of the plug-in folder
// ("*.spi" in the 32-bit edition, "*.sph" in the 64-bit one), keeps the entry points of those it accepts, and unloads them.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/plugin_image.h"
#include "plugins/plugin_library.h"
#include "plugins/spi_interface.h"
#include "plugins/worker_host.h"

struct tag_BeforeImage;

// One loaded plug-in. Its entry points (GetPluginInfo ... ConfigurationDlg)
// are the members of the resolved set it is made from.
struct QvSpiPlugin : spi::PluginEntries {
  DWORD ErrorCode = 0;        // last-error code when a library lacked a required entry
  mv::unique_module Module;   // the loaded library; freed with the record
  spi::LoadedImage Image;     // where the library lay when it was loaded
  int Enabled = 1;            // 1: used for decoding; 0: switched off by the user
  std::string FileName;       // file name as the directory search reported it
  std::string Description;    // GetPluginInfo 1
  std::string ExtFilter;      // GetPluginInfo 2

  std::string FilePath;       // full path the library was loaded from
  // A fault out of the plug-in that it did not handle itself: it is not
  // called again in this run.
  bool Faulted = false;
  // Its IsSupported read the second argument as a pointer: it gets the
  // file's first 2,048 bytes instead of a handle.
  bool BufferForm = false;

  // Where its code runs: 0 in this process; 32 or 64 in the plug-in worker
  // of that architecture, where it is number WorkerIndex of the worker's
  // list (and its entry points stay null).
  int WorkerBits = 0;
  int WorkerIndex = -1;
  bool HasConfig = false;   // it has a settings dialog
  // Listed, but its worker could not be started: why, in the user's words.
  std::string LoadProblem;

  // The entry points, as one set.
  const spi::PluginEntries& Entries() const { return *this; }
  void SetEntries(const spi::PluginEntries& e) { static_cast<spi::PluginEntries&>(*this) = e; }
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
  // Decodes one file into the record; true when it now holds an image.
  bool DecodeImage(tag_BeforeImage* image);

  // Handed to every GetPicture: never asks a plug-in to stop.
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

  // The worker of that architecture (32 or 64), started again with its
  // list if it died since; null when it cannot run.
  spi::WorkerHost* RunningWorker(int bits);

  // Every call into a plug-in runs inside a CallScope (a reload too, for
  // the GetPluginInfo calls it makes). The plug-in's own message loop (a
  // box it shows, its dialog) lets our windows act meanwhile: reload,
  // unload and close consult CallInProgress and are refused or wait.
  class CallScope {
   public:
    explicit CallScope(QvSpiCtrl& host) : host_(host) { ++host_.calls_; }
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
  std::function<void()> OnCallsEnded;

 private:
  int calls_ = 0;
  std::set<std::string> faulted_paths_;
  // Whether the plug-in may be called: it has not faulted, and its library
  // is still the one loaded (one that freed itself counts as faulted).
  bool Usable(QvSpiPlugin& plugin);
  void UnloadPlugins();
  std::unique_ptr<QvSpiPlugin> LoadOne(const std::string& file_name);
  // Where a plug-in file runs: 0 in this process, else the worker's
  // architecture; -1 for a file that is no plug-in of this edition.
  int PlaceOf(const std::string& file_name) const;
  void LoadIntoWorker(int bits, const std::vector<std::string>& names);
  void ApplyWorkerLoad(int bits, const std::vector<spi::WorkerLoaded>& got, bool first_load);

  std::unique_ptr<spi::WorkerHost> workers_[2];  // 32-bit, 64-bit
  bool in_process_ = false;  // this edition's third-party plug-ins run here
};

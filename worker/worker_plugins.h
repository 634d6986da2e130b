// The plug-ins a worker holds, and its answers to the program's requests:
// load this list, decode this file, show this plug-in's settings dialog.
#pragma once

#include <windows.h>

#include <vector>

#include "base/handles.h"
#include "susie/plugin_library.h"
#include "worker/worker_mailbox.h"

namespace worker {

class PluginSet {
 public:
  explicit PluginSet(Mailbox& mailbox) : mailbox_(mailbox) {}
  ~PluginSet() { Unload(); }
  PluginSet(const PluginSet&) = delete;
  PluginSet& operator=(const PluginSet&) = delete;

  // Answers the request waiting in the mailbox; false when it was no
  // request this worker knows.
  bool Answer();

 private:
  struct Slot {
    spi::LoadedLibrary library;
    bool faulted = false;  // not called again
  };
  void Unload();
  void Load();
  void Decode();
  void Configure();
  Slot* Usable(std::int32_t index);

  Mailbox& mailbox_;
  std::vector<Slot> slots_;
};

}  // namespace worker

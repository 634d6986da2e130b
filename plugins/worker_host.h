// The plug-ins of one architecture that run in a worker, as the host sees
// them: the list the worker holds, and the requests that load it, decode a
// file through it and show a plug-in's settings dialog. Everything the
// worker answers is checked here before the host uses it.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/handles.h"
#include "plugins/plugin_worker.h"

namespace spi {

struct WorkerLoaded {
  worker::LoadResult result = worker::LoadResult::NotLoaded;
  DWORD error = 0;
  bool hasConfig = false;
  std::string description, filter;
};

// A picture a worker made, checked: |height| bottom-up rows of
// forms::StoredBits(bitCount) bits per pixel at `width`, `bytes` of them,
// in `section`, or (a small picture) at `rows` in the worker's mailbox,
// good until the next request to that worker.
struct WorkerPicture {
  int plugin = -1;  // the worker's index of the plug-in that made it
  int width = 0, height = 0, bitCount = 0;
  std::uint32_t colorCount = 0;
  std::array<RGBQUAD, 256> colors{};
  std::size_t bytes = 0;
  mv::unique_handle section;
  const std::uint8_t* rows = nullptr;
};

struct WorkerDecode {
  enum class End {
    Decoded,    // `picture` holds it
    Declined,   // none of the plug-ins asked made a picture
    FileError,  // the file could not be read
    Died,       // a plug-in faulted, or the worker died or hung: `culprit` is the plug-in to blame (-1: none known)
    NotRunning,
    NoRoom,     // the worker could not map the file: its plug-ins cannot be asked
  };
  End end = End::Declined;
  int culprit = -1;
  WorkerPicture picture;
};

class WorkerHost {
 public:
  explicit WorkerHost(int bits) : worker_(bits) {}
  int Bits() const { return worker_.Bits(); }
  const std::string& ProgramName() const { return worker_.ProgramName(); }
  bool Running() const { return worker_.Running(); }
  // See PluginWorker::Alive; `culprit` receives the worker's index of the
  // plug-in to blame for a death found here (-1: none).
  bool Alive(int& culprit) {
    const bool alive = worker_.Alive();
    culprit = alive ? -1 : NamedCulprit();
    return alive;
  }

  // A fresh worker holding this list (an empty name keeps a place and loads
  // nothing); `out` says what became of each. False, with the reason in the
  // user's words, when no worker could be started.
  bool Load(const std::string& folder, const std::vector<std::string>& names, std::vector<WorkerLoaded>& out,
            std::string& why);
  // After a death: a new worker with the same list, less the plug-ins
  // dropped since. `out` as for Load.
  bool Restart(std::vector<WorkerLoaded>& out, std::string& why);
  // Not loaded again by a later restart.
  void Drop(int index);
  void Stop() { worker_.Stop(); }

  // Offers the file (open for reading, `size` bytes) to the listed plug-ins
  // in order, in one request: a small file in the request itself, a larger
  // one as a mapping the worker maps. A picture that fails the host's
  // checks counts as that plug-in's refusal and the rest are asked.
  // Windows a plug-in opens of its own are owned by `owner`.
  WorkerDecode Decode(HANDLE file, std::uint64_t size, const std::string& name, const std::wstring& wide_name,
                      HWND owner, const std::vector<int>& plugins);

  enum class Configured { Returned, NoDialog, Faulted };
  // The plug-in's settings dialog, owned by `parent`; `value` is what it
  // answered. A death in the dialog is Faulted.
  Configured Configure(int plugin, HWND parent, int& value);

  void SetHangLimit(DWORD ms) { worker_.SetHangLimit(ms); }

 private:
  bool Send(std::vector<std::uint8_t>& reply_out, const std::vector<std::uint8_t>& request, std::size_t reply_size,
            PluginWorker::Wait wait, PluginWorker::End& end);
  bool CheckPicture(const worker::DecodeReply& reply, WorkerPicture& picture);
  // Puts the file where the request names it; false when it cannot be read.
  bool PlaceFile(HANDLE file, std::uint64_t size, worker::DecodeRequest& head, mv::unique_handle& mapping);

  // The worker's word on whom to blame, believed only for a plug-in the
  // last request named; -1 otherwise.
  int NamedCulprit() const;

  PluginWorker worker_;
  std::string folder_;
  std::vector<std::string> names_;
  std::vector<int> named_;  // the plug-ins the last request asked the worker to call
};

}  // namespace spi
